#include "ScanEngine.h"

#include "browser/ListSource.h"
#include "options/LiveSettings.h"
#include "query/Clock.h"

#include <QCoreApplication>
#include <QDebug>
#include <QStringList>

#include <algorithm>

namespace vantry::browser {

namespace {

// Window texts: translated when they are shown, after the program has chosen its language.
constexpr char Context[] = "vantry::browser::ScanEngine";
const char* const Completed = QT_TRANSLATE_NOOP("vantry::browser::ScanEngine", " Завершено :)");
const char* const Cancelled = QT_TRANSLATE_NOOP("vantry::browser::ScanEngine", " Отменено :(");
const char* const Done = QT_TRANSLATE_NOOP("vantry::browser::ScanEngine", " Готово!!!");
const char* const Listed = QT_TRANSLATE_NOOP("vantry::browser::ScanEngine", " Мастер-сервер: %1");
const char* const ListProgress =
    QT_TRANSLATE_NOOP("vantry::browser::ScanEngine", "получено %1, опрошено %2, ответили %3");

const char* const NothingToAsk =
    QT_TRANSLATE_NOOP("vantry::browser::ScanEngine",
                      "Публичные списки включены, но не задан ни ключ Steam Web API, ни мастер-сервер. "
                      "Укажите их в «Опции» → «Сканирование».");
const char* const NoNetwork =
    QT_TRANSLATE_NOOP("vantry::browser::ScanEngine", "Нет сети: не удалось найти адреса мастер-серверов. "
                                                     "Проверьте подключение к интернету и повторите поиск.");
const char* const KeyRefused = QT_TRANSLATE_NOOP("vantry::browser::ScanEngine",
                                                 "Steam Web API отклонил ключ, а другие списки серверов не "
                                                 "прислали. Проверьте ключ в «Опции» → «Сканирование».");
const char* const NoAnswer = QT_TRANSLATE_NOOP(
    "vantry::browser::ScanEngine", "Ни один мастер-сервер не прислал список. Повторите поиск позже.");

// How long the sweep waits for more addresses while the lists come in and all so far are asked;
// the delay from a page's arrival to its first probe.
constexpr int ListWaitMs = 10;

QString shown(const char* text)
{
    return QCoreApplication::translate(Context, text);
}

} // namespace

std::int64_t ScanSink::nowMs() const
{
    return query::systemClock().nowMs();
}

void ScanSink::beginListed(int ratePerSecond, bool old)
{
    (void)ratePerSecond;
    m_listedOld = old;
    m_listedAsked = 0;
}

void ScanSink::queryListed(std::span<const query::Endpoint> servers)
{
    for (const query::Endpoint& server : servers) {
        sendInfo(server);
        if (m_listedOld)
            sendOldInfo(server);
    }
    m_listedAsked += servers.size();
}

ScanEngine::ScanEngine(Activity& activity, const options::LiveSettings& settings, ScanSink& sink)
    : m_activity(activity), m_settings(settings), m_sink(sink)
{}

QString ScanEngine::scanCaption()
{
    return QCoreApplication::translate("vantry::browser::ScanEngine", "Сканировать");
}

// Built in one go, without the formatting machinery.
QString ScanEngine::addressStatus(std::uint32_t address)
{
    char16_t text[16];
    int n = 0;
    text[n++] = u' ';
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned octet = (address >> shift) & 0xFF;
        if (octet >= 100)
            text[n++] = char16_t(u'0' + octet / 100);
        if (octet >= 10)
            text[n++] = char16_t(u'0' + octet / 10 % 10);
        text[n++] = char16_t(u'0' + octet % 10);
        if (shift > 0)
            text[n++] = u'.';
    }
    return QString(reinterpret_cast<const QChar*>(text), n);
}

