// The windows of a user whose language is English: every text the windows, menus, lists, boxes
// and status bar show is English, and what the program compares of its own texts still works.
#include "Controls.h"
#include "WindowTexts.h"
#include "base/IntervalTimer.h"
#include "browser/DetailsModels.h"
#include "browser/ServerListModel.h"
#include "browser/ui/ListView.h"
#include "emu/EmuServer.h"
#include "launch/ui/MainWindowLink.h"
#include "launch/ui/TFormAuto.h"
#include "launch/ui/TFormPass.h"
#include "options/ui/Options.h"
#include "shell/About.h"
#include "shell/ScanGames.h"
#include "shell/Tray.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <gtest/gtest.h>

namespace vantry {
namespace {

using test::clickButton;
using test::control;
using test::triggerAction;

using test::ShownText;
using test::Windows;

QStringList actionTexts(const QWidget& owner)
{
    QStringList texts;
    for (const QAction* a : owner.actions())
        if (!a->isSeparator())
            texts << a->text();
    return texts;
}

QStringList headers(const QAbstractItemModel& model)
{
    QStringList texts;
    for (int c = 0; c < model.columnCount(); ++c)
        texts << model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    return texts;
}

QStringList textsOf(QWidget* widget)
{
    QStringList texts;
    for (const ShownText& t : test::shownTexts(widget))
        texts << t.text;
    return texts;
}

void clickTab(QTabWidget& tabs, int index)
{
    QTabBar* bar = tabs.tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
}

// A right click on the row, with the context menu event the platform sends with the press.
void rightClickRow(browser::ListView& list, int row)
{
    const QPoint at = list.visualRect(list.model()->index(row, 1)).center();
    QTest::mousePress(list.viewport(), Qt::RightButton, {}, at);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, list.viewport()->mapToGlobal(at));
    QApplication::sendEvent(list.viewport(), &menu);
    QTest::mouseRelease(list.viewport(), Qt::RightButton, {}, at);
}

TEST(English, NoVisibleTextOfAnyWindowMenuHeaderOrTabIsLeftInRussian)
{
    Windows w(UiLanguage::English);
    ASSERT_TRUE(w.translated()) << "the translation is built into the program";
    TForm1& form = w.form();
    form.show();
    // Every window open as the user opens them, the auto-connect dialog on a selected row.
    triggerAction(form, "Options1");
    triggerAction(form, "About1");
    test::listAndSelect(form, false);
    clickButton(form, "SBAuto");
    ASSERT_TRUE(w.shell().launch().autoForm().isVisible());
    w.shell().launch().passForm().show();
    rightClickRow(*control<vantry::browser::ListView>(form, "LW"), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return control<QMenu>(form, "PMServers")->isVisible(); }, 2000));

    QList<ShownText> all;
    for (QWidget* window : w.windows())
        all += test::shownTexts(window);
    all += test::shownTexts(&w.trayMenu());
    all.append({QStringLiteral("tray icon tool tip"), w.shell().tray().TrayIcon->toolTip()});
    // A walk that found nothing would pass whatever the windows show.
    ASSERT_GT(all.size(), 120) << qPrintable(test::describe(all));

    QList<ShownText> russian;
    for (const ShownText& t : all)
        if (!test::cyrillicTexts({t}).isEmpty())
            russian.append(t);
    EXPECT_TRUE(russian.isEmpty()) << "left in Russian:\n" << qPrintable(test::describe(russian));
    control<QMenu>(form, "PMServers")->close();
}

