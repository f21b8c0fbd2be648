#include "Controls.h"
#include "OptionsFixture.h"
#include "base/IniFile.h"
#include "options/ui/PortEdit.h"
#include "ui/Transparency.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <csignal>
#include <sys/resource.h>

using namespace vantry::options;
using vantry::test::clickButton;
using vantry::test::control;
using vantry::test::OptionsFixture;
using vantry::test::pickItem;

namespace {

using OptionsDialog = OptionsFixture;

} // namespace

TEST_F(OptionsDialog, WithoutAFileTheDialogShowsTheDefaultsAndAnExitWritesThemAll)
{
    TSettings& d = create();
    EXPECT_EQ(m_host.mode, 0);
    EXPECT_EQ(m_host.size, QSize(680, 351));
    EXPECT_EQ(control<QComboBox>(d, "CBGame")->currentText(), u"HL");
    EXPECT_TRUE(control<QLineEdit>(d, "EditExe")->text().isEmpty());
    EXPECT_EQ(control<QLineEdit>(d, "EditParam")->text(), u"-console");
    EXPECT_FALSE(control<QPushButton>(d, "BBSave")->isEnabled());
    EXPECT_TRUE(control<QCheckBox>(d, "CBDclick")->isChecked());
    EXPECT_FALSE(control<QCheckBox>(d, "CBTrans")->isChecked());
    EXPECT_FALSE(control<QSlider>(d, "TBTrans")->isEnabled());
    EXPECT_EQ(d.gamePort(), u"27015");
    EXPECT_EQ(d.hltvPort(), u"27020");
    EXPECT_EQ(d.delayMs(), 5);
    EXPECT_TRUE(d.broadcast());
    EXPECT_TRUE(d.scanOld());
    EXPECT_FALSE(d.autoScan());
    EXPECT_EQ(d.updateIntervalSec(), 10);
    EXPECT_EQ(control<QTabWidget>(d, "PageControl")->currentIndex(), 0);
    EXPECT_EQ(control<QComboBox>(d, "CBParams")->count(), 11);
    EXPECT_EQ(control<QComboBox>(d, "CBParams")->currentIndex(), -1);
    EXPECT_EQ(d.rangeCount(), 0);
    EXPECT_EQ(d.favouriteCount(), 0);
    EXPECT_FALSE(m_host.timer.enabled());
    EXPECT_FALSE(QFile::exists(path())); // loading creates no file
    destroy();
    const QByteArray file = readRaw();
    EXPECT_TRUE(file.startsWith("[Ranges]\nChecked=\n[Settings]\nHeight=351\nWidth=680\nTransLevel=255\n"));
    EXPECT_TRUE(file.contains("Param5=-steam -game hl2mp\n[Params]\n-console=\n"));
}

