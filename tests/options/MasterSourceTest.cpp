// The public server lists on the scanning page, as the user sets them with mouse and keys, and
// their section of the settings file: written after every other section, owner-only once it holds
// the key, and absent from older files without changing how those load and are written back.
#include "Controls.h"
#include "OptionsFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

using namespace vantry::options;
using vantry::test::clickButton;
using vantry::test::control;
using vantry::test::OptionsFixture;

namespace {

constexpr QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions Shared = OwnerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther;

// A file as an earlier version wrote it at exit: every section but "Master".
const QByteArray OlderFile =
    "[Password]\nLastPass=\nShowPass=1\n"
    "[Ranges]\nRanges=2\nRangeFrom0=10.0.0.1\nRangeTo0=10.0.0.254\nRangeFrom1=10.0.1.1\n"
    "RangeTo1=10.0.1.9\nChecked=10\n"
    "[Settings]\nHeight=400\nWidth=800\nTransLevel=200\nCSPort=27016\nTrans=0\nDoubleClick=0\n"
    "HLTVPort=27021\nBroadcast=0\nScanOld=1\nFavAutoScan=0\nUpdInterval=20\nDelay=9\n"
    "CurItem=2\nCurPage=1\nFavWidth=90\nGameType=1\n"
    "ExePath0=\nParam0=-console\nExePath1=\nParam1=-game cstrike -console\n"
    "ExePath2=/games/hl.exe\nParam2=-game cstrike -noipx\nExePath3=\nParam3=-game czero\n"
    "ExePath4=\nParam4=-steam -game cstrike -console\nExePath5=\nParam5=-steam -game hl2mp\n"
    "[Params]\n-console=\n-nojoy=\n"
    "[Favorites]\n10.0.0.5 0=27015\n10.0.0.5 1=27016\n";

class MasterPage : public OptionsFixture
{
protected:
    void showScanPage()
    {
        dialog().show();
        QTabBar* tabs = control<QTabWidget>(dialog(), "PageControl")->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        ASSERT_TRUE(control<QCheckBox>(dialog(), "CBMaster")->isVisible());
    }
    void typeMaster(const QString& text)
    {
        QLineEdit* edit = control<QLineEdit>(dialog(), "EditMaster");
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }
    void clickRow(QTreeWidget* list, int row)
    {
        const QRect rect = list->visualItemRect(list->topLevelItem(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }
    // On the box's label, where a user clicks it.
    static void clickBox(QCheckBox* box)
    {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        const QRect label = box->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &option, box);
        QTest::mouseClick(box, Qt::LeftButton, {}, label.center());
    }
    QStringList masters() const { return dialog().masterSource().masters; }
    QFileDevice::Permissions permissions() const
    {
        return QFile::permissions(path()) & (OwnerOnly | QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                             QFileDevice::ReadOther | QFileDevice::WriteOther);
    }
    const TSettings& dialog() const { return *m_dialog; }
    using OptionsFixture::dialog;
};

} // namespace

TEST_F(MasterPage, OlderFileLoadsAsBeforeAndGainsTheSectionAfterAllOthers)
{
    writeRaw(OlderFile);
    QFile::setPermissions(path(), Shared);
    TSettings& d = create();
    EXPECT_FALSE(control<QCheckBox>(d, "CBMaster")->isChecked()) << "off unless the user ticks it";
    EXPECT_TRUE(control<QLineEdit>(d, "EditSteamKey")->text().isEmpty());
    EXPECT_EQ(control<QComboBox>(d, "CBRegion")->currentData().toInt(), 0xFF);
    EXPECT_EQ(control<QTreeWidget>(d, "LWMasters")->topLevelItemCount(), 0);
    EXPECT_EQ(d.delayMs(), 9);
    EXPECT_EQ(d.favouriteCount(), 2);
    destroy();
    EXPECT_EQ(readRaw(), OlderFile + "[Master]\nEnabled=0\nSteamKey=\nApiUrl=https://api.steampowered.com\n"
                                     "Region=255\nPace=3000\nMasters=0\n");
    EXPECT_EQ(permissions(), Shared) << "nothing secret in it";
}

TEST_F(MasterPage, SourceSetWithMouseAndKeysSurvivesARestartAndTheKeyMakesTheFileOwnerOnly)
{
    writeRaw("[Settings]\nDelay=7\n");
    QFile::setPermissions(path(), Shared);
    TSettings& d = create();
    showScanPage();

    clickBox(control<QCheckBox>(d, "CBMaster"));
    EXPECT_TRUE(control<QCheckBox>(d, "CBMaster")->isChecked());

    QTest::mouseClick(control<QLineEdit>(d, "EditSteamKey"), Qt::LeftButton);
    QTest::keyClicks(control<QLineEdit>(d, "EditSteamKey"),
                     QStringLiteral(" 0123456789ABCDEF0123456789ABCDEF "));
    EXPECT_FALSE(control<QLineEdit>(d, "EditSteamKey")->displayText().contains(QStringLiteral("0123")))
        << "hidden as typed";
    clickBox(control<QCheckBox>(d, "CBShowKey"));
    EXPECT_EQ(control<QLineEdit>(d, "EditSteamKey")->displayText(),
              QStringLiteral(" 0123456789ABCDEF0123456789ABCDEF "));
    clickBox(control<QCheckBox>(d, "CBShowKey"));
    EXPECT_NE(control<QLineEdit>(d, "EditSteamKey")->displayText(),
              control<QLineEdit>(d, "EditSteamKey")->text());

    // Down four times from every region: Europe.
    control<QComboBox>(d, "CBRegion")->setFocus();
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(control<QComboBox>(d, "CBRegion"), Qt::Key_Down);
    EXPECT_EQ(control<QComboBox>(d, "CBRegion")->currentData().toInt(), 3);

    typeMaster(QStringLiteral("127.0.0.1:27900"));
    clickButton(d, "SBMasterAdd");
    typeMaster(QStringLiteral("master.example.org"));
    QTest::keyClick(control<QLineEdit>(d, "EditMaster"),
                    Qt::Key_Return); // Enter adds too, at the usual master port
    typeMaster(QStringLiteral("127.0.0.3:27011"));
    clickButton(d, "SBMasterAdd");
    EXPECT_EQ(masters(),
              (QStringList{QStringLiteral("127.0.0.1:27900"), QStringLiteral("master.example.org:27011"),
                           QStringLiteral("127.0.0.3:27011")}));
    EXPECT_TRUE(control<QLineEdit>(d, "EditMaster")->text().isEmpty());
    EXPECT_TRUE(m_prompter.boxes.empty());

    // The second of three deleted: the row above is selected, and goes next.
    clickRow(control<QTreeWidget>(d, "LWMasters"), 1);
    clickButton(d, "SBMasterDel");
    EXPECT_EQ(masters(), (QStringList{QStringLiteral("127.0.0.1:27900"), QStringLiteral("127.0.0.3:27011")}));
    clickButton(d, "SBMasterDel");
    EXPECT_EQ(masters(), QStringList{QStringLiteral("127.0.0.3:27011")});

    destroy();
    const QByteArray file = readRaw();
    EXPECT_TRUE(file.endsWith("[Master]\nEnabled=1\nSteamKey=0123456789ABCDEF0123456789ABCDEF\n"
                              "ApiUrl=https://api.steampowered.com\nRegion=3\nPace=3000\nMasters=1\n"
                              "Master0=127.0.0.3:27011\n"))
        << file.toStdString();
    EXPECT_EQ(permissions(), OwnerOnly) << "the file holds the key";

    TSettings& again = create();
    EXPECT_TRUE(control<QCheckBox>(again, "CBMaster")->isChecked());
    EXPECT_EQ(control<QLineEdit>(again, "EditSteamKey")->text(),
              QStringLiteral("0123456789ABCDEF0123456789ABCDEF"));
    EXPECT_EQ(control<QLineEdit>(again, "EditSteamKey")->echoMode(), QLineEdit::Password)
        << "shown only on request";
    EXPECT_EQ(control<QComboBox>(again, "CBRegion")->currentData().toInt(), 3);
    EXPECT_EQ(again.masterSource().masters, QStringList{QStringLiteral("127.0.0.3:27011")});
    EXPECT_EQ(again.delayMs(), 7);
}

TEST_F(MasterPage, TypedMastersThatCannotBeAskedAreRefusedWithTheirReason)
{
    TSettings& d = create();
    showScanPage();
    typeMaster(QStringLiteral("127.0.0.1:27011"));
    clickButton(d, "SBMasterAdd");
    for (const QString& bad :
         {QStringLiteral("127.0.0.1:0"), QStringLiteral("127.0.0.1:65536"), QStringLiteral("300.1.1.1:27011"),
          QStringLiteral("0.0.0.0:27011"), QStringLiteral("two words:27011"), QStringLiteral(":27011"),
          QStringLiteral("host:27o11")}) {
        typeMaster(bad);
        clickButton(d, "SBMasterAdd");
        EXPECT_EQ(lastBox().caption, QStringLiteral("Error")) << bad.toStdString();
        EXPECT_EQ(lastBox().text, QStringLiteral("Incorrect master server: use host:port"))
            << bad.toStdString();
        EXPECT_EQ(control<QLineEdit>(d, "EditMaster")->text(), bad) << "kept for mending";
    }
    typeMaster(QStringLiteral(" 127.0.0.1 "));
    clickButton(d, "SBMasterAdd");
    EXPECT_EQ(lastBox().text, QStringLiteral("This master server is already in the list"));
    EXPECT_EQ(masters(), QStringList{QStringLiteral("127.0.0.1:27011")});
}

TEST_F(MasterPage, HandEditedSectionLoadsWhatItCanMean)
{
    writeRaw("[Master]\nEnabled=1\nRegion=42\nPace=-5\nApiUrl=\nMasters=4\nMaster0=127.0.0.1:27011\n"
             "Master2=127.0.0.2:27011\nMaster7=127.0.0.7:27011\n");
    TSettings& d = create();
    const MasterSource s = d.masterSource();
    EXPECT_TRUE(s.enabled);
    EXPECT_EQ(s.region, 0xFF) << "a region no master knows";
    EXPECT_EQ(s.paceMs, 0);
    EXPECT_EQ(s.apiUrl, QStringLiteral("https://api.steampowered.com"));
    EXPECT_EQ(s.masters, (QStringList{QStringLiteral("127.0.0.1:27011"), QStringLiteral("127.0.0.2:27011")}))
        << "the rows the count names and the file holds";
    destroy();
    EXPECT_TRUE(readRaw().endsWith("Masters=2\nMaster0=127.0.0.1:27011\nMaster1=127.0.0.2:27011\n"));
}

TEST_F(MasterPage, ListRateTypedSurvivesARestartAndTheDefaultLeavesTheFileAlone)
{
    writeRaw("[Settings]\nDelay=7\n");
    TSettings& d = create();
    showScanPage();
    auto* rate = control<QSpinBox>(d, "SERate");
    EXPECT_EQ(d.listRate(), 0) << "automatic";
    EXPECT_EQ(rate->text(), rate->specialValueText()) << "and says so";
    ASSERT_TRUE(rate->isVisible()) << "near the master settings, on the scanning page";
    QTest::mouseClick(rate, Qt::LeftButton);
    QTest::keyClick(rate, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(rate, QStringLiteral("300"));
    QTest::keyClick(rate, Qt::Key_Tab);
    EXPECT_EQ(d.listRate(), 300) << "read live from the control";
    // More than the field takes stops at its top.
    QTest::keyClick(rate, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(rate, QStringLiteral("9999999"));
    QTest::keyClick(rate, Qt::Key_Tab);
    EXPECT_LE(d.listRate(), MaxListRate);
    QTest::keyClick(rate, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(rate, QStringLiteral("250"));
    QTest::keyClick(rate, Qt::Key_Tab);
    destroy();
    EXPECT_TRUE(readRaw().endsWith("[Lists]\nRate=250\n")) << readRaw().toStdString();
    EXPECT_EQ(create().listRate(), 250);

    // Back to the default: the section goes, and a file never changed keeps its bytes.
    QSpinBox* again = control<QSpinBox>(dialog(), "SERate");
    dialog().show();
    QTest::mouseClick(again, Qt::LeftButton);
    QTest::keyClick(again, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(again, QStringLiteral("0"));
    QTest::keyClick(again, Qt::Key_Tab);
    destroy();
    EXPECT_FALSE(readRaw().contains("[Lists]"));
}

TEST_F(MasterPage, HandEditedListRatesLoadAsSaneRates)
{
    const std::pair<const char*, int> cases[] = {
        {"0", 0},           // automatic, as the user asked
        {"-20", 0},         // nonsense: the default
        {"abc", 0},         // the same
        {"5000000", 100000} // more than a link takes: the top
    };
    for (const auto& [text, expected] : cases) {
        writeRaw(QByteArray("[Lists]\nRate=") + text + "\n");
        EXPECT_EQ(create().listRate(), expected) << text;
        destroy();
    }
}