TEST(English, MainWindowItsMenusTrayMenuAndListHeadersReadInEnglish)
{
    Windows w(UiLanguage::English);
    TForm1& form = w.form();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    EXPECT_EQ(form.windowTitle(), QStringLiteral("Vantry 1.98"))
        << "the title is the product's, in any language";
    EXPECT_EQ(control<QGroupBox>(form, "RG")->title(), QStringLiteral("Scan:"));
    QStringList modes;
    for (const QRadioButton* b : control<QGroupBox>(form, "RG")->findChildren<QRadioButton*>())
        modes << b->text();
    EXPECT_EQ(modes, (QStringList{QStringLiteral("Games"), QStringLiteral("HLTV")}));
    const auto button = [](const QPushButton* b) { return b->text() + u'|' + b->toolTip(); };
    EXPECT_EQ(button(control<QPushButton>(form, "SBScanAll")), QStringLiteral("Scan|Scan all IP addresses"));
    EXPECT_EQ(button(control<QPushButton>(form, "SBStop")), QStringLiteral("Stop|Stop scanning"));
    EXPECT_EQ(button(control<QPushButton>(form, "SBRefresh")),
              QStringLiteral("RF|Refresh the listed servers"));
    EXPECT_EQ(button(control<QPushButton>(form, "SBAuto")),
              QStringLiteral("Auto|Turn auto-connect on or off"));
    EXPECT_EQ(button(control<QPushButton>(form, "SBPlay")), QStringLiteral("Play|Connect to the server"));
    EXPECT_EQ(control<QTabWidget>(form, "PageControl1")->tabText(0), QStringLiteral("Players"));
    EXPECT_EQ(control<QTabWidget>(form, "PageControl1")->tabText(1), QStringLiteral("Rules"));

    // The game kinds, the protocol and status columns are data and stay as they are.
    EXPECT_EQ(headers(form.servers()),
              (QStringList{QStringLiteral("Game"), QStringLiteral("Name"), QStringLiteral("Address"),
                           QStringLiteral("Port"), QStringLiteral("PT"), QStringLiteral("Map"), QString(),
                           QStringLiteral("OS"), QStringLiteral("A"), QStringLiteral("Ping")}));
    EXPECT_EQ(headers(form.playersModel()), (QStringList{QStringLiteral("Player"), QStringLiteral("Kills")}));
    EXPECT_EQ(headers(form.rulesModel()), (QStringList{QStringLiteral("Rule"), QStringLiteral("Value")}));

    EXPECT_EQ(actionTexts(*form.menuBar()),
              (QStringList{QStringLiteral("File"), QStringLiteral("Options"), QStringLiteral("About...")}));
    const QMenu* file = form.menuBar()->actions().value(0)->menu();
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(actionTexts(*file),
              (QStringList{QStringLiteral("Connect to..."), QStringLiteral("Recent"),
                           QStringLiteral("Hide  (Shift+Alt+S)"), QStringLiteral("Quit")}));
    EXPECT_EQ(actionTexts(w.trayMenu()),
              (QStringList{QStringLiteral("Show  (Shift+Alt+S)"), QStringLiteral("Quit")}));

    // The server list's menu, as a right click on a row opens it.
    test::listAndSelect(form, false);
    rightClickRow(*control<vantry::browser::ListView>(form, "LW"), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return control<QMenu>(form, "PMServers")->isVisible(); }, 2000));
    EXPECT_EQ(actionTexts(*control<QMenu>(form, "PMServers")),
              (QStringList{QStringLiteral("Play"), QStringLiteral("Auto-connect"),
                           QStringLiteral("Add to Favorites"), QStringLiteral("Copy address")}));
    control<QMenu>(form, "PMServers")->close();
}

TEST(English, OptionsDialogReadsInEnglishOnEachOfItsPages)
{
    Windows w(UiLanguage::English);
    w.form().show();
    triggerAction(w.form(), "Options1");
    options::TSettings& d = w.shell().settings();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Settings"));
    auto* pageControl = test::control<QTabWidget>(d, "PageControl");
    const QStringList tabs{pageControl->tabText(0), pageControl->tabText(1), pageControl->tabText(2)};
    EXPECT_EQ(tabs, (QStringList{QStringLiteral("General"), QStringLiteral("Scanning"),
                                 QStringLiteral("Favorites")}));

    const QList<QStringList> pages{
        {QStringLiteral("Game:"), QStringLiteral("Game path:"), QStringLiteral("Parameters:"),
         QStringLiteral("Browse"), QStringLiteral("Add the parameter"), QStringLiteral("Reset"),
         QStringLiteral("Restore the default parameters"), QStringLiteral("Save"),
         QStringLiteral("Connect on double-click"), QStringLiteral("Transparency"), QStringLiteral("CS1.6")},
        {QStringLiteral("Broadcast"), QStringLiteral("Scan old servers"),
         QStringLiteral("All CS1.5 servers and old CS1.6 servers"), QStringLiteral("Move up"),
         QStringLiteral("Move down"), QStringLiteral("From IP:"), QStringLiteral("To IP:"),
         QStringLiteral("From:"), QStringLiteral("To:"), QStringLiteral("Remove"), QStringLiteral("Add"),
         QStringLiteral("0..255"), QStringLiteral("Ports:"), QStringLiteral("Game"), QStringLiteral("HLTV"),
         QStringLiteral("Delay"), QStringLiteral("ms")},
        {QStringLiteral("IP address"), QStringLiteral("Port"), QStringLiteral("Auto-scan"),
         QStringLiteral("Interval (sec):"), QStringLiteral("Remove"), QStringLiteral("Add")},
    };
    for (int page = 2; page >= 0; --page) {
        clickTab(*pageControl, page);
        ASSERT_EQ(pageControl->currentIndex(), page);
        const QStringList shown = textsOf(pageControl->currentWidget());
        for (const QString& text : pages[page])
            EXPECT_TRUE(shown.contains(text)) << "page " << page << " lacks " << qPrintable(text) << ": "
                                              << qPrintable(shown.join(QStringLiteral(", ")));
    }
}