TEST_F(OptionsDialog, EverySettingMadeInTheDialogSurvivesARestart)
{
    TSettings& d = create();
    d.show(); // laid out, as a user meets it
    m_host.mode = 1;
    m_host.size = QSize(800, 500);
    pickItem(control<QComboBox>(d, "CBGame"), 2);
    auto* param = control<QLineEdit>(d, "EditParam");
    param->clear();
    QTest::keyClicks(param, QStringLiteral("-game cstrike -nojoy")); // typing enables the save button
    clickButton(d, "BBSave");
    control<PortEdit>(d, "CSport")->setText(QStringLiteral("27016"));
    control<PortEdit>(d, "HLTVport")->setText(QString());
    control<QSpinBox>(d, "SEDelay")->setValue(12);
    control<QCheckBox>(d, "CBBroadcast")->setChecked(false);
    control<QCheckBox>(d, "CBOld")->setChecked(false);
    control<QCheckBox>(d, "CBDclick")->setChecked(false);
    control<QCheckBox>(d, "CBTrans")->setChecked(true);
    control<QSlider>(d, "TBTrans")->setValue(180);
    control<QCheckBox>(d, "CBAutoUpdate")->setChecked(true);
    control<QSpinBox>(d, "SEUpdInterval")->setValue(33);
    control<QTabWidget>(d, "PageControl")->setCurrentIndex(2);
    control<QTreeWidget>(d, "LVFav")->setColumnWidth(0, 90);
    d.addFavourite({QStringLiteral("10.0.0.7"), QStringLiteral("27017")});
    destroy();

    m_host.reset();
    TSettings& r = create();
    EXPECT_EQ(m_host.mode, 1);
    EXPECT_EQ(m_host.size, QSize(800, 500));
    EXPECT_EQ(control<QComboBox>(r, "CBGame")->currentIndex(), 2);
    EXPECT_EQ(control<QLineEdit>(r, "EditParam")->text(), u"-game cstrike -nojoy");
    EXPECT_EQ(r.startParams(2), u"-game cstrike -nojoy");
    EXPECT_EQ(r.gamePort(), u"27016");
    EXPECT_EQ(r.hltvPort(), QString());
    EXPECT_EQ(r.delayMs(), 12);
    EXPECT_FALSE(r.broadcast());
    EXPECT_FALSE(r.scanOld());
    EXPECT_FALSE(r.doubleClickConnects());
    EXPECT_TRUE(control<QCheckBox>(r, "CBTrans")->isChecked());
    EXPECT_TRUE(control<QSlider>(r, "TBTrans")->isEnabled());
    EXPECT_EQ(vantry::ui::Transparency::level(), 180);
    EXPECT_TRUE(r.autoScan());
    EXPECT_EQ(r.updateIntervalSec(), 33);
    EXPECT_EQ(control<QTabWidget>(r, "PageControl")->currentIndex(), 2);
    EXPECT_EQ(control<QTreeWidget>(r, "LVFav")->columnWidth(0), 90);
    ASSERT_EQ(r.favouriteCount(), 1);
    EXPECT_EQ(r.favourites()[0].port, u"27017");
}

TEST_F(OptionsDialog, AutoScanAtStartUpRunsTheFirstPassAfter200Ms)
{
    writeRaw("[Settings]\nFavAutoScan=1\nUpdInterval=20\n");
    TSettings& d = create();
    EXPECT_TRUE(m_host.timer.enabled());
    EXPECT_EQ(m_host.timer.interval(), 200);
    EXPECT_EQ(m_host.status[2], u" Autoscan enabled");
    EXPECT_EQ(d.updateIntervalSec(), 20);
    m_host.status[0] = QStringLiteral(" 10.0.0.1");
    control<QCheckBox>(d, "CBAutoUpdate")->setChecked(false);
    EXPECT_FALSE(m_host.timer.enabled());
    EXPECT_EQ(m_host.status[0], QString());
    EXPECT_EQ(m_host.status[2], u" Autoscan disabled");
    control<QCheckBox>(d, "CBAutoUpdate")->setChecked(true);
    control<QSpinBox>(d, "SEUpdInterval")->setValue(11);
    EXPECT_EQ(m_host.timer.interval(), 11000);
}

TEST_F(OptionsDialog, UnsavedPathsAndParametersAreNotStoredButSavedOnesAre)
{
    TSettings& d = create();
    d.show();
    pickItem(control<QComboBox>(d, "CBGame"), 2);
    control<QLineEdit>(d, "EditParam")->setFocus();
    QTest::keyClicks(control<QLineEdit>(d, "EditParam"), QStringLiteral(" -x"));
    EXPECT_TRUE(control<QPushButton>(d, "BBSave")->isEnabled());
    pickItem(control<QComboBox>(d, "CBGame"), 3); // switching drops the edit without a question
    EXPECT_EQ(control<QLineEdit>(d, "EditParam")->text(), u"-game czero");
    EXPECT_EQ(d.startParams(2), u"-game cstrike");
    EXPECT_TRUE(control<QPushButton>(d, "BBSave")->isEnabled()); // keeps its state
    d.setExecutableChooser([](QFileDialog&) { return QStringLiteral("/opt/hl/hl.exe"); });
    clickButton(d, "SBExe");
    clickButton(d, "BBSave");
    EXPECT_EQ(d.gamePath(3), u"/opt/hl/hl.exe");
    EXPECT_FALSE(control<QPushButton>(d, "BBSave")->isEnabled());
    pickItem(control<QComboBox>(d, "CBGame"), 0);
    control<QLineEdit>(d, "EditParam")->setText(QStringLiteral("never saved"));
    destroy();
    const QByteArray file = readRaw();
    EXPECT_TRUE(file.contains("ExePath3=/opt/hl/hl.exe\nParam3=-game czero\n"));
    EXPECT_TRUE(file.contains("Param0=-console\n"));
    EXPECT_TRUE(file.contains("CurItem=0\n"));
}

