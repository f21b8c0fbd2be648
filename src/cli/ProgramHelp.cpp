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

namespace {

// Qt's own options, which QApplication takes out of the arguments: those that take a value, then
// those that do not. Qt accepts them with one dash or two, and "-name=value".
constexpr std::string_view QtValueOptions[] = {"platform",      "platformpluginpath",
                                               "platformtheme", "plugin",
                                               "qmljsdebugger", "qwindowgeometry",
                                               "qwindowicon",   "qwindowtitle",
                                               "session",       "display",
                                               "geometry",      "style",
                                               "stylesheet",    "name",
                                               "title",         "visual",
                                               "cmap"};
constexpr std::string_view QtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

template <std::size_t N> bool among(std::string_view name, const std::string_view (&names)[N])
{
    for (std::string_view known : names) {
        if (name == known)
            return true;
    }
    return false;
}

} // namespace

std::optional<std::string> unknownOptionText(const std::vector<std::string>& words)
{
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        std::string_view name = word;
        if (name == "--")
            break;
        if (name.size() < 2 || name[0] != '-') {
            return "vantry: '" + word + "' is not an option; the window takes no other words\n" +
                   programUsageText();
        }
        name.remove_prefix(name.substr(0, 2) == "--" ? 2 : 1);
        const std::size_t equals = name.find('=');
        const bool inlineValue = equals != std::string_view::npos;
        name = name.substr(0, equals);
        if (word == "--settings" || among(name, QtValueOptions)) {
            // Its value is inline or the next word, whatever that looks like.
            if (!inlineValue && ++i == words.size())
                return "vantry: " + word + " wants a value\n" + programUsageText();
            continue;
        }
        if (word.rfind("--settings=", 0) == 0 || word == "--scan" || among(name, QtFlags))
            continue;
        return "vantry: unknown option '" + word + "'\n" + programUsageText();
    }
    return std::nullopt;
}

std::string programUsageText()
{
    return "usage: vantry [--settings FILE] [--scan]\n"
           "Browser for Half-Life family game servers: opens the window.\n"
           "options:\n"
           "  --settings FILE  use FILE as the settings file; without it,\n"
           "                   $XDG_CONFIG_HOME/vantry/vantry.ini (~/.config/vantry/vantry.ini),\n"
           "                   or the vantry.ini beside a portable copy of the program\n"
           "  --scan           start a sweep as soon as the window shows\n"
           "  -h, --help       print this text\n"
           "  -v, --version    print the version\n"
           "\n"
           "Without a window:\n" +
           usageText() + "Public server lists (Steam Web API, UDP masters): vantry master --help\n";
}

} // namespace vantry::cli