TEST(English, AboutBoxPasswordPromptAutoConnectDialogAndQuestionReadInEnglish)
{
    Windows w(UiLanguage::English);
    TForm1& form = w.form();
    form.show();

    triggerAction(form, "About1");
    TFormAbout& about = w.shell().about();
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Vantry"));
    for (const QString& text :
         {QStringLiteral("Vantry"), QStringLiteral("version 1.98"), QStringLiteral("Fast game server search"),
          QStringLiteral("Supported games:"), QStringLiteral("Web page:"), QStringLiteral("Authors:"),
          QStringLiteral("Thanks to:"), QStringLiteral("everyone who tested it on their networks")})
        EXPECT_TRUE(textsOf(&about).contains(text)) << qPrintable(text);

    launch::TFormPass& pass = w.shell().launch().passForm();
    EXPECT_EQ(pass.windowTitle(), QStringLiteral("Password"));
    EXPECT_EQ(pass.Label1->text(), QStringLiteral("Enter the password"));
    EXPECT_EQ(pass.CBShowPass->text(), QStringLiteral("Show password"));
    EXPECT_EQ(pass.BitBtn1->text(), QStringLiteral("OK"));
    EXPECT_EQ(pass.BitBtn2->text(), QStringLiteral("Cancel"));

    launch::TFormAuto& autoForm = w.shell().launch().autoForm();
    EXPECT_EQ(autoForm.windowTitle(), QStringLiteral("Auto-connect"));
    EXPECT_EQ(autoForm.Label1->text(), QStringLiteral("Connect when player count is:"));
    EXPECT_EQ(autoForm.CBAsk->text(), QStringLiteral("Ask before connecting"));
    EXPECT_EQ(autoForm.CBPass->text(), QStringLiteral("Password:"));
    EXPECT_EQ(autoForm.BitBtn2->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(autoForm.CB->itemText(0), QStringLiteral("<=")) << "the comparison is data";

    // Joining a full server asks first, in the standard confirmation box.
    test::listAndSelect(form, true);
    QString caption;
    QStringList answers;
    test::whenBoxOpens(&form, [&](QMessageBox& box) {
        caption = box.windowTitle();
        for (const QAbstractButton* b : box.buttons())
            answers << b->text();
        QTest::keyClick(&box, Qt::Key_Escape);
    });
    clickButton(form, "SBPlay");
    EXPECT_EQ(caption, QStringLiteral("Confirm"));
    answers.sort();
    EXPECT_EQ(answers, (QStringList{QStringLiteral("&No"), QStringLiteral("&Yes")}));
}

TEST(English, PlayWithoutAClientSaysInEnglishWhereToSetIt)
{
    Windows w(UiLanguage::English);
    TForm1& form = w.form();
    form.show();
    test::listAndSelect(form, false);
    QString text;
    test::whenBoxOpens(&form, [&](QMessageBox& box) {
        text = box.text();
        QTest::keyClick(&box, Qt::Key_Escape);
    });
    clickButton(form, "SBPlay");
    // The program's own first line as it always was, then the dialog, page and field as shown.
    EXPECT_TRUE(text.contains(QStringLiteral(" .exe path not set\n"))) << text.toStdString();
    EXPECT_TRUE(
        text.contains(QStringLiteral("Set the path in the «Settings» window, page «General»: game «")))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("», field «Game path:»."))) << text.toStdString();
}

