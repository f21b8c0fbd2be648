#include "StoredSettings.h"

#include "WatchList.h"
#include "base/IniFile.h"
#include "options/Rules.h"
#include "options/SettingsTable.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <set>

namespace vantry::options {

namespace st = vantry::settings;

namespace {

// The longest range list whose check marks a file can hold: "Checked" is read through a buffer
// of IniFile::MaxValueLength characters.
constexpr int MaxStoredRanges = IniFile::MaxValueLength;

QString str(QStringView view)
{
    return view.toString();
}

// Row indexes for which the section holds a "RangeFrom" or "RangeTo" key, ascending.
std::set<int> storedRangeRows(const IniFile& file)
{
    static const QRegularExpression pattern(QStringLiteral("^range(from|to)(0|[1-9][0-9]{0,8})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    std::set<int> rows;
    for (const QString& key : file.keys(str(st::SectionRanges))) {
        const QRegularExpressionMatch match = pattern.match(key);
        if (match.hasMatch())
            rows.insert(match.captured(2).toInt());
    }
    return rows;
}

QVector<AddressRange> loadRanges(const IniFile& file)
{
    const QString section = str(st::SectionRanges);
    const QString countText = file.readString(section, str(st::RangesCountKey), QStringLiteral("0"));
    const QString checked = file.readString(section, str(st::RangesCheckedKey), QStringLiteral("0"));
    const auto range = [&](int row) {
        AddressRange r;
        r.checked = row < checked.size() && checked[row] == u'1';
        r.from = file.readString(section, st::rangeFromKey(row), QString());
        r.to = file.readString(section, st::rangeToKey(row), QString());
        return r;
    };
    QVector<AddressRange> ranges;
    int count = 0;
    const bool counted = IniFile::parseInteger(countText, count);
    if (counted && count <= MaxStoredRanges) {
        // The count rules: rows whose keys are missing load empty, keys above it stay unread.
        for (int row = 0; row < count; ++row)
            ranges.append(range(row));
        return ranges;
    }
    // A count that is no number, or one past what the check text can cover, is a damaged file:
    // the rows are the ones the file holds, so that none is lost and none is made up.
    for (int row : storedRangeRows(file)) {
        if (counted && row >= count)
            break;
        ranges.append(range(row));
    }
    return ranges;
}

QVector<Favourite> loadFavourites(const IniFile& file)
{
    QVector<Favourite> favourites;
    for (const auto& [key, value] : file.entries(str(st::SectionFavorites))) {
        const qsizetype blank = key.indexOf(u' ');
        favourites.append({blank < 0 ? key : key.left(blank), value});
    }
    return favourites;
}

} // namespace

StoredSettings::StoredSettings() : paramChoices(st::builtInParamChoices())
{
    for (int slot = 0; slot < GameSlotCount; ++slot)
        startParams[static_cast<std::size_t>(slot)] = st::defaultStartParams(slot);
}

StoredSettings loadStoredSettings(const IniFile& file)
{
    using st::Key;
    const QString settings = str(st::SectionSettings);
    StoredSettings s;
    s.gameType = std::clamp(st::readInteger(file, Key::GameType), -1, 1);
    for (int slot = 0; slot < GameSlotCount; ++slot) {
        const auto n = static_cast<std::size_t>(slot);
        s.gamePaths[n] = file.readString(settings, st::exePathKey(slot), QString());
        s.startParams[n] = file.readString(settings, st::paramKey(slot), st::defaultStartParams(slot));
    }
    s.windowSize = QSize(st::readInteger(file, Key::Width), st::readInteger(file, Key::Height));
    s.curItem = st::readInteger(file, Key::CurItem);
    if (s.curItem < 0 || s.curItem >= GameSlotCount)
        s.curItem = -1;
    s.csPort = st::readText(file, Key::CSPort);
    s.favWidth = std::clamp(st::readInteger(file, Key::FavWidth), 70, 110);
    s.hltvPort = st::readText(file, Key::HLTVPort);
    s.scanOld = st::readBool(file, Key::ScanOld);
    s.delay = std::clamp(st::readInteger(file, Key::Delay), 0, 30);
    s.trans = st::readBool(file, Key::Trans);
    s.favAutoScan = st::readBool(file, Key::FavAutoScan);
    if (const int interval = st::readInteger(file, Key::UpdInterval); interval >= 5)
        s.updInterval = std::min(interval, 60);
    s.curPage = st::readInteger(file, Key::CurPage);
    s.broadcast = st::readBool(file, Key::Broadcast);
    s.transLevel = loadedTransparencyLevel(st::readInteger(file, Key::TransLevel));
    s.doubleClick = st::readBool(file, Key::DoubleClick);
    if (file.sectionExists(str(st::SectionParams)))
        s.paramChoices = file.keys(str(st::SectionParams));
    s.ranges = loadRanges(file);
    s.favourites = loadFavourites(file);
    s.master = loadMasterSource(file);
    s.listRate = clampedListRate(st::readInteger(file, Key::ListRate));
    s.watchedPlayers = loadWatchList(file);
    s.launchWrappers = loadLaunchWrappers(file);
    s.xashClient = loadXashClient(file);
    const QFileInfo info(file.path());
    s.firstStart = !info.exists() || info.size() == 0;
    return s;
}

QString favouriteKey(const Favourite& favourite, int row)
{
    return favourite.address + u' ' + QString::number(row);
}

namespace {

void writeRangeRows(IniFile& file, const QVector<AddressRange>& ranges)
{
    const QString section = str(st::SectionRanges);
    file.writeInteger(section, str(st::RangesCountKey), static_cast<int>(ranges.size()));
    for (int row = 0; row < ranges.size(); ++row) {
        file.writeString(section, st::rangeFromKey(row), ranges[row].from);
        file.writeString(section, st::rangeToKey(row), ranges[row].to);
    }
}

void writeChecked(IniFile& file, const QVector<AddressRange>& ranges)
{
    QString checked;
    for (const AddressRange& range : ranges)
        checked += range.checked ? u'1' : u'0';
    file.writeString(str(st::SectionRanges), str(st::RangesCheckedKey), checked);
}

} // namespace

void saveRanges(IniFile& file, const QVector<AddressRange>& ranges)
{
    IniFile::Batch batch(file);
    writeRangeRows(file, ranges);
    writeChecked(file, ranges);
    batch.commit();
}

void saveStoredSettings(IniFile& file, const StoredSettings& s)
{
    using st::Key;
    IniFile::Batch batch(file);
    for (QStringView section :
         {st::SectionSettings, st::SectionRanges, st::SectionFavorites, st::SectionParams})
        file.eraseSection(str(section));

    if (!s.ranges.isEmpty())
        writeRangeRows(file, s.ranges);
    writeChecked(file, s.ranges);

    st::write(file, Key::Height, s.windowSize.height());
    st::write(file, Key::Width, s.windowSize.width());
    st::write(file, Key::TransLevel, s.transLevel);
    st::write(file, Key::CSPort, s.csPort);
    st::writeBool(file, Key::Trans, s.trans);
    st::writeBool(file, Key::DoubleClick, s.doubleClick);
    st::write(file, Key::HLTVPort, s.hltvPort);
    st::writeBool(file, Key::Broadcast, s.broadcast);
    st::writeBool(file, Key::ScanOld, s.scanOld);
    st::writeBool(file, Key::FavAutoScan, s.favAutoScan);
    st::write(file, Key::UpdInterval, s.updInterval);
    st::write(file, Key::Delay, s.delay);
    st::write(file, Key::CurItem, s.curItem);
    st::write(file, Key::CurPage, s.curPage);
    st::write(file, Key::FavWidth, s.favWidth);
    st::write(file, Key::GameType, s.gameType);

    for (const QString& choice : s.paramChoices)
        file.writeString(str(st::SectionParams), choice, QString());

    const QString settings = str(st::SectionSettings);
    for (int slot = 0; slot < GameSlotCount; ++slot) {
        const auto n = static_cast<std::size_t>(slot);
        file.writeString(settings, st::exePathKey(slot), s.gamePaths[n]);
        file.writeString(settings, st::paramKey(slot), s.startParams[n]);
    }

    for (int row = 0; row < s.favourites.size(); ++row)
        file.writeString(str(st::SectionFavorites), favouriteKey(s.favourites[row], row),
                         s.favourites[row].port);
    writeMasterSource(file, s.master);
    // Only a rate the user changed is written: a file of one who never did keeps its bytes.
    file.eraseSection(str(st::SectionLists));
    if (s.listRate != DefaultListRate)
        st::write(file, Key::ListRate, s.listRate);
    writeWatchList(file, s.watchedPlayers);
    writeLaunchWrappers(file, s.launchWrappers);
    writeXashClient(file, s.xashClient);
    batch.commit();
}

} // namespace vantry::options
