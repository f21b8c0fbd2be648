#pragma once

#include "LaunchHost.h"
#include "SteamLibrary.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>

namespace vantry::options {
class LiveSettings;
}

namespace vantry::launch {

// What a launch needs of an armed auto-connect: the server it waits for, and how a launch ends
// the wait. Auto-connect implements it; the launcher holds no state of its own about it.
class RecentServers;
class ClientWatch;
struct ClientStart;

// A server the user names to join (the recent list, "Connect to..."), not a row picked in the list.
struct JoinTarget
{
    query::Endpoint server;
    query::Game kind = query::Game::Unknown; // the game to start when the server is not listed
    QString name;                            // kept for the recent list when it is not listed
    int protocol = 0;                        // 49: joined with the Xash3D FWGS client
};

class ArmedWait
{
public:
    virtual ~ArmedWait() = default;
    // The target while armed; nothing while off.
    virtual std::optional<query::Endpoint> armedTarget() const = 0;
    virtual void endByPlay() = 0;

protected:
    ArmedWait() = default;
    ArmedWait(const ArmedWait&) = default;
    ArmedWait& operator=(const ArmedWait&) = default;
};

// Starts the game client of a listed server and hides the main window: `TForm1.SBPlayClick`
// and the launches that the password prompt and auto-connect start.
//
// A password is bound to the server it was given for (address and port): only a launch to that
// server carries it and only that server's password-protected row skips the prompt with it.
class Launcher
{
public:
    enum class Outcome
    {
        Started,
        Refused,     // no such row any more, or none selected; a message said so
        Declined,    // No to the full-server question
        PromptShown, // the password prompt is open for the server
        UnknownKind, // the game kind has no slot; a message said so
        MissingPath, // the slot's game path is empty; a message said so
        StartFailed, // the client could not be started; a message gave the reason
    };

    Launcher(const options::LiveSettings& settings, LaunchHost& host);
    ~Launcher();

    // `SBPlayClick`: joins the selected row, or the auto-connect target while auto-connect waits
    // (which ends it).
    Outcome play();
    // Joins one server by address and port, not whatever row is selected: the password prompt's OK
    // and auto-connect's firing. Refused with a message when the server is no longer listed.
    Outcome playServer(const query::Endpoint& server);
    // Joins a named server: through its row when it is listed, so that the full-server question
    // and the password prompt come as for a click on the row; otherwise with the given game kind
    // and nothing asked, since nothing is known of the server.
    Outcome join(const JoinTarget& target);

    // The password prompt's OK: gives the password for the server and true, or, when the server
    // is no longer listed, says so and gives nothing.
    bool acceptPassword(const query::Endpoint& server, const QString& password);
    // Sets the password parameter and the password-given flag for one server.
    void givePassword(const QString& password, const query::Endpoint& server);
    // Cancel in the password prompt: the flag is cleared, the parameter stays.
    void withdrawPassword();
    // The password parameter a launch to this server carries: empty for every other server.
    QString passwordParamFor(const query::Endpoint& server) const;

    // Where Steam's copies of the games are looked up; the user's own Steam folders unless set.
    void setSteamLibrary(const SteamLibrary& library) { m_steam = &library; }

    // Where each start is recorded; none: starts are not recorded.
    void setRecentServers(RecentServers* recent) { m_recent = recent; }

    // The auto-connect a launch asks whether it waits; auto-connect installs itself. None: never armed.
    void setArmedWait(ArmedWait* wait) { m_armed = wait; }

    // "+password " and the last password given, appended to the command line of its server.
    const QString& passwordParam() const { return m_passwordParam; }
    // A password was just given and no launch has used or dropped it yet.
    bool passwordGiven() const { return m_passwordGiven; }

    // How long after its start a client that ends in error is reported, with its last lines.
    void setExitWatch(std::chrono::milliseconds window) { m_exitWatch = window; }
    // The watch over the last client started; none before the first start.
    const ClientWatch* clientWatch() const { return m_watch.get(); }

    // The program and arguments of the last client started, for the record.
    const QString& lastProgram() const { return m_lastProgram; }
    const QStringList& lastArguments() const { return m_lastArguments; }

private:
    Outcome launch(const ListedServer& row, const query::Endpoint& target);
    void refuse(const QString& text) const;
    void record(const ListedServer& row, const query::Endpoint& target);
    // Starts the client apart from this program; empty on success, otherwise the reason.
    QString startClient(const ClientStart& start, const QString& gamePath);

    const options::LiveSettings& m_settings;
    LaunchHost& m_host;
    ArmedWait* m_armed = nullptr;
    RecentServers* m_recent = nullptr;
    QString m_passwordParam;
    bool m_passwordGiven = false;
    std::optional<query::Endpoint> m_passwordServer;
    SteamFolders m_userSteam;
    const SteamLibrary* m_steam = &m_userSteam;
    QString m_lastProgram;
    QStringList m_lastArguments;
    std::chrono::milliseconds m_exitWatch{10000};
    std::unique_ptr<ClientWatch> m_watch;
};

} // namespace vantry::launch
