#include "MasterListFetch.h"

#include "net/MasterFetch.h"
#include "net/SteamServerList.h"
#include "net/XashFetch.h"
#include "query/Endpoint.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>

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

// One UDP master: its socket, kept for all its pages, and its games one after another.
struct MasterListFetch::Master
{
    ~Master()
    {
        if (lookup >= 0)
            QHostInfo::abortHostLookup(lookup);
        // The notifier is off before its socket closes. Later: the master may end inside its own
        // notifier's or timer's signal. Children of the fetch, so that none outlives it when no
        // event loop runs after.
        if (notifier)
            notifier->setEnabled(false);
        for (QObject* o : {static_cast<QObject*>(notifier), static_cast<QObject*>(timer)}) {
            if (o) {
                o->disconnect();
                o->deleteLater();
            }
        }
    }

    QString name; // as the user wrote it
    options::MasterEntry entry;
    int lookup = -1;
    std::unique_ptr<net::MasterLink> link;
    QSocketNotifier* notifier = nullptr;
    QTimer* timer = nullptr;
    std::size_t filter = 0; // the game asked for now
    std::optional<query::MasterPaging> paging;
    std::size_t taken = 0; // addresses of the paging already added
    query::MasterPacing pacing;
    qint64 notBeforeMs = 0; // the next game's first request waits for the pace
    qint64 lastSendMs = 0;
    qint64 lastAnswerMs = 0;
    bool answered = false;
    bool done = false;
};

MasterListFetch::MasterListFetch(QObject* parent) : QObject(parent)
{
    m_pacing.limit = Limit;
}

MasterListFetch::~MasterListFetch()
{
    cancel();
}

void MasterListFetch::setReplyWait(int timeoutMs, int retries)
{
    m_pacing.replyTimeoutMs = timeoutMs;
    m_pacing.retries = retries;
}

void MasterListFetch::cancel()
{
    m_running = false;
    m_masters.clear();
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
    m_startMs = m_clock->nowMs();
    m_running = true;

    if (m_source.enabled && m_source.steamKey.isEmpty() && m_source.masters.isEmpty() &&
        !m_source.xash.enabled) {
        problem(QStringLiteral("The Steam Web API key is empty and no master server is listed. "
                               "Please set them in Options."));
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
    for (const QString& text : m_source.masters) {
        const std::optional<options::MasterEntry> entry = options::parseMasterEntry(text);
        if (!entry) {
            problem(QStringLiteral("Master server \"%1\" is not host:port.").arg(text));
            continue;
        }
        if (named.contains(entry->text().toLower()))
            continue;
        named.insert(entry->text().toLower());
        auto master = std::make_shared<Master>();
        master->name = entry->text();
        master->entry = *entry;
        master->pacing = m_pacing;
        // Valve's masters go silent for a while when asked faster than the pace; others are
        // asked as fast as they answer.
        master->pacing.adaptive = !query::rateLimitedMaster(entry->host.toStdString());
        master->timer = new QTimer(this);
        master->timer->setSingleShot(true);
        const std::weak_ptr<Master> weak = master;
        connect(master->timer, &QTimer::timeout, this, [this, weak] {
            if (const auto m = weak.lock())
                drive(*m);
        });
        m_masters.push_back(master);
        // Numbers are read as the rest of the program reads them, never by the resolver.
        const query::HostText host = query::HostText::read(entry->host.toStdString());
        if (host.kind == query::HostText::Kind::Address) {
            openMaster(master, host.address);
            continue;
        }
        if (host.kind != query::HostText::Kind::Name) {
            problem(QStringLiteral("Cannot find the address of master server %1.").arg(master->name));
            master->done = true;
            continue;
        }
        master->lookup = QHostInfo::lookupHost(entry->host, this, [this, weak](const QHostInfo& info) {
            const auto m = weak.lock();
            if (!m)
                return;
            m->lookup = -1;
            for (const QHostAddress& a : info.addresses()) {
                if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                    openMaster(m, a.toIPv4Address());
                    return;
                }
            }
            problem(QStringLiteral("Cannot find the address of master server %1.").arg(m->name));
            m->done = true;
            checkFinished();
        });
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
        m_apiRunning = false;
        checkFinished();
        return;
    }
    for (const net::ListedServer& server : result.reply->servers)
        add(server.address);
    ++m_apiNext;
    askApi();
}

