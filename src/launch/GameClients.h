#pragma once

#include "query/Records.h"

#include <QString>

#include <array>

namespace vantry::options {
class LiveSettings;
}

namespace vantry::launch {

class SteamLibrary;

// The client a server is joined with: the Xash3D FWGS client for a server of protocol 49, the
// game slot's own client otherwise.
struct NeededClient
{
    bool xash = false;
    int slot = -1; // the game's slot, also for the Xash client (its launch wrapper); -1: none
    QString path;  // empty: not set
};
NeededClient neededClient(const options::LiveSettings& settings, query::Game game, int protocol);

// What «Играть» says when the client is not set: the slot's own message (as the program has always
// said it), then, in the window's language, where to set it.
QString missingClientText(const NeededClient& client);

// The GoldSrc slots (HL, CS1.5, CS1.6, CZERO) that one client runs.
inline constexpr int GoldSrcSlots = 4;

// The game path a GoldSrc slot gets from the client just picked for another one: the same file,
// as one hl_linux (or hl.sh, hl.exe) runs all four games, or for Steam's copy of a game, Steam's
// copy of the slot's own game; empty when Steam lacks it.
QString sharedGoldSrcPath(const SteamLibrary& steam, int slot, const QString& picked);

// Steam's copies of the GoldSrc slots' games, as game paths; empty for a slot whose game Steam
// lacks.
std::array<QString, GoldSrcSlots> steamGoldSrcPaths(const SteamLibrary& steam);

} // namespace vantry::launch
