#include "ProgramHelp.h"

#include "CliArguments.h"
#include "base/AppInfo.h"

namespace vantry::cli {

std::optional<std::string> programHelpOrVersion(const std::vector<std::string>& words)
{
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--")
            break;
        if (word == "--settings") {
            ++i; // its value, whatever it looks like
        } else if (word == "--help" || word == "-h" || word == "-?" || word == "--help-all") {
            return programUsageText();
        } else if (word == "--version" || word == "-v") {
            return appTitle().toStdString() + "\n";
        }
    }
    return std::nullopt;
}

std::optional<std::string> unknownCommandText(const std::vector<std::string>& words)
{
    if (words.empty() || (!words[0].empty() && words[0][0] == '-') || isCliCommand(words[0]))
        return std::nullopt;
    return "vantry: unknown command '" + words[0] + "'\n" + programUsageText();
}

std::string programUsageText()
{
    return "usage: vantry [--settings FILE] [--scan]\n"
           "Browser for Half-Life family game servers: opens the window.\n"
           "options:\n"
           "  --settings FILE  use FILE as the settings file; without it, vantry.ini beside the\n"
           "                   program when its folder is writable, else\n"
           "                   $XDG_CONFIG_HOME/vantry/vantry.ini (~/.config/vantry/vantry.ini)\n"
           "  --scan           start a sweep as soon as the window shows\n"
           "  -h, --help       print this text\n"
           "  -v, --version    print the version\n"
           "\n"
           "Without a window:\n" +
           usageText() + "Public server lists (Steam Web API, UDP masters): vantry master --help\n";
}

} // namespace vantry::cli
