#include "options/StoredSettings.h"

#include "base/IniFile.h"
#include "options/Rules.h"
#include "options/SettingsTable.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vantry::options;
using vantry::IniFile;

namespace {

class StoredSettingsTest : public ::testing::Test
{
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("vantry.ini")); }
    void writeRaw(const QByteArray& bytes) const
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray readRaw() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    StoredSettings load() const { return loadStoredSettings(IniFile(path())); }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(StoredSettingsTest, ShutdownWritesTheFileInItsSectionAndKeyOrder)
{
    IniFile ini(path());
    // The password prompt writes its section first.
    ini.eraseSection(QStringLiteral("Password"));
    ini.writeString(QStringLiteral("Password"), QStringLiteral("LastPass"), QString());
    ini.writeBool(QStringLiteral("Password"), QStringLiteral("ShowPass"), false);

    StoredSettings s = loadStoredSettings(ini);
    s.ranges = {{true, QStringLiteral("192.168.0.1"), QStringLiteral("192.168.0.254")}};
    s.favourites = {{QStringLiteral("192.168.0.5"), QStringLiteral("27015")}};
    saveStoredSettings(ini, s);

    QByteArray expected =
        "[Password]\nLastPass=\nShowPass=0\n"
        "[Ranges]\nRanges=1\nRangeFrom0=192.168.0.1\nRangeTo0=192.168.0.254\nChecked=1\n"
        "[Settings]\nHeight=351\nWidth=680\nTransLevel=255\nCSPort=27015\nTrans=0\nDoubleClick=1\n"
        "HLTVPort=27020\nBroadcast=1\nScanOld=1\nFavAutoScan=0\nUpdInterval=10\nDelay=5\n"
        "CurItem=0\nCurPage=0\nFavWidth=103\nGameType=0\n"
        "ExePath0=\nParam0=-console\nExePath1=\nParam1=-game cstrike -console\n"
        "ExePath2=\nParam2=-game cstrike\nExePath3=\nParam3=-game czero\n"
        "ExePath4=\nParam4=-steam -game cstrike -console\nExePath5=\nParam5=-steam -game hl2mp\n"
        "[Params]\n-console=\n-nointo=\n-steam=\n-full=\n-win=\n-noip=\n-noipx=\n-freq 100=\n"
        "-noforcemparms=\n-noforcemaccel=\n-noforcemspd=\n"
        "[Favorites]\n192.168.0.5 0=27015\n"
        // The public server lists, after every section of the file before them.
        "[Master]\nEnabled=0\nSteamKey=\nApiUrl=https://api.steampowered.com\nRegion=255\nPace=3000\n"
        "Masters=0\n";
    EXPECT_EQ(readRaw(), expected);
}

