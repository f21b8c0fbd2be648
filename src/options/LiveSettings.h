#pragma once

#include "options/MasterSource.h"

#include <QString>
#include <QStringList>
#include <QVector>

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

inline constexpr int GameSlotCount = 6;
// 4,096 listed servers asked in under 3 s; a slow link sets fewer.
inline constexpr int DefaultListRate = 1500;
// Beyond this a rate only floods the link: the highest the settings take.
inline constexpr int MaxListRate = 100'000;
// A stored or typed rate as the program uses it: 0 stays unpaced, below 0 is the default.
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
};

} // namespace vantry::options
