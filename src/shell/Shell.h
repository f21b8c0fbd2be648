#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace vantry::query {
struct ServerRow;
}

namespace vantry {

class HotKey;
class Notifier;
class Notifications;
class MinimiseToTray;
class SessionEnd;
class TForm1;
class TFormAbout;
class Tray;
namespace options {
class TSettings;
}
namespace launch {
class ConnectDialog;
class MainWindowLink;
class RecentServers;
} // namespace launch

// The application's name and version as the desktop sees them. No display name: the desktop
// would add it to every dialog's caption, and the captions are the program's own.
void setApplicationIdentity();

// The program's windows, created in order at start-up and destroyed in the reverse order, so
// that the options dialog still sees the main window when it writes the settings file.
//
// The shell owns the program's life: the process ends when, and only when, the main window's
// close is accepted (menu, close box, tray, signal, log-off), whatever other window is open or
// hidden; closing a dialog or a box never ends it.
class Shell
{
public:
    struct Options
    {
        QString settingsFile; // empty: the default place (settingsFilePath)
        std::uint16_t localPort = 27005;
        bool hotKey = true;
        // Where notifications go; null: the desktop's service, or the tray's balloon.
        Notifier* notifier = nullptr;
        // Whether the desktop has a tray to hide to; null: ask the desktop.
        std::function<bool()> trayAvailable;
    };

    explicit Shell(const Options& options);
    ~Shell();

    TForm1& mainWindow() { return *m_form; }
    options::TSettings& settings() { return *m_settings; }
    launch::MainWindowLink& launch() { return *m_launch; }
    launch::RecentServers& recent() { return *m_recent; }
    launch::ConnectDialog& connectForm() { return *m_connect; }
    TFormAbout& about() { return *m_about; }
    Tray& tray() { return *m_tray; }
    void show();
    // Shows the main window and runs the event loop until the main window closes; returns at
    // once when it closed during start-up (a signal while the hot key's box was open).
    int run();
    // The main window's close was accepted: the program is on its way out.
    bool finished() const { return m_finished; }
    // Log-off, shut-down or a termination signal: release the endpoint, remove the tray icon
    // and close; the settings are still written on the way out.
    void endSession();

private:
    void addNotifications(Notifier* notifier);
    // The one way out: closes every other window and box (a box's own loop ends with it) and
    // ends the event loop.
    void finish();
    // The recent list, «Подключиться к...» and the favourites' last answers.
    void joinByName();
    void noteFavouriteAnswer(const query::ServerRow& row);

    bool m_finished = false;
    bool m_running = false;
    bool m_steamOffered = false;
    std::unique_ptr<TForm1> m_form;
    std::unique_ptr<Tray> m_tray;
    std::unique_ptr<MinimiseToTray> m_minimise;
    std::unique_ptr<HotKey> m_hotKey;
    std::unique_ptr<SessionEnd> m_sessionEnd;
    std::unique_ptr<options::TSettings> m_settings;
    std::unique_ptr<TFormAbout> m_about;
    std::unique_ptr<launch::MainWindowLink> m_launch;
    std::unique_ptr<launch::RecentServers> m_recent;
    std::unique_ptr<launch::ConnectDialog> m_connect;
    bool m_answerWriteFailed = false;
    std::unique_ptr<Notifier> m_ownNotifier;
    Notifications* m_notifications = nullptr;
};

} // namespace vantry
