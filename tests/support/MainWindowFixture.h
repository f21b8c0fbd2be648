#pragma once

// The main window as the window tests drive it: emulated servers on loopback for the test's life;
// the whole program over a settings file in a temporary folder, or the window alone over settings
// the test holds; the stand-in game client; rows listed, clicked and typed into as a user does.
#include "../launch/LaunchFixtures.h"
#include "Controls.h"
#include "browser/StaticSettings.h"
#include "emu/EmuServer.h"
#include "shell/ScanGames.h"
#include "shell/Shell.h"

#include <QByteArray>
#include <QModelIndex>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <vector>

class QAbstractItemModel;
class QAbstractItemView;
class QWidget;

namespace vantry::browser {
class ListView;
class ServerListModel;
} // namespace vantry::browser

namespace vantry::query {
class Clock;
}

namespace vantry::test {

// Where the emulated game servers answer.
inline constexpr std::uint16_t GamePort = 27015;

// 127.0.0.0/8 from its low 24 bits, in host order: loopback(0x0102) is 127.0.1.2.
constexpr std::uint32_t loopback(std::uint32_t low)
{
    return 127u << 24 | low;
}

// What the program starts over.
struct ProgramStart
{
    QByteArray settings = {}; // more keys of section "Settings"
    QByteArray sections = {}; // whole sections after it
    // The stand-in client in the game slots from this one to the last; -1: no client at all.
    // Slot 0 is Half-Life's.
    int clientFrom = -1;
    bool keepFile = false; // the file as the last run left it
    bool noFile = false;   // no file: every setting at its default
    // Whether the desktop has a tray to hide to; none: the desktop is asked.
    std::optional<bool> tray = true;
};

class MainWindowFixture : public ::testing::Test
{
public:
    using Start = ProgramStart;

protected:
    explicit MainWindowFixture(emu::ProfileTable table, std::vector<std::uint16_t> ports = {GamePort});
    void SetUp() override;
    void TearDown() override;

    // The program as main() builds it, shown and exposed; `how` says what it starts over.
    TForm1& start(const Start& how = {});
    // The program ends and starts again over the file it left.
    void restart();
    // The window alone, over `settings` (no broadcast, no delay), shown. A null clock: the
    // system's.
    TForm1& startWindow(query::Clock* clock = nullptr);
    // Brings the window to the front and waits until it has the focus.
    void activate();

    TForm1& form();
    browser::ServerListModel& list();
    browser::ListView& listView();
    // The list as the view shows it, through its order and filter.
    const QAbstractItemModel& shown();
    QString path() const;
    QByteArray fileBytes() const;

    // True once the list has at least n rows.
    bool rowsListed(int n);
    // Asks each server for its info; true once the list has that many rows more.
    bool listServers(const QStringList& addresses);
    // Asks the server for its info and waits until the view shows its row; the row's name cell.
    QModelIndex listed(const QString& address);
    // The server's name cell as the view shows it; invalid when it is not listed or filtered out.
    QModelIndex shownRow(const QString& address);
    // The server's row in the list (not the view); -1 when not listed.
    int rowOf(const QString& address);

    // A click at the cell's centre, scrolled to first. A right click brings the context menu
    // event the platform sends with the press.
    static void clickIndex(const QModelIndex& index, QAbstractItemView& view,
                           Qt::MouseButton button = Qt::LeftButton);
    // A double click as the platform delivers it: a click, the second press as a double click,
    // then its release.
    static void doubleClickIndex(const QModelIndex& index, QAbstractItemView& view);
    // A click on the server's row in the list.
    void clickRow(const QString& address);
    // Types the text as a keyboard does: a press and a release per character, the character as
    // the events' text (QTest's own keyClicks knows only ASCII).
    static void type(QWidget& widget, const QString& text);

    // Whether `fault` stays false for `ms`. For what must not come (a duplicate row, a second
    // client start): a pass can only take the whole time, a fault ends the wait at once.
    static bool staysFalse(const std::function<bool()>& fault, int ms);
    // Clients started since the last expect(), after a while in which one more than `expected`
    // would have started too.
    int startsAfterAWhile(int expected, int ms = 500);

    emu::EmuServer servers;
    browser::StaticSettings settings; // the window alone reads these
    QTemporaryDir dir;
    Probe probe;
    RecordingPrompter prompter;
    std::unique_ptr<Shell> shell;
    std::unique_ptr<TForm1> window;

private:
    Start m_start;
};

} // namespace vantry::test
