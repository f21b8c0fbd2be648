#pragma once

#include "ProfileTable.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantry::emu {

// One line of a profile file; blank lines and '#' comments are allowed:
//   server ADDR[:PORT] [key=value ...]        one server (no port: any listening port)
//   range ADDR count=N [step=S] [port=P] [key=value ...]
//   listen PORT [PORT ...]
// Keys: kind (hl1|source|old|silent), name, map, dir, desc, players, max, bots, protocol, type,
// os, password, appid, version, advport, proxy, split (0|1), challenge (8 hex digits),
// player=NAME:KILLS (repeatable), rule=NAME=VALUE (repeatable), rules=N (N generated rules),
// infochallenge (0|1: info behind a challenge), both (0|1: 'm' and 'I' to one info request),
// nsplit=SIZE (rules split the newer engine's way, SIZE payload bytes a fragment), bzip (0|1),
// order (forward|reverse|shuffle), withhold=N (fragment N never sent), oldsource (0|1: the older
// Source engine's 10-byte fragment header, without the split size), single (0|1: with nsplit, a
// reply that fits, players too, still leaves behind the header, total 1), playerlist=N (N generated
// players), wide (0|1: the players reply in one datagram of any length), deaf=N (the first N
// requests go unanswered).
// An older-engine server in the 'I' layout: kind=source protocol=48 appid=10 dir=cstrike
// desc=Counter-Strike.
// Values with blanks go in double quotes. Throws std::invalid_argument naming the fault.
void applyProfileLine(const std::string& line, ProfileTable& table, std::vector<std::uint16_t>& ports);
void loadProfileFile(const std::string& path, ProfileTable& table, std::vector<std::uint16_t>& ports);

// Splits at blanks, keeping double-quoted runs together (the quotes removed).
std::vector<std::string> splitWords(const std::string& line);

} // namespace vantry::emu