ScanEngine::Outcome ScanEngine::sweep(int scanMode)
{
    if (m_activity.running() != LongOperation::None || m_scanning)
        return Outcome::Skipped;

    const bool lists = m_settings.masterSource().listsOn() && m_sink.listSource();
    if (m_settings.rangeCount() == 0 && m_settings.favouriteCount() == 0 && !m_settings.broadcast() &&
        !lists) {
        m_sink.warn(QStringLiteral(
            "IP ranges, Favorites list is empty and Broadcast is disabled. Please set it in Options."));
        return Outcome::Refused;
    }
    const QString portText = scanMode == 1 ? m_settings.hltvPort() : m_settings.gamePort();
    const QString portName = scanMode == 1 ? QStringLiteral("HLTV port") : QStringLiteral("Game port");
    if (portText.isEmpty() && (scanMode == 0 || scanMode == 1)) {
        m_sink.warn(portName + QStringLiteral(" is empty. Please set it in Options."));
        return Outcome::Refused;
    }
    // A port that is not a number from 1 to 65535 would send to a port nobody chose.
    const std::optional<std::uint16_t> port = m_settings.scanPort(scanMode);
    if (!port) {
        m_sink.warn(portName + QStringLiteral(" is incorrect. Please set it in Options."));
        return Outcome::Refused;
    }

    m_badFavourites.clear();
    m_listProblems.clear();
    m_listFailure = ListFailure::None;
    const Outcome end = runSweep(scanMode, *port);
    // Told once the sweep is over: a box in the middle would hold the probes up.
    if (!m_badFavourites.isEmpty() && (end == Outcome::Completed || end == Outcome::Cancelled))
        m_sink.warn(m_badFavourites.join(u'\n') + QStringLiteral("\nPlease set it in Options."));
    if (end == Outcome::Completed)
        reportLists();
    return end;
}

void ScanEngine::reportLists()
{
    // Each master's own trouble, for whoever reads the program's output.
    for (const QString& problem : m_listProblems)
        qInfo().noquote() << "vantry:" << problem;
    const ListFailure failure = m_listFailure;
    const bool toldBefore = failure == m_toldFailure;
    m_toldFailure = failure;
    const char* text = nullptr;
    switch (failure) {
    case ListFailure::None:
        return;
    case ListFailure::NothingToAsk:
        text = NothingToAsk;
        break;
    case ListFailure::NoNetwork:
        text = NoNetwork;
        break;
    case ListFailure::KeyRefused:
        text = KeyRefused;
        break;
    case ListFailure::NoAnswer:
        text = NoAnswer;
        break;
    }
    m_sink.setStatus(0, shown(text));
    if (!toldBefore)
        m_sink.listsFailed(shown(text),
                           failure == ListFailure::NothingToAsk || failure == ListFailure::KeyRefused);
}

ScanEngine::Outcome ScanEngine::runSweep(int scanMode, std::uint16_t port)
{
    Activity::Running running(m_activity, LongOperation::Sweep);
    m_scanning = true;
    m_stopRequest = false;
    m_end = Outcome::Completed;
    struct Leave
    {
        ScanEngine& engine;
        ~Leave()
        {
            // A stop has already left the scanning state; every other end leaves it here.
            if (engine.m_scanning)
                engine.leaveScanning();
        }
    } leave{*this};

    m_sink.enterScanning();
    m_sink.setStatus(1, QStringLiteral("0"));

    // The lists come in while the favourites and the broadcast are probed.
    ListSource* lists = m_settings.masterSource().listsOn() ? m_sink.listSource() : nullptr;
    if (lists)
        lists->start(m_settings.masterSource(), scanMode);
    struct EndLists
    {
        ListSource* lists;
        ~EndLists()
        {
            if (lists)
                lists->cancel();
        }
    } endLists{lists};

    if (!probeFavourites())
        return m_end;

    if (m_settings.broadcast()) {
        if (const std::optional<std::uint32_t> local = m_sink.localAddress()) {
            const std::uint32_t network = *local & 0xFFFF0000u;
            const query::Endpoint target{network | 0xFFFFu, port};
            m_sink.broadcastSent(network, 0xFFFF0000u);
            m_sink.sendInfo(target);
            if (m_settings.scanOld())
                m_sink.sendOldInfo(target);
            countProbe();
        }
    }

    if (lists && !probeListed(*lists))
        return m_end;

    if (!probeRanges(port))
        return m_end;

    rememberServers();
    m_sink.setStatus(0, shown(Completed));
    // Also after a stop that no later check saw: the sweep then ends as a completed one.
    leaveScanning();
    return Outcome::Completed;
}

