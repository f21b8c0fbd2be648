#pragma once

#include "CliArguments.h"

#include <optional>
#include <string>
#include <vector>

namespace vantry::cli {

// --help and --version of the window program (no command word), answered before anything needs a
// display: the text to print, or nothing when the words ask for neither. The words are those after
// the program's name.
std::optional<std::string> programHelpOrVersion(const std::vector<std::string>& words);

// When the first word is neither an option nor a command of the command line: the message for
// standard error (what is wrong, then the usage). Such a word never opens the window.
std::optional<std::string> unknownCommandText(const std::vector<std::string>& words);

// When a word is an option that neither the window program nor Qt knows, or a word where no word
// belongs: the message for standard error (what is wrong, then the usage). Answered before Qt
// needs a display, so a typo never ends in Qt's abort without one.
std::optional<std::string> unknownOptionText(const std::vector<std::string>& words);

// --settings and --scan from the words that Qt has left (Qt takes its own options out).
ParsedArguments windowArguments(const std::vector<std::string>& words);

// The window's options, then the commands that run without a window.
std::string programUsageText();

} // namespace vantry::cli
