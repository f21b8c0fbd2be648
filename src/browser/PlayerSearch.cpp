#include "PlayerSearch.h"

#include "QueryService.h"
#include "ServerListModel.h"
#include "query/Clock.h"

#include <algorithm>

namespace vantry::browser {

PlayerSearch::PlayerSearch(QueryService& queries, ServerListModel& servers, query::Clock& clock,
                           std::function<int()> perSecond, QObject* parent)
    : QObject(parent), m_queries(queries), m_servers(servers), m_clock(clock),
      m_perSecond(std::move(perSecond))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &PlayerSearch::sendSome);
    connect(&m_queries, &QueryService::serverListed, this, [this](int row) {
        if (searching()) {
            take(row);
            sendSome();
        }
    });
    connect(&m_queries, &QueryService::playersReceived, this, &PlayerSearch::onPlayers);
    connect(&m_servers, &QAbstractItemModel::modelReset, this, &PlayerSearch::listCleared);
}

bool PlayerSearch::matches(const QString& name, const QString& text)
{
    return name.contains(text, Qt::CaseInsensitive);
}

void PlayerSearch::restartRound()
{
    m_timer.stop();
    m_queue.clear();
    m_round.clear();
    m_answeredInRound.clear();
    m_asked = 0;
    m_answered = 0;
    m_results.clear();
}

void PlayerSearch::setText(const QString& text)
{
    const QString wanted = text.trimmed();
    if (wanted == m_text)
        return;
    m_text = wanted;
    restartRound();
    // Stale answers are asked again anyway; dropping them keeps a long list's memory bounded.
    const std::int64_t now = m_clock.nowMs();
    m_known.removeIf([now](const auto& known) { return now - known.value().atMs >= FreshMs; });
    if (searching()) {
        m_pace = query::LinkPace(m_perSecond ? m_perSecond() : 0);
        m_pacer = query::ProbePacer::ofRate(m_pace.perSecond());
        for (int row = 0; row < m_servers.count(); ++row)
            take(row);
        sendSome();
    }
    emit progressChanged();
}

void PlayerSearch::take(int row)
{
    const query::ServerRow& server = m_servers.server(row);
    const std::uint64_t key = server.from.key();
    if (m_round.contains(key))
        return;
    m_round.insert(key);
    const std::int64_t now = m_clock.nowMs();
    if (const auto known = m_known.constFind(key); known != m_known.cend() && now - known->atMs < FreshMs) {
        m_answeredInRound.insert(key);
        ++m_asked;
        ++m_answered;
        match(server.from, known->players);
        return;
    }
    // Its answer to a request still in flight is matched when it comes.
    if (const auto asked = m_askedAt.constFind(key);
        asked != m_askedAt.cend() && now - *asked < AnswerWaitMs) {
        ++m_asked;
        return;
    }
    m_queue.push_back({server.from, server.oldTexts.has_value()});
}

void PlayerSearch::sendSome()
{
    const std::int64_t now = m_clock.nowMs();
    if (m_pace.update(now))
        m_pacer = query::ProbePacer::ofRate(m_pace.perSecond());
    // Unpaced, a long list still leaves in slices, so the window keeps answering.
    const std::int64_t allowed = std::min<std::int64_t>(m_pacer.allowance(now), SliceSize);
    std::int64_t sent = 0;
    while (!m_queue.empty() && sent < allowed) {
        const Pending next = m_queue.front();
        m_queue.pop_front();
        try {
            m_queries.sendPlayersRequest(next.server, next.oldServer);
        } catch (const std::exception&) {
            // An endpoint that cannot send now: this server is left out, the others go on.
        }
        m_askedAt.insert(next.server.key(), now);
        ++m_asked;
        ++sent;
    }
    m_pacer.sent(sent);
    if (sent > 0)
        emit progressChanged();
    if (!m_queue.empty())
        m_timer.start(static_cast<int>(std::max<std::int64_t>(0, m_pacer.nextMs(now) - now)));
}

void PlayerSearch::onPlayers(const query::Endpoint& from, const std::vector<query::PlayerRow>& players)
{
    const std::uint64_t key = from.key();
    const std::int64_t now = m_clock.nowMs();
    m_known.insert(key, Known{players, now});
    // Two round trips with the challenge, the same for all: the pace compares them alike.
    if (const auto asked = m_askedAt.constFind(key); asked != m_askedAt.cend())
        m_pace.answered(*asked, now, false);
    m_askedAt.remove(key);
    if (!searching() || m_servers.find(from) < 0)
        return;
    if (m_round.contains(key) && !m_answeredInRound.contains(key)) {
        m_answeredInRound.insert(key);
        ++m_answered;
        emit progressChanged();
    }
    match(from, players);
}

void PlayerSearch::match(const query::Endpoint& server, const std::vector<query::PlayerRow>& players)
{
    const int row = m_servers.find(server);
    if (row < 0)
        return;
    const QString serverName = QString::fromStdString(m_servers.server(row).name);
    QVector<PlayerHit> hits;
    for (const query::PlayerRow& player : players) {
        const QString name = QString::fromStdString(player.name);
        if (matches(name, m_text))
            hits.push_back({name, player.kills, player.seconds, serverName, server});
    }
    m_results.setServer(server, hits);
}

void PlayerSearch::listCleared()
{
    // A new sweep: its servers are asked as they are listed again.
    restartRound();
    emit progressChanged();
}

} // namespace vantry::browser
