#pragma once

#include "ScanController.h"
#include "base/Activity.h"
#include "base/IntervalTimer.h"
#include "options/SettingsHost.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTabWidget;

namespace vantry::query {
class Clock;
}
namespace vantry::net {
class UdpEndpoint;
}
namespace vantry::options {
class LiveSettings;
}
namespace vantry::launch {
struct MainWindowParts;
}
namespace vantry::browser {
class ListView;
class MasterListFetch;
class PlayersModel;
class ScanEngine;
class StaticSettings;
class QueryService;
class RulesModel;
class ServerListModel;
} // namespace vantry::browser

namespace vantry {

class ListFinder;
class ScanModeGroup;
class StatusPanels;

// The main window: the server list, the details of the selected server, the buttons, the scan
// mode, the status bar, the menus and the three timers. Handlers carry the names of the
// controls and events they serve; sweeps and refreshes are the scan controller's, the status
// texts the status panels'. Controls are private: each has its name as its object name.
class TForm1 : public QMainWindow, public options::SettingsHost
{
    Q_OBJECT
public:
    struct Options
    {
        std::uint16_t localPort = 27005;
        query::Clock* clock = nullptr; // the system clock when null
    };

    explicit TForm1(const Options& options, QWidget* parent = nullptr);
    TForm1() : TForm1(Options{}) {}
    ~TForm1() override;

    // Seams to the windows created after this one; the window works without them.
    void setLiveSettings(options::LiveSettings* settings);
    void setOptionsWindow(QWidget* window) { m_optionsWindow = window; }
    void showOptionsAt(const char* field);
    void setAboutWindow(QWidget* window) { m_aboutWindow = window; }
    // Called at each change of the scan mode, to store it at once.
    void setScanModeStore(std::function<void(int)> store) { m_storeScanMode = std::move(store); }
    // The launcher and auto-connect take over the Play and auto buttons.
    void setPlayHandler(std::function<void()> handler) { m_playHandler = std::move(handler); }
    void setAutoHandler(std::function<void()> handler) { m_autoHandler = std::move(handler); }
    // «Подключиться к...» opens what this handler shows.
    void setConnectHandler(std::function<void()> handler) { m_connectHandler = std::move(handler); }
    // The recent servers' panel, under the list; «Недавние» in "Файл" (Ctrl+R) shows and hides it.
    void setRecentPanel(QWidget* panel, const QString& title, bool shown);
    // Whether auto-connect waits; it holds the scan and auto buttons.
    void setAutoArmed(std::function<bool()> armed) { m_scan->setAutoArmed(std::move(armed)); }
    // Applies the transparency settings to a window each time it is shown.
    void setShowHook(std::function<void(QWidget*)> hook) { m_showHook = std::move(hook); }
    // The controls, lists and timer that the launcher and auto-connect drive; the caller adds
    // the tray's part.
    launch::MainWindowParts launchParts();

    // SettingsHost
    int scanMode() const override;
    void setScanMode(int index) override;
    QSize windowSize() const override;
    void setWindowSize(const QSize& size) override;
    IntervalTimer& favouritesTimer() override { return TimerFav; }
    void setStatusText(int panel, const QString& text) override;
    QString statusText(int panel) const;

    // Handlers
    void LWSelectItem();
    void LWClick();
    void LWMouseDown();
    void LWDblClick();
    void LWPlayersColumnClick(int column);
    // Sorts by the column, the other way at a second click.
    void LWColumnClick(int column);
    void RGClick();
    void Options1Click();
    void About1Click();
    void Hide1Click();
    void Exit1Click();
    void SBPlayClick();
    void SBAutoClick();
    void SBScanAllClick();
    void SBStopClick();
    void SBRefreshClick();
    void TimerTimer();
    void TimerFavTimer();
    void PMSAddClick();
    // The selected row's "a.b.c.d:port", as the row shows them, to the clipboard.
    void PMSCopyClick();
    void Connect1Click();
    // The endpoint was asked to send nothing; its own error follows this box.
    void UDPBufferInvalid();