TEST_F(StoredSettingsTest, EverySettingSurvivesARoundTrip)
{
    StoredSettings s;
    s.gameType = 1;
    for (int i = 0; i < GameSlotCount; ++i) {
        s.gamePaths[static_cast<std::size_t>(i)] = QStringLiteral("/games/Игра %1/hl.exe").arg(i);
        s.startParams[static_cast<std::size_t>(i)] = QStringLiteral("-p%1 -freq 100").arg(i);
    }
    s.windowSize = QSize(900, 400);
    s.curItem = 4;
    s.csPort = QString(); // may be empty
    s.favWidth = 77;
    s.hltvPort = QStringLiteral("27021");
    s.scanOld = false;
    s.delay = 0;
    s.trans = true;
    s.favAutoScan = true;
    s.updInterval = 60;
    s.curPage = 2;
    s.broadcast = false;
    s.transLevel = 200;
    s.doubleClick = false;
    s.paramChoices = {QStringLiteral("-nojoy"), QStringLiteral("-freq 100")};
    s.ranges = {{false, QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.254")},
                {true, QStringLiteral("10.0.1.1"), QStringLiteral("10.0.3.255")}};
    s.favourites = {{QStringLiteral("10.0.0.1"), QStringLiteral("27015")},
                    {QStringLiteral("10.0.0.1"), QStringLiteral("27016")}};
    {
        IniFile ini(path());
        saveStoredSettings(ini, s);
    }
    const StoredSettings r = load();
    EXPECT_EQ(r.gameType, 1);
    EXPECT_EQ(r.gamePaths, s.gamePaths);
    EXPECT_EQ(r.startParams, s.startParams);
    EXPECT_EQ(r.windowSize, QSize(900, 400));
    EXPECT_EQ(r.curItem, 4);
    EXPECT_EQ(r.csPort, QString());
    EXPECT_EQ(r.favWidth, 77);
    EXPECT_EQ(r.hltvPort, u"27021");
    EXPECT_FALSE(r.scanOld);
    EXPECT_EQ(r.delay, 0);
    EXPECT_TRUE(r.trans);
    EXPECT_TRUE(r.favAutoScan);
    EXPECT_EQ(r.updInterval, 60);
    EXPECT_EQ(r.curPage, 2);
    EXPECT_FALSE(r.broadcast);
    EXPECT_EQ(r.transLevel, 200);
    EXPECT_FALSE(r.doubleClick);
    EXPECT_EQ(r.paramChoices, s.paramChoices);
    ASSERT_EQ(r.ranges.size(), 2);
    EXPECT_FALSE(r.ranges[0].checked);
    EXPECT_TRUE(r.ranges[1].checked);
    EXPECT_EQ(r.ranges[1].to, u"10.0.3.255");
    ASSERT_EQ(r.favourites.size(), 2);
    EXPECT_EQ(r.favourites[1].address, u"10.0.0.1");
    EXPECT_EQ(r.favourites[1].port, u"27016");
}

TEST_F(StoredSettingsTest, OutOfRangeValuesAreClampedAsTheControlsDo)
{
    writeRaw("[Settings]\nUpdInterval=3\nDelay=99\nFavWidth=500\nGameType=5\nTransLevel=300\nCurItem=9\n");
    StoredSettings s = load();
    EXPECT_EQ(s.updInterval, 10);
    EXPECT_EQ(s.delay, 30);
    EXPECT_EQ(s.favWidth, 110);
    EXPECT_EQ(s.gameType, 1);
    EXPECT_EQ(s.transLevel, 255);
    EXPECT_EQ(s.curItem, -1);
    writeRaw("[Settings]\nUpdInterval=90\nDelay=-4\nFavWidth=1\nGameType=-7\nTransLevel=0\nCurItem=-2\n");
    s = load();
    EXPECT_EQ(s.updInterval, 60);
    EXPECT_EQ(s.delay, 0);
    EXPECT_EQ(s.favWidth, 70);
    EXPECT_EQ(s.gameType, -1);
    EXPECT_EQ(s.transLevel, MinimumVisibleLevel);
    EXPECT_EQ(s.curItem, -1);
    writeRaw("[Settings]\nTransLevel=30\nDelay=junk\nHeight=0x100\n");
    s = load();
    EXPECT_EQ(s.transLevel, 30); // kept until the general page raises it
    EXPECT_EQ(s.delay, 5);
    EXPECT_EQ(s.windowSize.height(), 256);
}

TEST_F(StoredSettingsTest, FavouritesLoadInFileOrderWhateverTheirNumbers)
{
    writeRaw("[Favorites]\n10.0.0.1 3=27020\n10.0.0.9=27015\n10.0.0.1 0=27015\n10.0.0.1 1=27016\nbad port "
             "7=abc\n");
    const StoredSettings s = load();
    ASSERT_EQ(s.favourites.size(), 5);
    EXPECT_EQ(s.favourites[0].address, u"10.0.0.1");
    EXPECT_EQ(s.favourites[0].port, u"27020");
    EXPECT_EQ(s.favourites[1].address, u"10.0.0.9"); // no blank: the whole key
    EXPECT_EQ(s.favourites[3].port, u"27016");
    EXPECT_EQ(s.favourites[4].address, u"bad"); // hand edits load as they are
    EXPECT_EQ(s.favourites[4].port, u"abc");
}

TEST_F(StoredSettingsTest, RangeChecksAndCountsAsStored)
{
    writeRaw(
        "[Ranges]\nRanges=2\nRangeFrom0=10.0.0.1\nRangeTo0=10.0.0.9\nRangeFrom1=10.0.1.1\nRangeTo1=10.0.1.9\n"
        "RangeFrom2=10.0.2.1\nRangeTo2=10.0.2.9\nChecked=10\n");
    const StoredSettings s = load();
    ASSERT_EQ(s.ranges.size(), 2); // keys above the count stay unread
    EXPECT_TRUE(s.ranges[0].checked);
    EXPECT_FALSE(s.ranges[1].checked);
}

TEST_F(StoredSettingsTest, HandEditedRangeCountsAndChecksLoseNothingAtTheNextShutdown)
{
    // A count that is no number, a check text shorter than the rows, a port that is no number.
    writeRaw("[Ranges]\nRanges=two\nRangeFrom0=10.0.0.1\nRangeTo0=10.0.0.9\nRangeFrom1=10.0.1.1\nRangeTo1=10."
             "0.1.9\n"
             "Checked=1\n[Favorites]\n10.0.0.5 0=27015\n[Settings]\nCSPort=abc\nHLTVPort=270201\n");
    StoredSettings s = load();
    ASSERT_EQ(s.ranges.size(), 2);
    EXPECT_TRUE(s.ranges[0].checked);
    EXPECT_FALSE(s.ranges[1].checked); // no character for it
    EXPECT_EQ(s.csPort, u"abc");
    EXPECT_EQ(s.hltvPort, u"270201");
    ASSERT_EQ(s.favourites.size(), 1);
    {
        IniFile ini(path());
        saveStoredSettings(ini, s);
    }
    s = load();
    EXPECT_EQ(s.ranges.size(), 2);
    EXPECT_EQ(s.favourites.size(), 1);
    EXPECT_EQ(s.hltvPort, u"270201");
    EXPECT_TRUE(readRaw().contains("Ranges=2\n"));
    EXPECT_TRUE(readRaw().contains("Checked=10\n"));
}

TEST_F(StoredSettingsTest, TheCountRulesTheRowsMissingKeysLoadEmpty)
{
    // Row 1 lost its keys by hand: it still loads, empty and unchecked, and row 2 keeps its place.
    writeRaw("[Ranges]\nRanges=3\nRangeFrom0=10.0.0.1\nRangeTo0=10.0.0.9\nRangeFrom2=10.0.2.1\n"
             "RangeTo2=10.0.2.9\nChecked=101\n");
    StoredSettings s = load();
    ASSERT_EQ(s.ranges.size(), 3);
    EXPECT_EQ(s.ranges[1].from, QString());
    EXPECT_EQ(s.ranges[1].to, QString());
    EXPECT_FALSE(s.ranges[1].checked);
    EXPECT_EQ(s.ranges[2].from, u"10.0.2.1");
    EXPECT_TRUE(s.ranges[2].checked);
    writeRaw("[Ranges]\nRanges=2\n");
    EXPECT_EQ(load().ranges.size(), 2);
}

TEST_F(StoredSettingsTest, NegativeCountsLoadNothingAndHugeOnesMakeNoEmptyRows)
{
    writeRaw("[Ranges]\nRanges=-3\nRangeFrom0=10.0.0.1\nRangeTo0=10.0.0.9\n");
    EXPECT_EQ(load().ranges.size(), 0);
    writeRaw("[Ranges]\nRanges=0\nRangeFrom0=10.0.0.1\nRangeTo0=10.0.0.9\nChecked=\n");
    EXPECT_EQ(load().ranges.size(), 0);
    writeRaw("[Ranges]\nRangeFrom999999999=10.0.0.1\n");
    EXPECT_EQ(load().ranges.size(), 0); // count absent: 0
    // Past what a check text can cover the count is damage: the rows the file holds, below it.
    writeRaw("[Ranges]\nRanges=2000000000\nRangeFrom0=10.0.0.1\nRangeTo0=10.0.0.9\nChecked=1\n");
    StoredSettings s = load();
    ASSERT_EQ(s.ranges.size(), 1);
    EXPECT_TRUE(s.ranges[0].checked);
    writeRaw("[Ranges]\nRanges=2047\n");
    EXPECT_EQ(load().ranges.size(), 2047);
}

TEST_F(StoredSettingsTest, RunningRangeWritesKeepHigherRowsUntilShutdown)
{
    IniFile ini(path());
    const QVector<AddressRange> two{{true, QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2")},
                                    {false, QStringLiteral("10.0.1.1"), QStringLiteral("10.0.1.2")}};
    saveRanges(ini, two);
    saveRanges(ini, {});
    EXPECT_EQ(readRaw(), QByteArray("[Ranges]\nRanges=0\nRangeFrom0=10.0.0.1\nRangeTo0=10.0.0.2\n"
                                    "RangeFrom1=10.0.1.1\nRangeTo1=10.0.1.2\nChecked=\n"));
    EXPECT_TRUE(load().ranges.isEmpty());
    saveStoredSettings(ini, loadStoredSettings(ini));
    EXPECT_TRUE(readRaw().contains("[Ranges]\nChecked=\n[Settings]"));
}

TEST_F(StoredSettingsTest, HandAddedParamChoiceReplacesTheBuiltInOnes)
{
    writeRaw("[Params]\n-nojoy=\n-Freq 60=\n");
    EXPECT_EQ(load().paramChoices, (QStringList{QStringLiteral("-nojoy"), QStringLiteral("-Freq 60")}));
    writeRaw("[Params]\n");
    EXPECT_EQ(load().paramChoices.size(), 11);
}

TEST_F(StoredSettingsTest, LongFavouriteSectionsLoseNoKeys)
{
    QByteArray file = "[Favorites]\n";
    for (int i = 0; i < 2000; ++i)
        file += "10.0." + QByteArray::number(i / 250) + "." + QByteArray::number(i % 250 + 1) + " " +
                QByteArray::number(i) + "=27015\n";
    writeRaw(file);
    StoredSettings s = load();
    ASSERT_EQ(s.favourites.size(), 2000);
    {
        IniFile ini(path());
        saveStoredSettings(ini, s);
    }
    EXPECT_EQ(load().favourites.size(), 2000);
}

TEST(SettingsTable, KeysAreInShutdownOrderWithTheirDefaults)
{
    using namespace vantry::settings;
    QStringList names;
    for (const KeySpec& k : keyTable()) {
        if (k.section == SectionSettings)
            names.append(k.name.toString());
    }
    EXPECT_EQ(names.join(u','),
              QStringLiteral("Height,Width,TransLevel,CSPort,Trans,DoubleClick,HLTVPort,Broadcast,"
                             "ScanOld,FavAutoScan,UpdInterval,Delay,CurItem,CurPage,FavWidth,"
                             "GameType"));
    EXPECT_EQ(defaultStartParams(4), QStringLiteral("-steam -game cstrike -console"));
    EXPECT_EQ(defaultStartParams(6), QString());
    EXPECT_EQ(defaultStartParams(-1), QString());
    EXPECT_EQ(builtInParamChoices().size(), 11);
    EXPECT_EQ(builtInParamChoices().at(7), QStringLiteral("-freq 100"));
}
