#pragma once

#include "launch/LaunchHost.h"

#include <QObject>
#include <QPalette>

#include <functional>
#include <memory>

class QPushButton;
class QWidget;

namespace vantry {
class IniFile;
class IntervalTimer;
} // namespace vantry
namespace vantry::options {
class LiveSettings;
}
namespace vantry::browser {
class ListView;
class QueryService;
class ServerListModel;
} // namespace vantry::browser

namespace vantry::launch {

class AutoConnect;
class Launcher;
class TFormAuto;
class TFormPass;

// The main window's pieces that the launcher and auto-connect drive.
struct MainWindowParts
{
    QWidget* window = nullptr; // the main window
    browser::ServerListModel* servers = nullptr;
    browser::ListView* list = nullptr; // LW
    browser::QueryService* queries = nullptr;
    QPushButton* scanAll = nullptr;     // SBScanAll
    QPushButton* refresh = nullptr;     // SBRefresh
    QPushButton* play = nullptr;        // SBPlay
    QPushButton* autoButton = nullptr;  // SBAuto
    IntervalTimer* autoTimer = nullptr; // TimerAuto
    std::function<void(int panel, const QString& text)> setStatus;
    // On: cycle the tray images; off: stop and show the first one. Optional.
    std::function<void(bool on)> trayAnimation;
    // Hides the window after a launch; window->hide() when not set.
    std::function<void()> hide;
    // Runs a handler and shows what it throws in the standard error box. Optional.
    std::function<void(const std::function<void()>&)> guard;
};

// The launcher, auto-connect and their two dialogs, joined to the main window's controls.
// Polls run on TimerAuto and the auto-connect check on every new row of the server list; the
// main window calls launcher().play() from SBPlayClick and autoConnect().toggle() from
// SBAutoClick. Create it after the options dialog (it reads section "Password").
class MainWindowLink : public QObject, public LaunchHost
{
    Q_OBJECT
public:
    MainWindowLink(const MainWindowParts& parts, const options::LiveSettings& settings,
                   const IniFile* settingsFile, QObject* parent = nullptr);
    ~MainWindowLink() override;

    Launcher& launcher() { return *m_launcher; }
    AutoConnect& autoConnect() { return *m_autoConnect; }
    TFormPass& passForm() { return *m_pass; }
    TFormAuto& autoForm() { return *m_auto; }

    // Applies the transparency to both dialogs each time they are shown.
    void setShowHook(const std::function<void(QWidget*)>& hook);

    // LaunchHost
    std::optional<ListedServer> selectedServer() const override;
    std::optional<ListedServer> findServer(const query::Endpoint& server) const override;
    bool selectServer(const query::Endpoint& server) override;
    void clearServers() override;
    void sendInfoRequest(const query::Endpoint& server) override;
    void setButtonEnabled(Button button, bool enabled) override;
    void setAutoCaptionRed(bool red) override;
    void setAutoTimerEnabled(bool enabled) override;
    void setTrayAnimation(bool on) override;
    void setStatusText(int panel, const QString& text) override;
    bool windowVisible() const override;
    void restoreForQuestion() override;
    void bringToFront() override;
    void hideWindow() override;
    void showPasswordPrompt(const query::Endpoint& server) override;
    void showAutoDialog(const std::optional<ListedServer>& row) override;
    void hideAutoDialog() override;

private:
    ListedServer entry(int row) const;
    void guarded(const std::function<void()>& handler);

    MainWindowParts m_parts;
    QPalette m_autoPalette;
    std::unique_ptr<Launcher> m_launcher;
    std::unique_ptr<AutoConnect> m_autoConnect;
    std::unique_ptr<TFormPass> m_pass;
    std::unique_ptr<TFormAuto> m_auto;
};

} // namespace vantry::launch