TEST_F(OptionsDialog, ParameterKeysEnableSaveButDeleteAndArrowsDoNotAndEnterSaves)
{
    TSettings& d = create();
    d.show();
    control<QLineEdit>(d, "EditParam")->setFocus();
    QTest::keyClick(control<QLineEdit>(d, "EditParam"), Qt::Key_Home);
    QTest::keyClick(control<QLineEdit>(d, "EditParam"), Qt::Key_Delete);
    QTest::keyClick(control<QLineEdit>(d, "EditParam"), Qt::Key_Right);
    EXPECT_EQ(control<QLineEdit>(d, "EditParam")->text(), u"console");
    EXPECT_FALSE(control<QPushButton>(d, "BBSave")->isEnabled());
    QTest::keyClick(control<QLineEdit>(d, "EditParam"), Qt::Key_Return); // save disabled: nothing
    EXPECT_EQ(d.startParams(0), u"-console");
    QTest::keyClick(control<QLineEdit>(d, "EditParam"), Qt::Key_Backspace);
    EXPECT_TRUE(control<QPushButton>(d, "BBSave")->isEnabled());
    QTest::keyClick(control<QLineEdit>(d, "EditParam"), Qt::Key_Return);
    EXPECT_FALSE(control<QPushButton>(d, "BBSave")->isEnabled());
    EXPECT_EQ(d.startParams(0), u"onsole");
    EXPECT_TRUE(d.isVisible());
}

TEST_F(OptionsDialog, AddAndResetParameters)
{
    TSettings& d = create();
    d.show(); // laid out, as a user meets it
    pickItem(control<QComboBox>(d, "CBGame"), 2);
    clickButton(d, "BitBtn2"); // nothing picked
    EXPECT_EQ(control<QLineEdit>(d, "EditParam")->text(), u"-game cstrike");
    EXPECT_FALSE(control<QPushButton>(d, "BBSave")->isEnabled());
    control<QComboBox>(d, "CBParams")
        ->setCurrentIndex(control<QComboBox>(d, "CBParams")->findText(QStringLiteral("-freq 100")));
    clickButton(d, "BitBtn2");
    EXPECT_EQ(control<QLineEdit>(d, "EditParam")->text(), u"-game cstrike -freq 100");
    EXPECT_TRUE(control<QPushButton>(d, "BBSave")->isEnabled());
    clickButton(d, "BitBtn2");
    EXPECT_EQ(control<QLineEdit>(d, "EditParam")->text(), u"-game cstrike -freq 100 -freq 100");
    control<QLineEdit>(d, "EditParam")->clear();
    clickButton(d, "BitBtn2");
    EXPECT_EQ(control<QLineEdit>(d, "EditParam")->text(), u" -freq 100");
    clickButton(d, "BBSave");
    clickButton(d, "BitBtn1");
    EXPECT_EQ(control<QLineEdit>(d, "EditParam")->text(), u"-game cstrike");
    EXPECT_TRUE(control<QPushButton>(d, "BBSave")->isEnabled());
    clickButton(d, "BBSave");
    clickButton(d, "BitBtn1"); // already the default: the button stays as it was
    EXPECT_FALSE(control<QPushButton>(d, "BBSave")->isEnabled());
}

