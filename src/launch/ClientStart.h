#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace vantry::launch {

class SteamLibrary;

// A game path of the form "steam://" and an application number stands for Steam's own copy of
// that game. It is kept in the settings like any other path.
QString steamGamePath(int appId);
// The application number of such a path; 0 for any other path.
int steamAppOfPath(const QString& gamePath);

struct GameLaunch
{
    int slot = -1;
    QString gamePath;
    QString startParams;
    QString address;
    QString port;
    QString passwordParam;
    QString wrapper; // the game's launch wrapper, "gamemoderun %command%"; empty: none
};

// A program with its arguments, to be started without a shell, or why nothing can start.
struct ClientStart
{
    QString program;
    QStringList arguments;
    QString workingDirectory; // empty: the program inherits ours
    QString failure;          // English, to follow "Unable to start <path>: "
    QStringList environment;  // "NAME=value" set for the program over ours

    static ClientStart failed(const QString& reason)
    {
        ClientStart start;
        start.failure = reason;
        return start;
    }
};

// How a slot's game path starts on this machine:
// - a Linux client (hl_linux, hl.sh, ...) directly, in its own folder;
// - a Windows program (.exe, recognised by its "MZ" header) through `wine`, in its own folder;
// - "steam://<id>", a picked `steam` program, any file inside the folder of Steam's copy of the
//   slot's game (hl_linux, hl.sh: they need Steam's runtime), or a Source game's launch script
//   (hl2.sh, cstrike.sh, hl2mp.sh, which refuse to start outside Steam's runtime) for a game Steam
//   has installed: through the Steam client, `steam` or the Flatpak's, with -applaunch <id> before the
//   game's own arguments.
// The game's own arguments are the start parameters, the password and "+connect" (GameCommand).
// The launch wrapper, when there is one, wraps whichever of these starts (LaunchWrapper).
ClientStart planClientStart(const GameLaunch& launch, const SteamLibrary& steam);

// For the options dialog's browse button: Steam's copy of the slot's game as a menu label and the
// game path that stands for it; the reasons Steam's files could not be read go to problems.
QList<std::pair<QString, QString>> offeredClients(const SteamLibrary& steam, int slot, QStringList* problems);
// What the user should know about a game path just picked for a slot; empty when nothing.
QString pickedClientNotice(const SteamLibrary& steam, int slot, const QString& path);

} // namespace vantry::launch
