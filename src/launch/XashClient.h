#pragma once

#include "query/Records.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace vantry::launch {

class SteamLibrary;
struct ClientStart;
struct SteamFindings;

// The Flatpak of the Xash3D FWGS client, and the client path that stands for it in the settings,
// as "steam://<id>" stands for Steam's copy of a game.
inline const QString XashFlatpakId = QStringLiteral("su.xash.Engine.Compat.i386");
QString xashFlatpakPath();

// The game folder the client is given with -game: valve, cstrike or czero; empty for the newer
// engine's games.
QString xashGameFolder(query::Game game);

// Where Steam keeps Half-Life's data (common/Half-Life, which Counter-Strike and Condition Zero
// share); empty when Steam has none of the three.
QString steamHalfLifeFolder(const SteamFindings& found);

struct XashLaunch
{
    QString client; // a file, or xashFlatpakPath()
    query::Game game = query::Game::CounterStrike16;
    QString address;
    QString port;
    QString passwordParam;
    QString wrapper; // the game slot's launch wrapper; empty: none
};

// The client with -game <folder>, the password and "+connect address:port", as the GoldSrc
// client takes them: a file directly in its own folder (the engine's libraries lie beside it), the
// Flatpak through `flatpak run`. When Steam has Half-Life, its folder is the engine's read-only game
// data (XASH3D_RODIR), so that the games Steam installed need no copy; a folder the user's own
// environment names is kept. The launch wrapper goes around whichever starts.
ClientStart planXashStart(const XashLaunch& launch, const SteamLibrary& steam);

// Where the browse button looks for the client: the Flatpak installed for the user (under the
// home) or for the system (under each of systemFlatpaks), and `xash3d` on PATH. Menu labels with
// the client paths they stand for, in that order.
QList<std::pair<QString, QString>> offeredXashClients(const QString& home = {},
                                                      const QStringList& systemFlatpaks = {
                                                          QStringLiteral("/var/lib/flatpak")});

} // namespace vantry::launch
