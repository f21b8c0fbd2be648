// The game path's browse button: the file dialog's filters for Linux players, and the game
// clients the program offers beside a file (Steam's copies), driven by real clicks and keys.
#include "Controls.h"
#include "OptionsFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>

using namespace vantry::options;
using vantry::test::clickButton;
using vantry::test::control;
using vantry::test::OptionsFixture;
using vantry::test::pickItem;

namespace {

using BrowseClient = OptionsFixture;

void makeFile(const QString& path, bool executable)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(executable ? "#!/bin/sh\n" : "MZ");
    file.close();
    QFile::Permissions rights = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        rights |= QFile::ExeOwner;
    QFile::setPermissions(path, rights);
}

// The names the dialog's list shows, once its folder has loaded and the list has settled.
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

// Clicks the popup menu's item of that text as soon as the menu is open.
void clickMenuItemSoon(const QString& text, QStringList* seen)
{
    QTimer::singleShot(0, [text, seen] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) {
            seen->append(QStringLiteral("<no menu>"));
            return;
        }
        QAction* target = nullptr;
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator())
                seen->append(action->text());
            if (action->text() == text)
                target = action;
        }
        if (target) {
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(target).center());
            return;
        }
        menu->close();
    });
}

} // namespace

TEST_F(BrowseClient, FileDialogShowsLinuxClientsBesideWindowsNamesAndAnyProgramUnderItsSecondFilter)
{
    QTemporaryDir games;
    const QString dir = games.path();
    makeFile(dir + QStringLiteral("/hl.exe"), false);
    makeFile(dir + QStringLiteral("/hl_linux"), true);
    makeFile(dir + QStringLiteral("/hl.sh"), true);
    makeFile(dir + QStringLiteral("/hlds_run"), true);
    makeFile(dir + QStringLiteral("/readme.txt"), false);
    makeFile(dir + QStringLiteral("/hl2_linux"), true);
    makeFile(dir + QStringLiteral("/hl2.sh"), true);
    QDir(dir).mkdir(QStringLiteral("valve"));

    TSettings& d = create();
    d.show();
    QStringList named, programs;
    d.setExecutableChooser([&](QFileDialog& od) {
        od.setDirectory(dir);
        od.show();
        const QStringList first = od.nameFilters();
        EXPECT_EQ(first.size(), 2);
        named = shownNames(od, first.value(0).startsWith(u"Half-Life2")
                                   ? QStringList{QStringLiteral("hl2.sh"), QStringLiteral("hl2_linux"),
                                                 QStringLiteral("valve")}
                                   : QStringList{QStringLiteral("hl.exe"), QStringLiteral("hl.sh"),
                                                 QStringLiteral("hl_linux"), QStringLiteral("valve")});
        // The user picks the second filter in the dialog's own list of filters.
        auto* types = od.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        EXPECT_TRUE(types);
        if (types)
            QTest::keyClick(types, Qt::Key_Down);
        EXPECT_EQ(od.selectedNameFilter(), TSettings::anyProgramFilter());
        programs =
            shownNames(od, {QStringLiteral("hl.sh"), QStringLiteral("hl2.sh"), QStringLiteral("hl2_linux"),
                            QStringLiteral("hl_linux"), QStringLiteral("hlds_run"), QStringLiteral("valve")});
        od.hide();
        return QString();
    });

    clickButton(d, "SBExe");
    EXPECT_EQ(named, (QStringList{QStringLiteral("hl.exe"), QStringLiteral("hl.sh"),
                                  QStringLiteral("hl_linux"), QStringLiteral("valve")}));
    EXPECT_EQ(programs,
              (QStringList{QStringLiteral("hl.sh"), QStringLiteral("hl2.sh"), QStringLiteral("hl2_linux"),
                           QStringLiteral("hl_linux"), QStringLiteral("hlds_run"), QStringLiteral("valve")}));

    // The filter follows the slot, and each opening starts from the slot's own names.
    pickItem(control<QComboBox>(d, "CBGame"), 4);
    clickButton(d, "SBExe");
    EXPECT_EQ(named,
              (QStringList{QStringLiteral("hl2.sh"), QStringLiteral("hl2_linux"), QStringLiteral("valve")}));
    EXPECT_TRUE(control<QLineEdit>(d, "EditExe")->text().isEmpty());
    EXPECT_FALSE(control<QPushButton>(d, "BBSave")->isEnabled());
}

