#pragma once

#include "base/Activity.h"
#include "query/Endpoint.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <optional>
#include <span>

namespace vantry::options {
class LiveSettings;
struct FavouriteTarget;
} // namespace vantry::options

namespace vantry::browser {

class ListSource;
enum class ListFailure;

// What the scan engine drives. The window implements it over the endpoint and its controls;
// tests implement it with a recording sink and a hand-driven clock.
class ScanSink
{
public:
    virtual ~ScanSink() = default;

    virtual void sendInfo(const QString& host, std::uint16_t port) = 0;
    virtual void sendOldInfo(const QString& host, std::uint16_t port) = 0;
    // A probe of an address as it is (a range's, a list's, a listed row's): no text to parse.
    virtual void sendInfo(const query::Endpoint& to) = 0;
    virtual void sendOldInfo(const query::Endpoint& to) = 0;
    // A pause between probes; the window keeps its event loop running through it.
    virtual void pause(int ms) = 0;
    // Let every waiting event run (replies, clicks, timers).
    virtual void yield() = 0;
    // The local host's IPv4 address (host order), or nothing when it cannot be found.
    virtual std::optional<std::uint32_t> localAddress() = 0;
    // The broadcast probe went to the network `address`/`mask`: its answers come from senders
    // that nobody asked by address.
    virtual void broadcastSent(std::uint32_t address, std::uint32_t mask)
    {
        (void)address;
        (void)mask;
    }

    virtual void setStatus(int panel, const QString& text) = 0;
    // Panel 0 becomes ScanEngine::addressStatus(address); a sweep does this after every probe,
    // so the text may be made only when it is read or shown.
    virtual void setStatusAddress(std::uint32_t address) = 0;
    // Panel 1 shows the number of probes, also set after every probe. statusCount() gives it
    // back while it is the text the panel shows, and nothing once other text replaced it.
    virtual void setStatusCount(int count) { setStatus(1, QString::number(count)); }
    virtual std::optional<int> statusCount() const { return std::nullopt; }
    virtual QString status(int panel) const = 0;
    // A sweep's missing settings: the warning, then the options dialog.
    virtual void warn(const QString& text) = 0;
    // The public lists gave nothing, told once for a failure the sweep before did not meet;
    // `fixInOptions`: the options' scanning page holds what fixes it.
    virtual void listsFailed(const QString& text, bool fixInOptions) { (void)fixInOptions, warn(text); }

    // Buttons and lists at the start of a sweep; at its end or stop; around a refresh.
    virtual void enterScanning() = 0;
    virtual void leaveScanning() = 0;
    virtual void beginRefresh() = 0;
    virtual void clearLists() = 0;
    virtual void endRefresh() = 0;

    // The servers listed now, in list order.
    virtual QVector<query::Endpoint> listedServers() const = 0;
    virtual int listedCount() const = 0;

    // The favourites pass runs only while the scan button is enabled.
    virtual bool scanButtonEnabled() const = 0;
    virtual int favouritesTimerInterval() const = 0;
    virtual void setFavouritesTimerInterval(int ms) = 0;

    // The public server lists, asked when the settings tick them; none: they are never asked.
    virtual ListSource* listSource() { return nullptr; }
    // A public list's servers go to the query session, which asks them at `ratePerSecond` (0:
    // unpaced) and again while they are silent; listedAsked() tells how many it has asked. By
    // default each is sent at once, and endListed() lets the rest go.
    virtual void beginListed(int ratePerSecond, bool old);
    virtual void queryListed(std::span<const query::Endpoint> servers);
    virtual std::size_t listedAsked() const { return m_listedAsked; }
    virtual void endListed() {}
    // The time the list's rate is kept by; pauses move it.
    virtual std::int64_t nowMs() const;

private:
    bool m_listedOld = false;
    std::size_t m_listedAsked = 0;
};

// The sweep over favourites, broadcast and ranges; stop, cool-down, refresh and the favourites
// pass. Pacing and yielding go through the sink, so every step can be tested exactly.
class ScanEngine
{
public:
    enum class Outcome
    {
        Completed, // " Завершено :)"
        Cancelled, // " Отменено :("
        Refused,   // a check failed and warned; nothing changed
        Skipped,   // another long operation is running
        Closing,   // the program is closing; the loop unwound
    };

    // The cool-down's texts for the scan button after one tick.
    struct CooldownTick
    {
        QString caption;
        bool finished = false; // the timer stops and the button may be enabled again
    };

    // The engine marks the long operations it runs on `activity` and stops at its closing.
    ScanEngine(Activity& activity, const options::LiveSettings& settings, ScanSink& sink);

    Outcome sweep(int scanMode);
    // A stop request: seen by the running sweep at its next check; the scanning state ends now.
    void stop();
    CooldownTick cooldownTick();
    Outcome refresh();
    Outcome favouritesPass();

    // The scan button's caption while no cool-down counts, in the window's language: the one
    // caption the button starts with and comes back to.
    static QString scanCaption();
    // A space and the dotted address: panel 0 after a range probe.
    static QString addressStatus(std::uint32_t address);

    // From the start of a sweep to its end or its stop.
    bool isScanning() const { return m_scanning; }
    // Set by a stop, cleared at the start of each sweep.
    bool stopRequested() const { return m_stopRequest; }
    // The rescan cool-down: 3 when a sweep ends, one less at each tick.
    int cooldown() const { return m_cooldown; }
    // The servers listed at the end of the last completed sweep, or of a refresh that found more.
    const QVector<query::Endpoint>& refreshList() const { return m_refreshList; }

private:
    Outcome runSweep(int scanMode, std::uint16_t port);
    bool probeFavourites();
    // Probes the public lists' addresses as they come, at the list rate, until the lists end.
    bool probeListed(ListSource& source);
    void reportLists();
    bool probeRanges(std::uint16_t port);
    // A favourite with a port and an address or a host name; the others are told, not asked.
    static bool askable(const options::FavouriteTarget& favourite);
    void sendFavourite(const options::FavouriteTarget& favourite, bool old);
    // After a probe: the stop check, the yield and the status texts. False when the loop ends.
    bool afterProbe(const QString& address);
    bool afterProbe(std::uint32_t address);
    bool stopOrYield();
    // The stop check alone: true, with the end noted, when the sweep must return.
    bool stopSeen();
    void countProbe(int probes = 1);
    void rememberServers();
    // The end of the scanning state, by a stop or by the sweep's own end.
    void leaveScanning();

    Activity& m_activity;
    const options::LiveSettings& m_settings;
    ScanSink& m_sink;
    Outcome m_end = Outcome::Completed;
    bool m_scanning = false;
    bool m_stopRequest = false;
    int m_cooldown = 0;
    QVector<query::Endpoint> m_refreshList;
    // One line for each favourite the sweep skipped for its port.
    QStringList m_badFavourites;
    // What went wrong with the public lists, told after the sweep as the favourites are.
    QStringList m_listProblems;
    ListFailure m_listFailure{};
    ListFailure m_toldFailure{}; // the last one told: the same again is only shown in the status bar
    // The probe count as last written, so reading it back needs no parse while it is unchanged.
};

} // namespace vantry::browser
