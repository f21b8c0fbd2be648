#include "MasterListFetch.h"

#include "net/MasterLoop.h"
#include "net/SteamServerList.h"
#include "net/XashFetch.h"
#include "query/Endpoint.h"
#include "query/MasterGames.h"

#include <QSet>

#include <algorithm>

namespace vantry::browser {

namespace {

// A text of the lower layers as a sentence of a box.
QString sentence(QString text)
{
    text = text.trimmed();
    if (text.isEmpty())
        return text;
    text[0] = text[0].toUpper();
    if (!text.endsWith(u'.'))
        text += u'.';
    return text;
}

} // namespace

std::vector<query::ListFilter> sweepFilters(int scanMode)
{
    using query::ListedGame;
    std::vector<query::ListFilter> out;
    if (scanMode == 1) {
        for (const ListedGame game :
             {ListedGame::HalfLife, ListedGame::CounterStrike, ListedGame::ConditionZero}) {
            query::ListFilter f;
            f.game = game;
            f.proxiesOnly = true;
            out.push_back(f);
        }
        return out;
    }
    for (const ListedGame game : {ListedGame::HalfLife, ListedGame::CounterStrike, ListedGame::ConditionZero,
                                  ListedGame::CounterStrikeSource, ListedGame::HalfLife2Deathmatch}) {
        query::ListFilter f;
        f.game = game;
        out.push_back(f);
    }
    return out;
}

MasterListFetch::MasterListFetch(QObject* parent) : QObject(parent), m_masters(new net::MasterLoop(this))
{
    m_pacing.limit = Limit;
    connect(m_masters, &net::MasterLoop::listed, this, [this](std::size_t i) {
        const std::vector<query::Endpoint>& listed = m_masters->exchange(i).servers();
        for (std::size_t& taken = m_taken[i]; taken < listed.size(); ++taken)
            add(listed[taken]);
    });
    connect(m_masters, &net::MasterLoop::finished, this, &MasterListFetch::mastersEnded);
}

MasterListFetch::~MasterListFetch()
{
    cancel();
}

void MasterListFetch::setClock(query::Clock& clock)
{
    m_masters->setClock(clock);
}

void MasterListFetch::setReplyWait(int timeoutMs, int retries)
{
    m_pacing.replyTimeoutMs = timeoutMs;
    m_pacing.retries = retries;
}

void MasterListFetch::cancel()
{
    m_running = false;
    m_masters->cancel();
    m_taken.clear();
    m_apiRunning = false;
    if (m_xash) {
        m_xash->disconnect(this);
        m_xash->cancel();
        m_xash->deleteLater();
        m_xash = nullptr;
    }
    if (m_api) {
        m_api->disconnect(this);
        m_api->cancel();
        m_api->deleteLater();
        m_api = nullptr;
    }
}

void MasterListFetch::start(const options::MasterSource& source, int scanMode)
{
    cancel();
    m_source = source;
    m_source.steamKey = source.steamKey.trimmed();
    m_filters = sweepFilters(scanMode);
    m_pacing.paceMs = source.paceMs;
    m_servers.clear();
    m_seen.clear();
    m_problems.clear();
    m_nothingToAsk = m_keyRefused = false;
    m_sources = m_unreachable = 0;
    m_running = true;

    if (m_source.enabled && m_source.steamKey.isEmpty() && m_source.masters.isEmpty() &&
        !m_source.xash.enabled) {
        problem(QStringLiteral("The Steam Web API key is empty and no master server is listed. "
                               "Please set them in Options."));
        m_nothingToAsk = true;
        m_running = false;
        return;
    }

    // Masters that end while the others are set up do not end the fetch.
    m_starting = true;
    startXash(scanMode);
    if (!m_source.enabled) {
        m_starting = false;
        checkFinished();
        return;
    }

    if (!m_source.steamKey.isEmpty()) {
        m_api = new net::SteamServerList(this);
        connect(m_api, &net::SteamServerList::finished, this, &MasterListFetch::apiAnswered);
        m_apiRunning = true;
        m_apiNext = 0;
    }

    QSet<QString> named;
    std::vector<std::string> filters;
    for (const query::ListFilter& f : m_filters)
        filters.push_back(query::filterText(f));
    for (const QString& text : m_source.masters) {
        const std::optional<options::MasterEntry> entry = options::parseMasterEntry(text);
        if (!entry) {
            problem(QStringLiteral("Master server \"%1\" is not host:port.").arg(text));
            continue;
        }
        if (named.contains(entry->text().toLower()))
            continue;
        named.insert(entry->text().toLower());
        query::MasterPacing pacing = m_pacing;
        // Valve's masters go silent for a while when asked faster than the pace; others are
        // asked as fast as they answer.
        pacing.adaptive = !query::rateLimitedMaster(entry->host.toStdString());
        m_taken.push_back(0);
        m_masters->add(entry->text(), entry->host, entry->port,
                       std::make_unique<query::MasterGames>(static_cast<std::uint8_t>(m_source.region),
                                                            filters, pacing));
    }

    // The Web API's first request after the masters are set up: its answer comes from the loop.
    if (m_apiRunning)
        askApi();
    m_starting = false;
    checkFinished();
}

void MasterListFetch::startXash(int scanMode)
{
    // The community masters list game servers of the older engine's games only, no relays.
    if (!m_source.xash.enabled || scanMode != 0)
        return;
    net::XashFetchRequest request;
    request.masters = m_source.xash.masters;
    request.listUrl = m_source.xash.listUrl;
    request.gameDirs = {"cstrike", "valve"};
    m_xash = new net::XashFetch(this);
    m_xashTaken = 0;
    connect(m_xash, &net::XashFetch::listed, this, [this] {
        const std::vector<query::Endpoint>& listed = m_xash->servers();
        for (; m_xashTaken < listed.size(); ++m_xashTaken)
            add(listed[m_xashTaken]);
    });
    connect(m_xash, &net::XashFetch::finished, this, [this] {
        for (const QString& text : m_xash->problems())
            problem(text);
        m_sources += m_xash->sources();
        m_unreachable += m_xash->unreachable();
        m_xash->deleteLater();
        m_xash = nullptr;
        checkFinished();
    });
    m_xash->start(request);
}

void MasterListFetch::askApi()
{
    if (m_apiNext >= m_filters.size()) {
        m_apiRunning = false;
        checkFinished();
        return;
    }
    net::ServerListRequest request;
    request.baseUrl = m_source.apiUrl;
    request.key = m_source.steamKey;
    request.filter = QString::fromStdString(query::filterText(m_filters[m_apiNext]));
    request.limit = static_cast<int>(Limit);
    m_api->fetch(request);
}

void MasterListFetch::apiAnswered(const net::ServerListResult& result)
{
    if (!m_apiRunning)
        return;
    if (!result.reply) {
        // A refused key, a wrong address or a busy API: the next game would meet the same.
        problem(sentence(result.error));
        ++m_sources;
        m_keyRefused = result.keyRefused;
        m_unreachable += result.unreachable ? 1 : 0;
        m_apiRunning = false;
        checkFinished();
        return;
    }
    if (m_apiNext == 0)
        ++m_sources;
    for (const net::ListedServer& server : result.reply->servers)
        add(server.address);
    ++m_apiNext;
    askApi();
}

void MasterListFetch::mastersEnded()
{
    for (std::size_t i = 0; i < m_masters->size(); ++i) {
        const QString& name = m_masters->name(i);
        ++m_sources;
        switch (m_masters->end(i)) {
        case net::MasterLoop::End::Unresolved:
            ++m_unreachable;
            problem(QStringLiteral("Cannot find the address of master server %1.").arg(name));
            break;
        case net::MasterLoop::End::CannotAsk:
            ++m_unreachable;
            problem(QStringLiteral("Cannot ask master server %1: %2.").arg(name, m_masters->error(i)));
            break;
        case net::MasterLoop::End::Asked:
            if (m_masters->exchange(i).outcome() == query::MasterOutcome::Silent)
                problem(QStringLiteral("Master server %1 did not answer.").arg(name));
            break;
        case net::MasterLoop::End::Running:
            break;
        }
    }
    checkFinished();
}

void MasterListFetch::add(const query::Endpoint& address)
{
    if (m_servers.size() < Limit && m_seen.insert(address.key()).second)
        m_servers.push_back(address);
}

void MasterListFetch::problem(const QString& text)
{
    if (!m_problems.contains(text))
        m_problems.append(text);
}

ListFailure MasterListFetch::failure() const
{
    if (m_nothingToAsk)
        return ListFailure::NothingToAsk;
    if (m_running || !m_servers.empty())
        return ListFailure::None;
    if (m_keyRefused)
        return ListFailure::KeyRefused;
    if (m_sources > 0 && m_unreachable == m_sources)
        return ListFailure::NoNetwork;
    return ListFailure::NoAnswer;
}

void MasterListFetch::checkFinished()
{
    if (!m_running || m_starting || m_apiRunning || m_xash || m_masters->running())
        return;
    m_running = false;
    emit finished();
}

} // namespace vantry::browser