void MasterListFetch::openMaster(const std::shared_ptr<Master>& master, std::uint32_t address)
{
    try {
        master->link = std::make_unique<net::MasterLink>(query::Endpoint{address, master->entry.port});
    } catch (const net::BatchSocketError& e) {
        problem(QStringLiteral("Cannot ask master server %1: %2.")
                    .arg(master->name, QString::fromUtf8(e.what())));
        master->done = true;
        checkFinished();
        return;
    }
    master->notifier = new QSocketNotifier(master->link->fd(), QSocketNotifier::Read, this);
    const std::weak_ptr<Master> weak = master;
    connect(master->notifier, &QSocketNotifier::activated, this, [this, weak] {
        if (const auto m = weak.lock())
            readMaster(*m);
    });
    drive(*master);
}

void MasterListFetch::drive(Master& m)
{
    while (!m.done) {
        const qint64 now = m_clock->nowMs() - m_startMs;
        if (!m.paging) {
            if (m.filter >= m_filters.size()) {
                m.done = true;
                break;
            }
            if (now < m.notBeforeMs) {
                m.timer->start(static_cast<int>(m.notBeforeMs - now));
                return;
            }
            m.paging.emplace(static_cast<std::uint8_t>(m_source.region),
                             query::filterText(m_filters[m.filter]), m.pacing);
            m.taken = 0;
        }
        const query::MasterPaging::Step step = m.paging->step(now);
        if (!step.send.empty()) {
            m.link->send(step.send);
            m.lastSendMs = now;
        }
        if (!step.done) {
            m.timer->start(static_cast<int>(std::clamp<qint64>(step.wakeMs - now, 0, 600'000)));
            return;
        }
        take(m);
        const bool silent = m.paging->outcome() == query::MasterOutcome::Silent;
        ++m.filter;
        // A master that never answered is not asked for its other games: each would cost the
        // whole wait again.
        if (silent && !m.answered) {
            problem(QStringLiteral("Master server %1 did not answer.").arg(m.name));
            m.paging.reset();
            m.done = true;
            break;
        }
        if (m.pacing.adaptive) {
            // The next game's list waits for what this one taught, from the master's last answer.
            m.pacing.learnedPauseMs = m.paging->pauseMs();
            if (m.paging->pages() > 0)
                m.lastAnswerMs = m.paging->lastAnswerMs();
            m.notBeforeMs = m.answered ? m.lastAnswerMs + m.pacing.learnedPauseMs : 0;
        } else {
            m.notBeforeMs = m.lastSendMs + m.pacing.paceMs;
        }
        m.paging.reset();
    }
    m.timer->stop();
    checkFinished();
}

void MasterListFetch::readMaster(Master& m)
{
    if (!m.paging) {
        // Between two games no paging runs: what comes then is read and dropped.
        m.link->drain([](query::Bytes) {}, [] {});
        return;
    }
    if (m.link->drain(*m.paging, m_clock->nowMs() - m_startMs)) {
        m.answered = true;
        take(m);
    }
    if (!m.done)
        drive(m);
}

void MasterListFetch::take(Master& m)
{
    const std::vector<query::Endpoint>& listed = m.paging->servers();
    for (; m.taken < listed.size(); ++m.taken)
        add(listed[m.taken]);
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

void MasterListFetch::checkFinished()
{
    if (!m_running || m_starting || m_apiRunning || m_xash)
        return;
    for (const std::shared_ptr<Master>& m : m_masters)
        if (!m->done)
            return;
    m_running = false;
    emit finished();
}

} // namespace vantry::browser