// Room each text of the fixed-size dialogs needs and has, by dialog and control, with the text.
struct Fit
{
    QString text;
    int needed = 0;
    int width = 0;
};
QList<QList<Fit>> fixedDialogFits(UiLanguage language)
{
    Windows w(language);
    QList<QList<Fit>> dialogs;
    for (QWidget* dialog :
         {static_cast<QWidget*>(&w.shell().about()), static_cast<QWidget*>(&w.shell().launch().passForm()),
          static_cast<QWidget*>(&w.shell().launch().autoForm())}) {
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
        QList<Fit> fits;
        for (QWidget* child : dialog->findChildren<QWidget*>()) {
            Fit fit{{}, 0, child->width()};
            if (const auto* label = qobject_cast<QLabel*>(child))
                fit = {label->text(), child->sizeHint().width(), child->width()};
            else if (const auto* box = qobject_cast<QCheckBox*>(child))
                fit = {box->text(), child->sizeHint().width(), child->width()};
            else if (const auto* button = qobject_cast<QPushButton*>(child))
                // A push button's hint has a least width of its own; the text is what must fit.
                fit = {button->text(), button->fontMetrics().horizontalAdvance(button->text()) + 8,
                       child->width()};
            fits.append(fit);
        }
        dialogs.append(fits);
        dialog->hide();
    }
    return dialogs;
}

// The dialogs of a fixed size place their controls by hand, for the Russian texts: an English
// text must not be cut off where its Russian original is whole, nor more than it.
TEST(English, FixedSizeDialogsShowTheirEnglishTextsWhole)
{
    const QList<QList<Fit>> russian = fixedDialogFits(UiLanguage::Russian);
    const QList<QList<Fit>> english = fixedDialogFits(UiLanguage::English);
    ASSERT_EQ(english.size(), russian.size());
    for (int d = 0; d < english.size(); ++d) {
        ASSERT_EQ(english[d].size(), russian[d].size());
        for (int c = 0; c < english[d].size(); ++c) {
            const Fit& en = english[d][c];
            const Fit& ru = russian[d][c];
            if (en.text.isEmpty())
                continue;
            EXPECT_LE(en.needed, std::max(en.width, ru.needed))
                << "\"" << qPrintable(en.text) << "\" is cut off (\"" << qPrintable(ru.text) << "\" needs "
                << ru.needed << " of " << ru.width << ")";
        }
    }
}

const QByteArray OneServer = "[Ranges]\nRanges=1\nRangeFrom0=127.0.0.1\nRangeTo0=127.0.0.1\nChecked=1\n"
                             "[Settings]\nBroadcast=0\nScanOld=0\nDelay=0\nCSPort=27015\n";
const QByteArray ManyAddresses = "[Ranges]\nRanges=1\nRangeFrom0=127.0.0.1\nRangeTo0=127.0.3.254\nChecked=1\n"
                                 "[Settings]\nBroadcast=0\nScanOld=0\nDelay=1\nCSPort=27015\n";

// The scan button's caption is set at start, by the cool-down and at its end by different
// parts of the program: in English it must come back to the caption it started with.
TEST(English, SweepRefreshAndStopReportInEnglishAndTheScanButtonComesBackToItsCaption)
{
    emu::ProfileTable table;
    table.add((127u << 24) | 1u, 27015, emu::defaultsFor(emu::Kind::Hl1));
    emu::EmuServer servers(std::move(table), {27015});
    servers.start();

    Windows w(UiLanguage::English, OneServer);
    TForm1& form = w.form();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QString startCaption = control<QPushButton>(form, "SBScanAll")->text();
    EXPECT_EQ(startCaption, QStringLiteral("Scan"));

    clickButton(form, "SBScanAll");
    EXPECT_EQ(form.statusText(0), QStringLiteral(" Completed :)"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.servers().count() == 1; }, 5000));
    QStringList captions;
    QObject::connect(control<vantry::IntervalTimer>(form, "Timer"), &IntervalTimer::timeout, &form,
                     [&] { captions << control<QPushButton>(form, "SBScanAll")->text(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return control<QPushButton>(form, "SBScanAll")->isEnabled(); }, 8000));
    EXPECT_EQ(captions, (QStringList{QStringLiteral("Wait 3"), QStringLiteral("Wait 2"),
                                     QStringLiteral("Wait 1"), startCaption}));
    EXPECT_EQ(control<QPushButton>(form, "SBScanAll")->text(), startCaption);

    ASSERT_TRUE(control<QPushButton>(form, "SBRefresh")->isEnabled());
    clickButton(form, "SBRefresh");
    EXPECT_EQ(form.statusText(0), QStringLiteral(" Done!!!"));
    servers.stop();
}

