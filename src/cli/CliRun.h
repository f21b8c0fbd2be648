#pragma once

#include "query/Clock.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace vantry::cli {

// Exit statuses of the command line.
inline constexpr int ExitAnswered = 0;     // at least one server answered
inline constexpr int ExitNoneAnswered = 1; // none did (or the network could not be used)
inline constexpr int ExitBadArguments = 2;

// Looks a host name up as an IPv4 address (host order); on failure none, and why in `reason`.
using HostLookup = std::function<std::optional<std::uint32_t>(const std::string& host, std::string& reason)>;

// The system's resolver.
std::optional<std::uint32_t> systemHostLookup(const std::string& host, std::string& reason);

// Runs "query ...", "sweep ..." or "master ..." (the words after the program name) and returns the exit
// status. Results go to `out`, messages to `err`. No window, no settings file unless --settings names one.
// Host names are looked up by the system's resolver, or by `lookup`. Waits, pace and time-outs
// are measured on `clock`.
int runCli(const std::vector<std::string>& words, std::ostream& out, std::ostream& err);
int runCli(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
           const HostLookup& lookup, query::Clock& clock = query::systemClock());

// Says what is wrong and where to read more ("Try 'vantry COMMAND --help'."); returns the status.
int badArguments(std::ostream& err, const std::string& text, const char* command);

struct StandardStreams;
// The same for main(): argv[1] is the command; standard output and standard error. Output that
// cannot be written ends in a message and its own status.
int runCli(int argc, char** argv, const StandardStreams& streams);

} // namespace vantry::cli
