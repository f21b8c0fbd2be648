#pragma once

#include "options/LaunchWrappers.h"
#include "options/LiveSettings.h"
#include "options/MasterSource.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>

namespace vantry {
class IniFile;
}

namespace vantry::options {

// Every setting the options dialog loads at start-up and writes at shutdown, as plain values with
// the controls' ranges already applied. The defaults are those of a missing file.
struct StoredSettings
{
    StoredSettings();

    int gameType = 0; // -1 (none), 0 or 1
    std::array<QString, GameSlotCount> gamePaths;
    std::array<QString, GameSlotCount> startParams;
    QSize windowSize{680, 351};
    int curItem = 0; // -1 when the stored slot is outside 0..5
    QString csPort = QStringLiteral("27015");
    int favWidth = 103; // 70..110
    QString hltvPort = QStringLiteral("27020");
    bool scanOld = true;
    int delay = 5; // 0..30
    bool trans = false;
    bool favAutoScan = false;
    int updInterval = 10; // 5..60
    int curPage = 0;      // as stored; outside 0..2 no page is active, and -1 is written back
    bool broadcast = true;
    int transLevel = 255;
    bool doubleClick = true;
    QStringList paramChoices;
    QVector<AddressRange> ranges;
    QVector<Favourite> favourites;
    MasterSource master;
    int listRate = DefaultListRate;   // section "Lists"
    QStringList watchedPlayers;       // section "Watch"
    LaunchWrapperList launchWrappers; // section "Launch"
    QString xashClient;               // section "Clients"
    // The file did not exist or held nothing: the program runs for the first time.
    bool firstStart = true;
};

// Reads the settings file. Never fails: what cannot be read takes its default, and hand-edited
// range counts and check texts are read without reaching past what the file holds.
StoredSettings loadStoredSettings(const IniFile& file);

// Rewrites sections "Settings", "Ranges", "Favorites" and "Params" as a shutdown does, then
// section "Master" and then "Lists" after them, in one file write: on a StoreWriteError the file keeps its
// old contents.
void saveStoredSettings(IniFile& file, const StoredSettings& settings);

// The range list as written after each addition or deletion: the section is not erased first.
void saveRanges(IniFile& file, const QVector<AddressRange>& ranges);

// The key of a favourite in section "Favorites": its address, a blank, its row.
QString favouriteKey(const Favourite& favourite, int row);

} // namespace vantry::options