bool ScanEngine::probeFavourites()
{
    // A copy: rows deleted or moved during the yields are not read after they are gone.
    const QVector<options::FavouriteTarget> favourites = m_settings.favouriteTargets();
    for (const options::FavouriteTarget& favourite : favourites) {
        const options::Favourite& text = favourite.text;
        if (!favourite.port) {
            m_badFavourites.append(
                QStringLiteral("Port of favorite %1 is incorrect: \"%2\".").arg(text.address, text.port));
            continue;
        }
        if (!askable(favourite)) {
            m_badFavourites.append(
                QStringLiteral("Address of favorite \"%1\" is not an IPv4 address.").arg(text.address));
            continue;
        }
        const int half = m_settings.delayMs() / 2;
        m_sink.pause(half);
        sendFavourite(favourite, false);
        m_sink.pause(half);
        if (m_settings.scanOld())
            sendFavourite(favourite, true);
        if (!afterProbe(text.address))
            return false;
    }
    return !m_activity.closing();
}

bool ScanEngine::probeListed(ListSource& source)
{
    // The session paces the list and asks its silent servers again; the sweep hands it the
    // addresses as they come and shows how far it got.
    m_sink.beginListed(std::max(0, m_settings.listRate()), m_settings.scanOld());
    const int rowsBefore = m_sink.listedCount();
    std::size_t handed = 0;
    std::size_t counted = 0;
    for (;;) {
        if (stopSeen())
            return false;
        // Read before the addresses: whatever came before the lists ended is asked below.
        const bool running = source.running();
        const std::vector<query::Endpoint>& servers = source.servers();
        if (handed < servers.size()) {
            // Each at the port it is listed with: a master lists a server's query port.
            m_sink.queryListed(std::span(servers).subspan(handed));
            handed = servers.size();
        }
        const std::size_t asked = m_sink.listedAsked();
        if (asked > counted) {
            countProbe(static_cast<int>(asked - counted));
            counted = asked;
        }
        const int answering = std::max(0, m_sink.listedCount() - rowsBefore);
        m_sink.setStatus(0, shown(Listed).arg(shown(ListProgress).arg(handed).arg(asked).arg(answering)));
        if (!running && asked >= handed)
            break;
        m_sink.pause(ListWaitMs);
        if (m_activity.closing()) {
            m_end = Outcome::Closing;
            m_sink.endListed();
            return false;
        }
    }
    m_listProblems = source.problems();
    m_listFailure = source.failure();
    return true;
}

bool ScanEngine::askable(const options::FavouriteTarget& favourite)
{
    using Kind = query::HostText::Kind;
    return favourite.port && (favourite.host.kind == Kind::Address || favourite.host.kind == Kind::Name);
}

void ScanEngine::sendFavourite(const options::FavouriteTarget& favourite, bool old)
{
    // Numbers go out as they are; only a host name is looked up.
    if (const std::optional<query::Endpoint> to = favourite.endpoint()) {
        old ? m_sink.sendOldInfo(*to) : m_sink.sendInfo(*to);
        return;
    }
    old ? m_sink.sendOldInfo(favourite.text.address, *favourite.port)
        : m_sink.sendInfo(favourite.text.address, *favourite.port);
}

bool ScanEngine::probeRanges(std::uint16_t port)
{
    const QVector<options::Ipv4Range> ranges = m_settings.tickedRanges();
    for (const options::Ipv4Range& range : ranges) {
        const int f3 = int(range.from >> 8 & 0xFF), f4 = int(range.from & 0xFF);
        const int t3 = int(range.to >> 8 & 0xFF), t4 = int(range.to & 0xFF);
        if (t3 < f3)
            continue;
        // Every address has the first two octets of the range's start.
        const std::uint32_t base = range.from & 0xFFFF0000u;
        for (int c = f3; c <= t3; ++c) {
            const int last = c == t3 ? t4 : 254;
            if (last < f4)
                continue;
            for (int d = f4; d <= last; ++d) {
                const std::uint32_t address = base | (std::uint32_t(c) << 8) | std::uint32_t(d);
                // Each probe names its port: a handler run during a yield cannot redirect it.
                m_sink.sendInfo({address, port});
                m_sink.pause(m_settings.delayMs());
                if (m_settings.scanOld())
                    m_sink.sendOldInfo({address, port});
                if (!afterProbe(address))
                    return false;
            }
        }
    }
    return !m_activity.closing();
}

bool ScanEngine::afterProbe(const QString& address)
{
    if (!stopOrYield())
        return false;
    m_sink.setStatus(0, u' ' + address);
    countProbe();
    return true;
}

