#include "SettingsTable.h"

#include "base/IniFile.h"

namespace vantry::settings {

namespace {

constexpr std::array<KeySpec, KeyCount> Table = {{
    {Key::Height, SectionSettings, u"Height", Form::Integer, 351, {}},
    {Key::Width, SectionSettings, u"Width", Form::Integer, 680, {}},
    {Key::TransLevel, SectionSettings, u"TransLevel", Form::Integer, 255, {}},
    {Key::CSPort, SectionSettings, u"CSPort", Form::Text, 0, u"27015"},
    {Key::Trans, SectionSettings, u"Trans", Form::Boolean, 0, {}},
    {Key::DoubleClick, SectionSettings, u"DoubleClick", Form::Boolean, 1, {}},
    {Key::HLTVPort, SectionSettings, u"HLTVPort", Form::Text, 0, u"27020"},
    {Key::Broadcast, SectionSettings, u"Broadcast", Form::Boolean, 1, {}},
    {Key::ScanOld, SectionSettings, u"ScanOld", Form::Boolean, 1, {}},
    {Key::FavAutoScan, SectionSettings, u"FavAutoScan", Form::Boolean, 0, {}},
    {Key::UpdInterval, SectionSettings, u"UpdInterval", Form::Integer, 10, {}},
    {Key::Delay, SectionSettings, u"Delay", Form::Integer, 5, {}},
    {Key::CurItem, SectionSettings, u"CurItem", Form::Integer, 0, {}},
    {Key::CurPage, SectionSettings, u"CurPage", Form::Integer, 0, {}},
    {Key::FavWidth, SectionSettings, u"FavWidth", Form::Integer, 103, {}},
    {Key::GameType, SectionSettings, u"GameType", Form::Integer, 0, {}},
    {Key::LastPass, SectionPassword, u"LastPass", Form::Text, 0, u""},
    {Key::ShowPass, SectionPassword, u"ShowPass", Form::Boolean, 0, {}},
    {Key::MasterEnabled, SectionMaster, u"Enabled", Form::Boolean, 0, {}},
    {Key::SteamKey, SectionMaster, MasterSteamKey, Form::Text, 0, u""},
    {Key::ApiUrl, SectionMaster, u"ApiUrl", Form::Text, 0, u""},
    {Key::Region, SectionMaster, u"Region", Form::Integer, 0xFF, {}},
    {Key::Pace, SectionMaster, u"Pace", Form::Integer, 3000, {}},
    {Key::ListRate, SectionLists, u"Rate", Form::Integer, 0, {}},
}};

constexpr bool tableInKeyOrder()
{
    for (int i = 0; i < KeyCount; ++i) {
        if (static_cast<int>(Table[static_cast<std::size_t>(i)].key) != i)
            return false;
    }
    return true;
}
static_assert(tableInKeyOrder(), "the key table follows the order of Key");

constexpr std::array<QStringView, GameSlots> DefaultParams = {
    u"-console",    u"-game cstrike -console",        u"-game cstrike",
    u"-game czero", u"-steam -game cstrike -console", u"-steam -game hl2mp"};

} // namespace

const std::array<KeySpec, KeyCount>& keyTable()
{
    return Table;
}

const KeySpec& entry(Key key)
{
    return Table[static_cast<std::size_t>(key)];
}

int readInteger(const IniFile& file, Key key)
{
    const KeySpec& s = entry(key);
    return file.readInteger(s.section.toString(), s.name.toString(), s.number);
}

bool readBool(const IniFile& file, Key key)
{
    const KeySpec& s = entry(key);
    return file.readBool(s.section.toString(), s.name.toString(), s.number != 0);
}

QString readText(const IniFile& file, Key key)
{
    const KeySpec& s = entry(key);
    return file.readString(s.section.toString(), s.name.toString(), s.text.toString());
}

void write(IniFile& file, Key key, int value)
{
    const KeySpec& s = entry(key);
    file.writeInteger(s.section.toString(), s.name.toString(), value);
}

void writeBool(IniFile& file, Key key, bool value)
{
    const KeySpec& s = entry(key);
    file.writeBool(s.section.toString(), s.name.toString(), value);
}

void write(IniFile& file, Key key, const QString& value)
{
    const KeySpec& s = entry(key);
    file.writeString(s.section.toString(), s.name.toString(), value);
}

QString exePathKey(int slot)
{
    return QStringLiteral("ExePath%1").arg(slot);
}

QString paramKey(int slot)
{
    return QStringLiteral("Param%1").arg(slot);
}

QString defaultStartParams(int slot)
{
    if (slot < 0 || slot >= GameSlots)
        return {};
    return DefaultParams[static_cast<std::size_t>(slot)].toString();
}

QStringList builtInParamChoices()
{
    return {QStringLiteral("-console"),       QStringLiteral("-nointo"),     QStringLiteral("-steam"),
            QStringLiteral("-full"),          QStringLiteral("-win"),        QStringLiteral("-noip"),
            QStringLiteral("-noipx"),         QStringLiteral("-freq 100"),   QStringLiteral("-noforcemparms"),
            QStringLiteral("-noforcemaccel"), QStringLiteral("-noforcemspd")};
}

QString rangeFromKey(int row)
{
    return QStringLiteral("RangeFrom%1").arg(row);
}

QString rangeToKey(int row)
{
    return QStringLiteral("RangeTo%1").arg(row);
}

QVector<IniFile::SecretKey> secretKeys()
{
    QVector<IniFile::SecretKey> keys;
    for (const Key key : {Key::LastPass, Key::SteamKey})
        keys.append({entry(key).section.toString(), entry(key).name.toString()});
    return keys;
}

QString masterKey(int row)
{
    return QStringLiteral("Master%1").arg(row);
}

} // namespace vantry::settings