TEST(English, StoppedSweepReportsInEnglish)
{
    Windows w(UiLanguage::English, ManyAddresses);
    TForm1& form = w.form();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTimer::singleShot(100, control<QPushButton>(form, "SBStop"), [&] { clickButton(form, "SBStop"); });
    clickButton(form, "SBScanAll");
    EXPECT_EQ(form.statusText(0), QStringLiteral(" Canceled :("));
}

// The names the file dialog's list shows once its folder has loaded and the list has settled.
QStringList shownNames(QFileDialog& dialog, const QStringList& expected)
{
    auto* list = dialog.findChild<QListView*>(QStringLiteral("listView"));
    if (!list)
        return {QStringLiteral("<no list>")};
    QStringList names;
    const QDeadlineTimer deadline(5000);
    do {
        QCoreApplication::processEvents();
        names.clear();
        const QModelIndex root = list->rootIndex();
        for (int row = 0; row < list->model()->rowCount(root); ++row)
            names << list->model()->index(row, 0, root).data().toString();
        names.sort();
        if (names == expected)
            break;
        QThread::msleep(10);
    } while (!deadline.hasExpired());
    return names;
}

void makeFile(const QString& path, bool executable)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(executable ? "#!/bin/sh\n" : "text");
    file.close();
    QFile::Permissions rights = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        rights |= QFile::ExeOwner;
    QFile::setPermissions(path, rights);
}

// The dialog reports the filter chosen by its shown text, which the program compares with its own.
TEST(English, FileDialogsAnyProgramFilterStillListsOnlyProgramsInEnglish)
{
    QTemporaryDir games;
    makeFile(games.filePath(QStringLiteral("hl_linux")), true);
    makeFile(games.filePath(QStringLiteral("hlds_run")), true);
    makeFile(games.filePath(QStringLiteral("readme.txt")), false);

    Windows w(UiLanguage::English);
    options::TSettings& d = w.shell().settings();
    d.show();
    d.setClientOffers({}, {});
    QStringList filters, programs;
    QString chosen;
    d.setExecutableChooser([&](QFileDialog& od) {
        od.setDirectory(games.path());
        od.show();
        filters = od.nameFilters();
        auto* types = od.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        EXPECT_TRUE(types);
        if (types)
            QTest::keyClick(types, Qt::Key_Down);
        chosen = od.selectedNameFilter();
        programs = shownNames(od, {QStringLiteral("hl_linux"), QStringLiteral("hlds_run")});
        od.hide();
        return QString();
    });
    test::clickButton(d, "SBExe");
    EXPECT_EQ(filters.value(1), QStringLiteral("All programs (*)"));
    EXPECT_EQ(chosen, QStringLiteral("All programs (*)"));
    EXPECT_EQ(programs, (QStringList{QStringLiteral("hl_linux"), QStringLiteral("hlds_run")}));
}

TEST(English, BrowseMenuOffersTheFileDialogInEnglish)
{
    Windows w(UiLanguage::English);
    options::TSettings& d = w.shell().settings();
    d.show();
    d.setClientOffers(
        [](int, QStringList*) {
            return QList<std::pair<QString, QString>>{
                {QStringLiteral("Steam: Half-Life (/steam/common/Half-Life)"), QStringLiteral("steam://70")}};
        },
        [](int, const QString&) { return QString(); });
    QStringList items;
    test::whenMenuOpens(&d, [&](QMenu& menu) {
        items = actionTexts(menu);
        menu.close();
    });
    test::clickButton(d, "SBExe");
    EXPECT_EQ(items, (QStringList{QStringLiteral("Steam: Half-Life (/steam/common/Half-Life)"),
                                  QStringLiteral("Browse...")}));
}

} // namespace
} // namespace vantry
