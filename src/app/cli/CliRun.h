#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vantry::cli {

// Exit statuses of the command line.
inline constexpr int ExitAnswered = 0;     // at least one server answered
inline constexpr int ExitNoneAnswered = 1; // none did (or the network could not be used)
inline constexpr int ExitBadArguments = 2;

// Runs "query ..." or "sweep ..." (the words after the program name) and returns the exit status.
// Results go to `out`, messages to `err`. No window, no settings file unless --settings names one.
int runCli(const std::vector<std::string>& words, std::ostream& out, std::ostream& err);

// The same for main(): argv[1] is the command; standard output and standard error.
int runCli(int argc, char** argv);

} // namespace vantry::cli