TEST_F(OptionsDialog, BrowseFiltersBySlotAndCancelChangesNothing)
{
    TSettings& d = create();
    d.show(); // laid out, as a user meets it
    QString filter;
    d.setExecutableChooser([&](QFileDialog& od) {
        filter = od.nameFilters().value(0);
        EXPECT_TRUE(od.testOption(QFileDialog::DontUseNativeDialog));
        return QString();
    });
    clickButton(d, "SBExe");
    EXPECT_EQ(filter, u"Half-Life (hl.exe hl_linux hl.sh) (HL.EXE hl_linux hl.sh)");
    EXPECT_TRUE(control<QLineEdit>(d, "EditExe")->text().isEmpty());
    EXPECT_FALSE(control<QPushButton>(d, "BBSave")->isEnabled());
    pickItem(control<QComboBox>(d, "CBGame"), 5);
    clickButton(d, "SBExe");
    EXPECT_EQ(filter, u"Half-Life2 (hl2.exe hl2_linux hl2.sh) (HL2.EXE hl2_linux hl2.sh)");
}

TEST_F(OptionsDialog, GameSlotOutsideTheListLeavesNoSelectionAndTouchesNoSlot)
{
    writeRaw("[Settings]\nCurItem=9\nExePath0=/a\n");
    TSettings& d = create();
    d.show(); // laid out, as a user meets it
    EXPECT_EQ(control<QComboBox>(d, "CBGame")->currentIndex(), -1);
    EXPECT_TRUE(control<QLineEdit>(d, "EditExe")->text().isEmpty());
    EXPECT_TRUE(control<QLineEdit>(d, "EditParam")->text().isEmpty());
    clickButton(d, "BitBtn1");
    EXPECT_TRUE(control<QLineEdit>(d, "EditParam")->text().isEmpty());
    QTest::keyClicks(control<QLineEdit>(d, "EditParam"), QStringLiteral("x"));
    clickButton(d, "BBSave");
    for (int slot = 0; slot < GameSlotCount; ++slot)
        EXPECT_NE(d.startParams(slot), u"x");
    EXPECT_EQ(d.gamePath(0), u"/a");
    EXPECT_EQ(d.gamePath(6), QString());
    destroy();
    EXPECT_TRUE(readRaw().contains("CurItem=-1\n"));
    EXPECT_TRUE(readRaw().contains("ExePath0=/a\n"));
}

TEST_F(OptionsDialog, LowStoredLevelIsKeptUntilTheGeneralPageRaisesItTo50)
{
    writeRaw("[Settings]\nTrans=1\nTransLevel=30\nCurPage=1\n");
    TSettings& d = create();
    EXPECT_EQ(vantry::ui::Transparency::level(), 30);
    d.show();
    EXPECT_EQ(vantry::ui::Transparency::level(), 30); // the scanning page is the one shown
    // The track bar already stands at its minimum, so setting 30 changes no position.
    control<QSlider>(d, "TBTrans")->blockSignals(true);
    control<QSlider>(d, "TBTrans")->setValue(50);
    control<QSlider>(d, "TBTrans")->blockSignals(false);
    control<QTabWidget>(d, "PageControl")->setCurrentIndex(0);
    EXPECT_EQ(vantry::ui::Transparency::level(), 50);
    EXPECT_NEAR(d.windowOpacity(), 50 / 255.0, 0.01);
}

TEST_F(OptionsDialog, StoredLevelSurvivesARunThatNeverShowsTheGeneralPage)
{
    writeRaw("[Settings]\nTransLevel=200\n");
    create();
    destroy();
    EXPECT_TRUE(readRaw().contains("TransLevel=200\n"));
}

TEST_F(OptionsDialog, TransparencySwitchAndLevelReachTheWindowsAtOnce)
{
    TSettings& d = create();
    QWidget about;
    vantry::ui::Transparency::registerWindow(&about);
    d.show();
    control<QCheckBox>(d, "CBTrans")->setChecked(true);
    EXPECT_TRUE(control<QSlider>(d, "TBTrans")->isEnabled());
    control<QSlider>(d, "TBTrans")->setValue(102);
    EXPECT_NEAR(m_main.windowOpacity(), 0.4, 0.01);
    EXPECT_NEAR(d.windowOpacity(), 0.4, 0.01);
    EXPECT_NEAR(about.windowOpacity(), 0.4, 0.01);
    control<QCheckBox>(d, "CBTrans")->setChecked(false);
    EXPECT_FALSE(control<QSlider>(d, "TBTrans")->isEnabled());
    EXPECT_DOUBLE_EQ(m_main.windowOpacity(), 1.0);
    EXPECT_DOUBLE_EQ(about.windowOpacity(), 1.0);
    // A window that is not registered takes the settings when it is shown.
    vantry::ui::Transparency::setOn(true);
    QWidget later;
    vantry::ui::Transparency::applyOnShow(&later);
    EXPECT_NEAR(later.windowOpacity(), 0.4, 0.01);
}

