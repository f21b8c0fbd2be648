#pragma once

#include "query/Endpoint.h"
#include "query/Records.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace vantry::launch {

// What the launcher and auto-connect need to know of one row of the server list.
struct ListedServer
{
    query::Game kind = query::Game::Unknown;
    query::Endpoint endpoint;
    std::optional<int> playerCount;     // none when the reply's text is not a number
    std::optional<int> maxPlayerCount;  // the same
    std::optional<query::Image> status; // Open, Full, Password, or none
    QString name;                       // as the list shows it; may be empty
    int protocol = 0;                   // 49: a Xash3D FWGS server; 0 when not known

    const query::Endpoint& server() const { return endpoint; }
};

// "a.b.c.d" and "a.b.c.d:port", as the messages and the game's command line show a server.
inline QString addressText(const query::Endpoint& server)
{
    return QString::fromStdString(query::addressText(server.address));
}
inline QString serverText(const query::Endpoint& server)
{
    return QString::fromStdString(query::endpointText(server));
}

// The main window as the launcher and auto-connect drive it. Everything runs on the window thread;
// none of these calls may open a box of its own.
class LaunchHost
{
public:
    enum class Button
    {
        ScanAll,
        Refresh,
        Play,
    };

    virtual ~LaunchHost() = default;

    // The server list.
    virtual std::optional<ListedServer> selectedServer() const = 0;
    virtual std::optional<ListedServer> findServer(const query::Endpoint& server) const = 0;
    // Selects the row of that server; false when it is not listed.
    virtual bool selectServer(const query::Endpoint& server) = 0;
    virtual void clearServers() = 0;
    // The info request and, with old servers on, the old info request. May throw the endpoint's error.
    virtual void sendInfoRequest(const query::Endpoint& server) = 0;

    // The main window's controls.
    virtual void setButtonEnabled(Button button, bool enabled) = 0;
    virtual void setAutoCaptionRed(bool red) = 0;
    virtual void setAutoTimerEnabled(bool enabled) = 0; // TimerAuto, 5000 ms
    // On: cycle the tray images; off: stop and show the first image.
    virtual void setTrayAnimation(bool on) = 0;
    virtual void setStatusText(int panel, const QString& text) = 0;

    // The window.
    virtual bool windowVisible() const = 0;
    // Makes a question visible while the main window stays hidden in the tray.
    virtual void restoreForQuestion() = 0;
    // Restores the application and brings its window to the foreground.
    virtual void bringToFront() = 0;
    virtual void hideWindow() = 0;

    // The dialogs, both not modal.
    virtual void showPasswordPrompt(const query::Endpoint& server) = 0;
    // The auto-connect dialog, with the presets of the selected row when there is one.
    virtual void showAutoDialog(const std::optional<ListedServer>& row) = 0;
    virtual void hideAutoDialog() = 0;
};

} // namespace vantry::launch
