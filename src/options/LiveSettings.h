#pragma once

#include "options/MasterSource.h"
#include "query/Endpoint.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <optional>

namespace vantry::options {

struct AddressRange
{
    bool checked = true;
    QString from; // dotted IPv4 text as entered or as stored (stored ones are not checked again)
    QString to;
};

struct Favourite
{
    QString address;
    QString port; // decimal text, 1 to 5 digits when entered here; anything when hand-edited
};

// A favourite as the engines ask it: its texts read once, here.
struct FavouriteTarget
{
    Favourite text;                    // as written: the status panel and the messages show it
    query::HostText host;              // its address text read
    std::optional<std::uint16_t> port; // none: the port text is no port
    // Address and port as numbers; none for a host name or a text that is neither.
    std::optional<query::Endpoint> endpoint() const;
};
FavouriteTarget favouriteTarget(const Favourite& favourite);

// A ticked range whose ends are both IPv4 addresses; host order.
struct Ipv4Range
{
    std::uint32_t from = 0;
    std::uint32_t to = 0;
};

inline constexpr int GameSlotCount = 6;
// The most listed servers asked a second; 0: as many as the link carries, found as the answers
// come. A user who must share a slow link sets a ceiling.
inline constexpr int DefaultListRate = 0;
// Beyond this a rate only floods the link: the highest the settings take.
inline constexpr int MaxListRate = 100'000;
// A stored or typed rate as the program uses it: 0 stays automatic, below 0 is the default.
inline int clampedListRate(int rate)
{
    return rate < 0 ? DefaultListRate : rate > MaxListRate ? MaxListRate : rate;
}

// The settings other code reads at the moment it needs them. The options dialog implements it
// over its controls, so a change takes effect at once; engines and tests never touch widgets.
class LiveSettings
{
public:
    virtual ~LiveSettings() = default;

    // Copies, so that a caller walking them is not disturbed by rows deleted or moved meanwhile.
    virtual QVector<AddressRange> ranges() const = 0;
    virtual QVector<Favourite> favourites() const = 0;
    virtual int rangeCount() const = 0;
    virtual int favouriteCount() const = 0;

    virtual QString gamePort() const = 0; // may be empty
    virtual QString hltvPort() const = 0; // may be empty
    virtual int delayMs() const = 0;      // 0..30
    virtual bool broadcast() const = 0;
    virtual bool scanOld() const = 0;

    virtual bool doubleClickConnects() const = 0;
    virtual QString gamePath(int slot) const = 0; // empty for a slot outside 0..5
    virtual QString startParams(int slot) const = 0;
    // The command a slot's game is started inside, "gamemoderun %command%"; empty: none.
    virtual QString launchWrapper(int /*slot*/) const { return {}; }
    // The Xash3D FWGS client, for the servers of protocol 49; empty: none set.
    virtual QString xashClient() const { return {}; }

    virtual bool autoScan() const = 0;
    virtual int updateIntervalSec() const = 0; // 5..60

    // Appends a favourite unless one with the same address and port texts exists; false then.
    virtual bool addFavourite(const Favourite& favourite) = 0;

    // The public server lists a sweep asks first; off unless the user ticked them.
    virtual MasterSource masterSource() const { return {}; }
    // Servers of a public list asked per second (a list's servers are paced by rate, not by the
    // range sweep's pause); 0: as fast as the link takes them.
    virtual int listRate() const { return DefaultListRate; }
    // Names of players whose appearance on a server is told while the window is hidden.
    virtual QStringList watchedPlayers() const { return {}; }

    // The same settings as the engines use them, as numbers. The dialog reads its favourites
    // once per change, not once per reply that is matched against them.
    virtual QVector<FavouriteTarget> favouriteTargets() const;
    // The ticked ranges, in list order; a range whose ends are not both addresses is left out.
    QVector<Ipv4Range> tickedRanges() const;
    // The port of a scan mode (0 game, 1 HLTV): none when its text is empty or no port.
    std::optional<std::uint16_t> scanPort(int scanMode) const;
};

} // namespace vantry::options