TEST_F(OptionsDialog, HiddenOnCloseAndSaveButtonDisabledAtEachShow)
{
    TSettings& d = create();
    d.show();
    control<QPushButton>(d, "BBSave")->setEnabled(true);
    d.close();
    EXPECT_FALSE(d.isVisible());
    d.show();
    EXPECT_FALSE(control<QPushButton>(d, "BBSave")->isEnabled());
    EXPECT_FALSE(d.isModal());
}

namespace {

// Files may grow to at most `bytes` while it lives.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_old{};
    void (*m_handler)(int) = nullptr;
};

} // namespace

TEST_F(OptionsDialog, RefusedShutdownWriteIsReportedAndTheOldFileKept)
{
    writeRaw("[Favorites]\n10.0.0.1 0=27015\n");
    TSettings& d = create();
    d.addFavourite({QStringLiteral("10.0.0.2"), QStringLiteral("27015")});
    {
        FileSizeLimit limit(40);
        destroy();
    }
    const auto box = lastBox();
    EXPECT_EQ(box.text, QStringLiteral("Unable to write to ") + QDir::toNativeSeparators(path()) + u'.');
    EXPECT_EQ(box.icon, vantry::BoxIcon::Error);
    EXPECT_EQ(readRaw(), QByteArray("[Favorites]\n10.0.0.1 0=27015\n"));
}

TEST_F(OptionsDialog, ScanModeIsStoredAtEachChangeAndTheStoreServesOtherSections)
{
    TSettings& d = create();
    d.storeScanMode(1);
    EXPECT_EQ(readRaw(), QByteArray("[Settings]\nGameType=1\n"));
    d.store().writeString(QStringLiteral("Password"), QStringLiteral("LastPass"), QStringLiteral("pw"));
    destroy();
    m_host.reset();
    create();
    EXPECT_EQ(m_host.mode, 0); // the shutdown wrote the host's mode
    EXPECT_TRUE(readRaw().startsWith("[Password]\nLastPass=pw\n"));
}

TEST_F(OptionsDialog, ADialogThatNeverLoadedDoesNotOverwriteTheFile)
{
    writeRaw("[Favorites]\n10.0.0.1 0=27015\n");
    {
        TSettings never(m_host, &m_main);
    }
    EXPECT_EQ(readRaw(), QByteArray("[Favorites]\n10.0.0.1 0=27015\n"));
}

TEST_F(OptionsDialog, UnknownStoredPageLeavesNoPageActiveUntilTheUserPicksOne)
{
    const auto pagesShown = [](TSettings& d) {
        return int(control<QWidget>(d, "TS1")->isVisible()) + int(control<QWidget>(d, "TS2")->isVisible()) +
               int(control<QWidget>(d, "TS3")->isVisible());
    };
    const auto clickTab = [](TSettings& d, int index) {
        QTabBar* tabs = control<QTabWidget>(d, "PageControl")->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center());
    };

    writeRaw("[Settings]\nCurPage=7\nTrans=1\nTransLevel=30\n");
    TSettings& d = create();
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    EXPECT_EQ(pagesShown(d), 0) << "a page outside 0..2 leaves no page active";
    EXPECT_EQ(vantry::ui::Transparency::level(), 30)
        << "the general page was never shown, so it raised nothing";
    destroy();
    EXPECT_TRUE(readRaw().contains("CurPage=-1\n")) << "no active page is written as such";

    // The tab that stands current in name is picked by a click like any other.
    TSettings& again = create();
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    EXPECT_EQ(pagesShown(again), 0);
    clickTab(again, control<QTabWidget>(again, "PageControl")->currentIndex());
    EXPECT_EQ(pagesShown(again), 1);
    EXPECT_TRUE(control<QTabWidget>(again, "PageControl")->currentWidget()->isVisible());
    clickTab(again, 2);
    EXPECT_TRUE(control<QWidget>(again, "TS3")->isVisible());
    destroy();
    EXPECT_TRUE(readRaw().contains("CurPage=2\n"));

    writeRaw("[Settings]\nCurPage=-1\n");
    TSettings& other = create();
    other.show();
    EXPECT_EQ(pagesShown(other), 0);
    clickTab(other, 1);
    EXPECT_TRUE(control<QWidget>(other, "TS2")->isVisible());
    EXPECT_EQ(pagesShown(other), 1);
    destroy();
    EXPECT_TRUE(readRaw().contains("CurPage=1\n"));
}

