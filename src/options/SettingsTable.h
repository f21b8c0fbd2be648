#pragma once

#include "base/IniFile.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>

namespace vantry {

namespace settings {

// Section names of the settings file.
inline constexpr QStringView SectionSettings = u"Settings";
inline constexpr QStringView SectionRanges = u"Ranges";
inline constexpr QStringView SectionFavorites = u"Favorites";
inline constexpr QStringView SectionParams = u"Params";
inline constexpr QStringView SectionPassword = u"Password";
// Public server lists: "SteamKey", the user's Steam Web API key, a secret like a password.
inline constexpr QStringView SectionMaster = u"Master";
inline constexpr QStringView MasterSteamKey = u"SteamKey";
// Section "Master": the count of UDP masters and one "host:port" key per master.
inline constexpr QStringView MastersCountKey = u"Masters";
QString masterKey(int row);
// The public lists' servers: "Rate", servers asked per second.
inline constexpr QStringView SectionLists = u"Lists";
// The servers last joined, newest first (launch::RecentServers keeps its layout).
inline constexpr QStringView SectionRecent = u"Recent";
// A favourite's last answer, keyed by "address:port" (options::FavouriteNames keeps its layout).
inline constexpr QStringView SectionFavoriteNames = u"FavoriteNames";

enum class Form
{
    Integer,
    Boolean,
    Text,
};

// The fixed keys, in the order a shutdown writes them (per-slot and per-row keys follow them).
enum class Key
{
    // Section "Settings"
    Height,
    Width,
    TransLevel,
    CSPort,
    Trans,
    DoubleClick,
    HLTVPort,
    Broadcast,
    ScanOld,
    FavAutoScan,
    UpdInterval,
    Delay,
    CurItem,
    CurPage,
    FavWidth,
    GameType,
    // Section "Password"
    LastPass,
    ShowPass,
    // Section "Master", written after all the others
    MasterEnabled,
    SteamKey,
    ApiUrl, // empty: the public Web API
    Region,
    Pace,
    // Section "Lists", after "Master"
    ListRate,
};
inline constexpr int KeyCount = static_cast<int>(Key::ListRate) + 1;

struct KeySpec
{
    Key key;
    QStringView section;
    QStringView name;
    Form form;
    int number;       // default of integer and boolean keys
    QStringView text; // default of text keys
};

const std::array<KeySpec, KeyCount>& keyTable();
const KeySpec& entry(Key key);

// Typed access with the key's own default.
int readInteger(const IniFile& file, Key key);
bool readBool(const IniFile& file, Key key);
QString readText(const IniFile& file, Key key);
void write(IniFile& file, Key key, int value);
void writeBool(IniFile& file, Key key, bool value);
void write(IniFile& file, Key key, const QString& value);

inline constexpr int GameSlots = 6;
// "ExePath0" … "ExePath5", "Param0" … "Param5" in section "Settings".
QString exePathKey(int slot);
QString paramKey(int slot);
// The start parameters a slot has until the user saves others; empty outside 0..5.
QString defaultStartParams(int slot);
// The choices of the parameter list when the file has no section "Params".
QStringList builtInParamChoices();

// Section "Ranges".
inline constexpr QStringView RangesCountKey = u"Ranges";
inline constexpr QStringView RangesCheckedKey = u"Checked";
QString rangeFromKey(int row);
QString rangeToKey(int row);

// Port of a favourite whose value cannot be read.
inline constexpr QStringView DefaultFavouritePort = u"27015";

// The keys whose values are secrets: a file that holds one is the owner's only.
QVector<IniFile::SecretKey> secretKeys();

} // namespace settings
} // namespace vantry