    // Hides the window to the tray; where the desktop has no tray it is minimised instead, so the
    // task bar can bring it back, and the status bar says why once a run.
    void hideWindow();
    // The hot key: a shown window hides (tray or not: the key brings it back), a hidden or
    // minimised one comes back to the front.
    void toggleWindow();
    // Where the window can hide to; the desktop's notification area when not set.
    void setTrayAvailable(std::function<bool()> available) { m_trayAvailable = std::move(available); }

    // Releases the endpoint; nothing is sent or received afterwards. Twice does nothing.
    void releaseEndpoint();
    // Brings the window back when a second copy of the program asks for it.
    void restoreFromSecondCopy();
    // Runs a handler, showing what it throws in the standard error box.
    void guarded(const std::function<void()>& handler);
    void showStandardError(const QString& message);

    net::UdpEndpoint& endpoint() { return m_scan->endpoint(); }
    browser::QueryService& queries() { return m_scan->queries(); }
    browser::ServerListModel& servers() { return m_scan->servers(); }
    browser::PlayersModel& playersModel() { return m_scan->players(); }
    browser::RulesModel& rulesModel() { return m_scan->rules(); }
    const Activity& activity() const { return m_activity; }
    // The list's order and filter, kept in the settings file.
    ListFinder& listFinder() { return *m_finder; }
    // The program is closing or the session ends: every long operation unwinds at its next step.
    void markClosing() { m_activity.markClosing(); }
    options::LiveSettings& liveSettings() const { return m_scan->settings(); }
    browser::ScanEngine& engine() { return m_scan->engine(); }
    // The public server lists a sweep asks when the options tick them.
    browser::MasterListFetch& masterLists() { return m_scan->masterLists(); }
    query::Clock& clock() { return *m_clock; }

signals:
    // The scan mode changed (by the user or by code).
    void scanModeChanged(int index);
    // The close was accepted: the program ends.
    void closeAccepted();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void buildJoinItems(QMenu* file);

    query::Clock* m_clock;
    Activity m_activity;
    std::unique_ptr<ScanController> m_scan;

    browser::ListView* LW = nullptr;
    browser::ListView* LWPlayers = nullptr;
    browser::ListView* LWRules = nullptr;
    QTabWidget* PageControl1 = nullptr;
    ScanModeGroup* RG = nullptr;
    QPushButton* SBScanAll = nullptr;
    QPushButton* SBStop = nullptr;
    QPushButton* SBRefresh = nullptr;
    QPushButton* SBAuto = nullptr;
    QPushButton* SBPlay = nullptr;
    QLabel* Image = nullptr;
    QMenu* PMServers = nullptr;
    QAction* Play = nullptr;
    QAction* Auto = nullptr;
    QAction* PMSAdd = nullptr;
    QAction* PMSCopy = nullptr;
    QAction* Connect1 = nullptr;
    QAction* Recent1 = nullptr;
    QMenu* m_fileMenu = nullptr;
    QAction* Hide1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* Options1 = nullptr;
    QAction* About1 = nullptr;
    IntervalTimer Timer{1000, this};
    IntervalTimer TimerAuto{5000, this};
    IntervalTimer TimerFav{10000, this};
    StatusPanels* m_panels = nullptr;
    ListFinder* m_finder = nullptr;

    QWidget* m_optionsWindow = nullptr;
    QWidget* m_aboutWindow = nullptr;
    std::function<void(int)> m_storeScanMode;
    std::function<void(QWidget*)> m_showHook;
    std::function<void()> m_playHandler;
    std::function<void()> m_autoHandler;
    std::function<void()> m_connectHandler;
    std::function<bool()> m_trayAvailable;
    // Hidden by the program (menu, launch, hot key, tray): the activation that follows a closing
    // menu or box must not show it again.
    bool m_hiddenByProgram = false;
    bool m_minimiseSaid = false;
};

} // namespace vantry