TEST_F(OptionsDialog, EveryControlIsReachedByItsOwnNameAndNoOtherControlSharesIt)
{
    TSettings& d = create();
    const char* const names[] = {
        "PageControl",  "TS1",          "TS2",          "TS3",         "CBGame",       "EditExe",
        "SBExe",        "EditParam",    "CBParams",     "BitBtn2",     "BitBtn1",      "BBSave",
        "CBDclick",     "CBTrans",      "TBTrans",      "OD",          "CBBroadcast",  "CBOld",
        "SpeedButton1", "SpeedButton2", "LWranges",     "IPE1",        "IPE2",         "SpeedButton3",
        "SBDel",        "SBAdd",        "Ports",        "CSport",      "HLTVport",     "GroupBox1",
        "SEDelay",      "CBMaster",     "EditSteamKey", "CBShowKey",   "CBRegion",     "LWMasters",
        "EditMaster",   "SBMasterDel",  "SBMasterAdd",  "LVFav",       "CBAutoUpdate", "SEUpdInterval",
        "GHIP",         "MEPort",       "SpeedButton5", "SpeedButton4"};
    for (const char* name : names)
        EXPECT_EQ(d.findChildren<QObject*>(QString::fromLatin1(name)).size(), 1) << name;
}

namespace {

// Types the path into the open file dialog's name field and presses Enter, as soon as the dialog
// is up; Enter again while it stays up (a completion list may take the first one).
void typeIntoFileDialogSoon(QObject* context, const QString& path, int* enters)
{
    auto* timer = new QTimer(context);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, context, [timer, path, enters] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) {
            if (*enters > 0) {
                timer->stop();
                timer->deleteLater();
            }
            return;
        }
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!name || *enters >= 5)
            return;
        if (*enters == 0)
            QTest::keyClicks(name, path);
        ++*enters;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    timer->start();
}

} // namespace

