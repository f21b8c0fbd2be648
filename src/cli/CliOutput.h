#pragma once

#include "ResultFilter.h"
#include "query/QuerySession.h"

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vantry::cli {

using ServerResult = query::QueryResult;

struct OutputChoice
{
    bool json = false;
    bool players = false;
    bool rules = false;
    ResultFilter filter;
};

// Whether the UTF-8 name holds the UTF-8 text, ignoring case in any script.
bool playerMatches(std::string_view name, std::string_view text);
// The servers with a player matching text, each with its matching players only.
std::vector<ServerResult> withPlayer(std::vector<ServerResult> servers, std::string_view text);

// A JSON string literal for any bytes: well-formed UTF-8 passes through, controls, quotes and
// backslashes are escaped, and a byte that is not part of well-formed UTF-8 becomes \u00XX.
std::string jsonString(std::string_view bytes);

// The operating system as a word: "windows", "linux", "mac", or the indicator itself.
std::string osName(char indicator);

// Lines: address:port, kind, name, map, players/max, protocol, WIN/LIN, open/full/password/-,
// ping in ms or "-", separated by tabs (controls in texts become blanks); players and rules
// follow their server, one a line, indented by a tab. A refused host has no line, as a silent one.
void writeLines(std::ostream& out, const std::vector<ServerResult>& servers, const OutputChoice& choice);
// An array of objects, one a line; "status" is "open", "full", "password" or null for a server,
// "refused" for a host whose port is closed (which has only its address and port besides).
void writeJson(std::ostream& out, const std::vector<ServerResult>& servers, const OutputChoice& choice);

} // namespace vantry::cli