TEST_F(BrowseClient, OfferedSteamCopiesComeInAMenuWithTheFileDialogBehindItsLastItem)
{
    TSettings& d = create();
    d.show();
    int dialogs = 0;
    QString fileAnswer = QStringLiteral("/games/Counter-Strike Source/hl2.sh");
    d.setExecutableChooser([&](QFileDialog&) {
        ++dialogs;
        return fileAnswer;
    });
    d.setClientOffers(
        [](int slot, QStringList*) {
            QList<std::pair<QString, QString>> offers;
            if (slot == 4)
                offers.append(
                    {QStringLiteral("Steam: Counter-Strike: Source (/steam/common/Counter-Strike Source)"),
                     QStringLiteral("steam://240")});
            return offers;
        },
        [](int, const QString&) { return QString(); });

    pickItem(control<QComboBox>(d, "CBGame"), 4);
    QStringList seen;
    clickMenuItemSoon(QStringLiteral("Steam: Counter-Strike: Source (/steam/common/Counter-Strike Source)"),
                      &seen);
    clickButton(d, "SBExe");
    EXPECT_EQ(seen, (QStringList{
                        QStringLiteral("Steam: Counter-Strike: Source (/steam/common/Counter-Strike Source)"),
                        QStringLiteral("Обзор...")}));
    EXPECT_EQ(control<QLineEdit>(d, "EditExe")->text(), QStringLiteral("steam://240"));
    EXPECT_EQ(d.gamePath(4), QStringLiteral("steam://240")) << "kept without «Сохранить»";
    EXPECT_FALSE(control<QPushButton>(d, "BBSave")->isEnabled()) << "nothing is left to save";
    EXPECT_EQ(dialogs, 0);

    // The menu's last item is the file dialog.
    seen.clear();
    clickMenuItemSoon(QStringLiteral("Обзор..."), &seen);
    clickButton(d, "SBExe");
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(control<QLineEdit>(d, "EditExe")->text(), fileAnswer);

    // Closing the menu changes nothing.
    seen.clear();
    clickMenuItemSoon(QStringLiteral("<none>"), &seen);
    clickButton(d, "SBExe");
    EXPECT_EQ(seen.size(), 2);
    EXPECT_EQ(control<QLineEdit>(d, "EditExe")->text(), fileAnswer);
    EXPECT_FALSE(control<QPushButton>(d, "BBSave")->isEnabled());
    EXPECT_EQ(dialogs, 1);

    // Nothing offered for the slot: the file dialog opens at once, as without Steam.
    pickItem(control<QComboBox>(d, "CBGame"), 1);
    bool menuOpen = true;
    d.setExecutableChooser([&](QFileDialog&) {
        menuOpen = QApplication::activePopupWidget() != nullptr;
        ++dialogs;
        return QString();
    });
    clickButton(d, "SBExe");
    EXPECT_EQ(dialogs, 2);
    EXPECT_FALSE(menuOpen);
}

