#pragma once

#include <QString>

#include <cstdint>
#include <memory>

namespace vantry {

class HotKey;
class MinimiseToTray;
class SessionEnd;
class TForm1;
class TFormAbout;
class Tray;
namespace options {
class TSettings;
}
namespace launch {
class MainWindowLink;
}

// The program's windows, created in order at start-up and destroyed in the reverse order, so
// that the options dialog still sees the main window when it writes the settings file.
class Shell
{
public:
    struct Options
    {
        QString settingsFile; // empty: vantry.ini beside the executable
        std::uint16_t localPort = 27005;
        bool hotKey = true;
    };

    explicit Shell(const Options& options);
    ~Shell();

    TForm1& mainWindow() { return *m_form; }
    options::TSettings& settings() { return *m_settings; }
    launch::MainWindowLink& launch() { return *m_launch; }
    void show();
    // Log-off, shut-down or a termination signal: release the endpoint, remove the tray icon
    // and close; the settings are still written on the way out.
    void endSession();

private:
    std::unique_ptr<TForm1> m_form;
    std::unique_ptr<Tray> m_tray;
    std::unique_ptr<MinimiseToTray> m_minimise;
    std::unique_ptr<HotKey> m_hotKey;
    std::unique_ptr<SessionEnd> m_sessionEnd;
    std::unique_ptr<options::TSettings> m_settings;
    std::unique_ptr<TFormAbout> m_about;
    std::unique_ptr<launch::MainWindowLink> m_launch;
};

} // namespace vantry