bool ScanEngine::afterProbe(std::uint32_t address)
{
    if (!stopOrYield())
        return false;
    m_sink.setStatusAddress(address);
    countProbe();
    return true;
}

bool ScanEngine::stopSeen()
{
    if (m_activity.closing()) {
        m_end = Outcome::Closing;
        return true;
    }
    if (m_stopRequest) {
        m_sink.setStatus(0, shown(Cancelled));
        m_end = Outcome::Cancelled;
        return true;
    }
    return false;
}

bool ScanEngine::stopOrYield()
{
    if (stopSeen())
        return false;
    m_sink.yield();
    if (m_activity.closing()) {
        m_end = Outcome::Closing;
        return false;
    }
    return true;
}

void ScanEngine::countProbe(int probes)
{
    // The panel is the count's only store: whatever else wrote it is read back as a number.
    const std::optional<int> count = m_sink.statusCount();
    m_sink.setStatusCount((count ? *count : m_sink.status(1).toInt()) + probes);
}

void ScanEngine::rememberServers()
{
    m_refreshList = m_sink.listedServers();
}

void ScanEngine::stop()
{
    m_stopRequest = true;
    // A stopped sweep sends nothing more, the list's retries included.
    m_sink.endListed();
    if (m_scanning)
        leaveScanning();
}

void ScanEngine::leaveScanning()
{
    m_scanning = false;
    m_cooldown = 3;
    m_sink.leaveScanning();
}

ScanEngine::CooldownTick ScanEngine::cooldownTick()
{
    CooldownTick tick;
    tick.caption = QStringLiteral("Wait ") + QString::number(m_cooldown);
    if (m_cooldown == 0) {
        tick.caption = scanCaption();
        tick.finished = true;
    }
    --m_cooldown;
    return tick;
}

ScanEngine::Outcome ScanEngine::refresh()
{
    if (m_activity.running() != LongOperation::None || m_scanning)
        return Outcome::Skipped;
    Activity::Running running(m_activity, LongOperation::Refresh);

    m_sink.beginRefresh();
    // Every listed server is kept, however many there are.
    if (m_sink.listedCount() > m_refreshList.size())
        m_refreshList = m_sink.listedServers();
    m_sink.pause(300);
    if (m_activity.closing())
        return Outcome::Closing;
    m_sink.clearLists();

    // Asked as a public list's servers are: at the pace the link carries, and again while silent
    // (until the next list or refresh).
    std::vector<query::Endpoint> servers;
    servers.reserve(static_cast<std::size_t>(m_refreshList.size()));
    std::copy_if(m_refreshList.cbegin(), m_refreshList.cend(), std::back_inserter(servers),
                 [](const query::Endpoint& server) { return server.port != 0; });
    m_sink.beginListed(std::max(0, m_settings.listRate()), m_settings.scanOld());
    m_sink.queryListed(servers);
    while (m_sink.listedAsked() < servers.size()) {
        m_sink.pause(ListWaitMs);
        if (m_activity.closing()) {
            m_sink.endListed();
            return Outcome::Closing;
        }
    }
    m_sink.endRefresh();
    m_sink.setStatus(0, shown(Done));
    return Outcome::Completed;
}

ScanEngine::Outcome ScanEngine::favouritesPass()
{
    if (m_settings.favouriteCount() == 0)
        return Outcome::Skipped;
    if (!m_sink.scanButtonEnabled() || m_activity.running() != LongOperation::None || m_scanning)
        return Outcome::Skipped;
    Activity::Running running(m_activity, LongOperation::FavouritesPass);

    const QVector<options::FavouriteTarget> favourites = m_settings.favouriteTargets();
    for (const options::FavouriteTarget& favourite : favourites) {
        if (!askable(favourite))
            continue;
        m_sink.pause(3);
        sendFavourite(favourite, false);
        m_sink.pause(3);
        if (m_settings.scanOld())
            sendFavourite(favourite, true);
        m_sink.yield();
        if (m_activity.closing())
            return Outcome::Closing;
        m_sink.setStatus(0, u' ' + favourite.text.address);
    }
    m_sink.setStatus(0, QStringLiteral(" Autoscan..."));
    if (m_sink.favouritesTimerInterval() < 5000)
        m_sink.setFavouritesTimerInterval(m_settings.updateIntervalSec() * 1000);
    return Outcome::Completed;
}

} // namespace vantry::browser