TEST_F(BrowseClient, SteamProblemsAreShownBeforeTheChoiceAndAPickedClientThatCannotStartIsExplained)
{
    TSettings& d = create();
    d.show();
    QStringList order;
    d.setExecutableChooser([&](QFileDialog&) {
        order << QStringLiteral("file dialog, boxes before: %1").arg(m_prompter.boxes.size());
        return QStringLiteral("/games/Half-Life 2 Deathmatch/hl2.sh");
    });
    d.setClientOffers(
        [](int, QStringList* problems) {
            *problems << QStringLiteral(
                "Steam's library list /x/libraryfolders.vdf is broken at line 3: a quoted "
                "text is not closed.");
            return QList<std::pair<QString, QString>>();
        },
        [](int slot, const QString& path) {
            return slot == 5 && path.endsWith(u"/hl2.sh")
                       ? QStringLiteral("hl2.sh refuses to start outside Steam's runtime.")
                       : QString();
        });
    pickItem(control<QComboBox>(d, "CBGame"), 5);
    clickButton(d, "SBExe");
    EXPECT_EQ(order, QStringList{QStringLiteral("file dialog, boxes before: 1")});
    ASSERT_EQ(m_prompter.boxes.size(), 2u);
    EXPECT_EQ(m_prompter.boxes[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(m_prompter.boxes[0].text,
              QStringLiteral("Steam's library list /x/libraryfolders.vdf is broken at "
                             "line 3: a quoted text is not closed."));
    EXPECT_EQ(m_prompter.boxes[1].caption, QStringLiteral("Error"));
    EXPECT_EQ(m_prompter.boxes[1].text, QStringLiteral("hl2.sh refuses to start outside Steam's runtime."));
    // Told, not refused: the user may know better (an old build that runs by itself).
    EXPECT_EQ(control<QLineEdit>(d, "EditExe")->text(),
              QStringLiteral("/games/Half-Life 2 Deathmatch/hl2.sh"));
    EXPECT_EQ(d.gamePath(5), QStringLiteral("/games/Half-Life 2 Deathmatch/hl2.sh"));
}

TEST_F(BrowseClient, TheXashClientIsOfferedAsFoundOrBrowsedKeptAtOnceAndWrittenInItsOwnSection)
{
    writeRaw("[Settings]\nCurItem=2\n");
    TSettings& d = create();
    d.show();
    QSignalSpy changes(&d, &TSettings::clientsChanged);
    EXPECT_TRUE(control<QLineEdit>(d, "EditXashClient")->text().isEmpty());
    EXPECT_TRUE(d.xashClient().isEmpty());

    // What the machine has comes first in the menu; its choice is the client at once.
    d.setXashOffers([] {
        return QList<std::pair<QString, QString>>{
            {QStringLiteral("Flatpak: su.xash.Engine.Compat.i386"),
             QStringLiteral("flatpak://su.xash.Engine.Compat.i386")},
            {QStringLiteral("xash3d (/usr/games/xash3d)"), QStringLiteral("/usr/games/xash3d")}};
    });
    QStringList seen;
    clickMenuItemSoon(QStringLiteral("Flatpak: su.xash.Engine.Compat.i386"), &seen);
    clickButton(d, "SBXashClient");
    EXPECT_EQ(seen, (QStringList{QStringLiteral("Flatpak: su.xash.Engine.Compat.i386"),
                                 QStringLiteral("xash3d (/usr/games/xash3d)"), QStringLiteral("Обзор...")}));
    EXPECT_EQ(d.xashClient(), QStringLiteral("flatpak://su.xash.Engine.Compat.i386"));
    EXPECT_EQ(control<QLineEdit>(d, "EditXashClient")->text(), d.xashClient());
    EXPECT_EQ(changes.size(), 1) << "the list's «Могу подключиться» learns of it";
    EXPECT_FALSE(control<QPushButton>(d, "BBSave")->isEnabled());

    // The menu's last item is the file dialog, with the client's name as its filter.
    QString filter;
    d.setExecutableChooser([&](QFileDialog& od) {
        filter = od.nameFilters().value(0);
        return QStringLiteral("/opt/xash/xash3d");
    });
    clickMenuItemSoon(QStringLiteral("Обзор..."), &seen);
    clickButton(d, "SBXashClient");
    EXPECT_EQ(filter, QStringLiteral("Xash3D FWGS (xash3d)"));
    EXPECT_EQ(d.xashClient(), QStringLiteral("/opt/xash/xash3d"));
    // Closing the menu, or nothing found and the file dialog cancelled, changes nothing.
    clickMenuItemSoon(QStringLiteral("<none>"), &seen);
    clickButton(d, "SBXashClient");
    d.setXashOffers({});
    d.setExecutableChooser([](QFileDialog&) { return QString(); });
    clickButton(d, "SBXashClient");
    EXPECT_EQ(d.xashClient(), QStringLiteral("/opt/xash/xash3d"));
    EXPECT_EQ(changes.size(), 2);

    // Switching games leaves it: one client for every game of its engine.
    pickItem(control<QComboBox>(d, "CBGame"), 0);
    EXPECT_EQ(control<QLineEdit>(d, "EditXashClient")->text(), QStringLiteral("/opt/xash/xash3d"));
    destroy();
    EXPECT_TRUE(readRaw().contains("[Clients]\nXash3D=/opt/xash/xash3d\n")) << readRaw().toStdString();
    EXPECT_EQ(create().xashClient(), QStringLiteral("/opt/xash/xash3d"));
    EXPECT_TRUE(m_prompter.boxes.empty());
}

TEST_F(BrowseClient, TheFirstGoldSrcClientPickedIsOfferedForEveryGoldSrcGameOnce)
{
    writeRaw("[Settings]\nCurItem=2\nExePath4=/games/css/hl2.sh\n");
    TSettings& d = create();
    d.show();
    QSignalSpy changes(&d, &TSettings::clientsChanged);
    d.setExecutableChooser([](QFileDialog&) { return QStringLiteral("/games/hl/hl_linux"); });
    // No: only the game being edited has it.
    m_prompter.answer = false;
    clickButton(d, "SBExe");
    ASSERT_EQ(m_prompter.questions.size(), 1);
    EXPECT_EQ(m_prompter.questions[0],
              QStringLiteral("Один клиент запускает все игры GoldSrc. Запускать «/games/hl/hl_linux» и для "
                             "HL, CS1.5, CZERO?"));
    EXPECT_EQ(d.gamePath(2), QStringLiteral("/games/hl/hl_linux"));
    for (int slot : {0, 1, 3})
        EXPECT_TRUE(d.gamePath(slot).isEmpty()) << slot;
    EXPECT_EQ(d.gamePath(4), QStringLiteral("/games/css/hl2.sh")) << "a Source game is not offered";

    // Picked again for another slot while the rest is empty: Yes gives all four the client, and a
    // Steam copy of the picked game becomes each game's own copy where Steam has it.
    d.setSharedClient([](int slot, const QString& picked) {
        return slot == 3 ? QString() : picked + QStringLiteral("#%1").arg(slot);
    });
    m_prompter.answer = true;
    pickItem(control<QComboBox>(d, "CBGame"), 2);
    clickButton(d, "SBExe");
    EXPECT_EQ(m_prompter.questions.value(1),
              QStringLiteral("Один клиент запускает все игры GoldSrc. Запускать «/games/hl/hl_linux» и для "
                             "HL, CS1.5?"));
    EXPECT_EQ(d.gamePath(0), QStringLiteral("/games/hl/hl_linux#0"));
    EXPECT_EQ(d.gamePath(1), QStringLiteral("/games/hl/hl_linux#1"));
    EXPECT_TRUE(d.gamePath(3).isEmpty()) << "nothing fit it";
    EXPECT_EQ(changes.size(), 3);

    // Once a second game has a client of its own, a pick asks nothing.
    pickItem(control<QComboBox>(d, "CBGame"), 3);
    d.setExecutableChooser([](QFileDialog&) { return QStringLiteral("/games/cz/hl_linux"); });
    clickButton(d, "SBExe");
    EXPECT_EQ(m_prompter.questions.size(), 2);
    EXPECT_EQ(d.gamePath(3), QStringLiteral("/games/cz/hl_linux"));
    EXPECT_EQ(d.gamePath(0), QStringLiteral("/games/hl/hl_linux#0"));
}

TEST_F(BrowseClient, SteamsCopiesFoundAtFirstStartAreOfferedForTheGoldSrcGamesThatHaveNone)
{
    TSettings& d = create();
    EXPECT_TRUE(d.firstStart());
    d.show();
    const std::array<QString, 4> copies{QStringLiteral("steam://70"), QStringLiteral("steam://10"),
                                        QStringLiteral("steam://10"), QString()};
    d.offerSteamCopies(copies, QStringLiteral("/home/u/.local/share/Steam/steamapps/common/Half-Life"));
    ASSERT_EQ(m_prompter.questions.size(), 1);
    EXPECT_EQ(m_prompter.questions[0],
              QStringLiteral("Half-Life из Steam найден в /home/u/.local/share/Steam/steamapps/common/"
                             "Half-Life. Запускать через Steam HL, CS1.5, CS1.6?"));
    EXPECT_EQ(d.gamePath(0), QStringLiteral("steam://70"));
    EXPECT_EQ(d.gamePath(2), QStringLiteral("steam://10"));
    EXPECT_TRUE(d.gamePath(3).isEmpty());
    EXPECT_EQ(control<QLineEdit>(d, "EditExe")->text(), QStringLiteral("steam://70"));
    destroy();
    EXPECT_FALSE(create().firstStart()) << "the file now exists";
}