TEST_F(OptionsDialog,
       APathTypedInTheFileDialogIsKeptAtOnceTheNextClickIsNotLostAndUnsavedParametersAreDropped)
{
    QTemporaryDir games;
    for (const char* name : {"hl_linux", "hl.sh", "hl2_linux", "hlds_run"}) {
        QFile file(games.filePath(QLatin1String(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QString picked = games.filePath(QStringLiteral("hl_linux"));
    TSettings& d = create();
    d.show();
    QApplication::setActiveWindow(&d);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    pickItem(control<QComboBox>(d, "CBGame"), 2);

    // The real file dialog, its name typed by the user.
    int enters = 0;
    typeIntoFileDialogSoon(&d, picked, &enters);
    clickButton(d, "SBExe");
    ASSERT_EQ(control<QLineEdit>(d, "EditExe")->text(), picked);
    EXPECT_EQ(enters, 1) << "Enter in the name field did not accept the dialog at once";
    // The folder the dialog read in the background comes in meanwhile.
    EXPECT_FALSE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 500));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "a popup outlived the file dialog";
    EXPECT_EQ(d.gamePath(2), picked) << "a picked path needs no «Сохранить»";
    EXPECT_FALSE(control<QPushButton>(d, "BBSave")->isEnabled());
    QTest::mouseClick(control<QLineEdit>(d, "EditParam"), Qt::LeftButton);
    QTest::keyClicks(control<QLineEdit>(d, "EditParam"), QStringLiteral(" -w"));
    QTest::mouseClick(control<QPushButton>(d, "BBSave"), Qt::LeftButton);
    EXPECT_EQ(d.startParams(2), u"-game cstrike -w") << "the click on «Сохранить» was lost";

    // Another pick, and the dialog closed at once: shown again, it shows the new path, kept.
    d.setExecutableChooser([&](QFileDialog&) { return games.filePath(QStringLiteral("hl.sh")); });
    clickButton(d, "SBExe");
    QTest::keyClick(&d, Qt::Key_Escape);
    ASSERT_FALSE(d.isVisible());
    d.show();
    EXPECT_EQ(control<QLineEdit>(d, "EditExe")->text(), games.filePath(QStringLiteral("hl.sh")));
    EXPECT_EQ(d.gamePath(2), games.filePath(QStringLiteral("hl.sh")));
    EXPECT_FALSE(control<QPushButton>(d, "BBSave")->isEnabled());
    // The same for the parameters typed and left unsaved.
    control<QLineEdit>(d, "EditParam")->setFocus();
    QTest::keyClicks(control<QLineEdit>(d, "EditParam"), QStringLiteral(" -dev"));
    d.close();
    d.show();
    EXPECT_EQ(control<QLineEdit>(d, "EditParam")->text(), d.startParams(2));
}

TEST_F(OptionsDialog, LaunchWrapperIsTypedPerGameKeptBySaveAndLeavesAFileWithoutOneAsItWas)
{
    // A file of a user who never set a wrapper keeps its bytes: no section appears for nothing.
    // CS 1.6 chosen, as it stays below (the chosen game is saved too).
    pickItem(control<QComboBox>(create(), "CBGame"), 2);
    destroy();
    const QByteArray untouched = readRaw();
    EXPECT_FALSE(untouched.contains("[Launch]"));

    TSettings& e = create();
    e.show();
    pickItem(control<QComboBox>(e, "CBGame"), 2);
    auto* wrapper = control<QLineEdit>(e, "EditWrapper");
    wrapper->setFocus();
    QTest::keyClicks(wrapper, QStringLiteral("gamemoderun %command%"));
    EXPECT_TRUE(control<QPushButton>(e, "BBSave")->isEnabled()) << "typing is an edit to save";
    EXPECT_EQ(e.launchWrapper(2), QString()) << "nothing counts before «Сохранить»";
    clickButton(e, "BBSave");
    EXPECT_EQ(e.launchWrapper(2), u"gamemoderun %command%");
    EXPECT_EQ(e.launchWrapper(0), QString()) << "each game has its own";
    // Another game shows its own (empty) field; back on CS 1.6 the wrapper is there again.
    pickItem(control<QComboBox>(e, "CBGame"), 0);
    EXPECT_EQ(wrapper->text(), QString());
    pickItem(control<QComboBox>(e, "CBGame"), 2);
    EXPECT_EQ(wrapper->text(), u"gamemoderun %command%");
    destroy();

    const QByteArray written = readRaw();
    EXPECT_TRUE(written.startsWith(untouched)) << "the sections before it keep their bytes";
    EXPECT_TRUE(written.endsWith("[Launch]\nWrapper2=gamemoderun %command%\n")) << written.constData();

    TSettings& r = create();
    r.show();
    EXPECT_EQ(r.launchWrapper(2), u"gamemoderun %command%");
    // Cleared and saved: the section goes, and the file is as it was before.
    pickItem(control<QComboBox>(r, "CBGame"), 2);
    control<QLineEdit>(r, "EditWrapper")->setFocus();
    control<QLineEdit>(r, "EditWrapper")->selectAll();
    QTest::keyClick(control<QLineEdit>(r, "EditWrapper"), Qt::Key_Backspace);
    clickButton(r, "BBSave");
    destroy();
    EXPECT_EQ(readRaw().toStdString(), untouched.toStdString());
}
