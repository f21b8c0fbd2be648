#include "ProgramHelp.h"

#include "CliArguments.h"
#include "OptionTable.h"
#include "base/AppInfo.h"

namespace vantry::cli {

std::optional<std::string> programHelpOrVersion(const std::vector<std::string>& words)
{
    CliOptions o;
    for (std::size_t i = 0; i < words.size() && words[i] != "--"; ++i) {
        // Qt's own help option answers to these as well.
        o.help = o.help || words[i] == "-?" || words[i] == "--help-all";
        if (const Option* own = findOption(Command::Window, words[i]); own && own->argument)
            ++i; // its value, whatever it looks like
        else if (own)
            own->apply(o, {});
        if (o.help)
            return programUsageText();
        if (o.version)
            return appTitle().toStdString() + "\n";
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
    for (std::size_t i = 0; i < words.size() && words[i] != "--"; ++i) {
        const std::string& word = words[i];
        if (word.size() < 2 || word[0] != '-') {
            return "vantry: '" + word + "' is not an option; the window takes no other words\n" +
                   programUsageText();
        }
        const std::size_t equals = word.find('=');
        const bool inlineValue = equals != std::string::npos;
        const Option* own = findOption(Command::Window, std::string_view(word).substr(0, equals));
        std::string_view name = std::string_view(word).substr(0, equals);
        name.remove_prefix(name.substr(0, 2) == "--" ? 2 : 1);
        if ((own && own->argument) || (!own && among(name, QtValueOptions))) {
            // Its value is inline or the next word, whatever that looks like.
            if (!inlineValue && ++i == words.size())
                return "vantry: " + word + " wants a value\n" + programUsageText();
            continue;
        }
        if ((own && !inlineValue) || (!own && among(name, QtFlags)))
            continue;
        return "vantry: unknown option '" + word + "'\n" + programUsageText();
    }
    return std::nullopt;
}

ParsedArguments windowArguments(const std::vector<std::string>& words)
{
    CliOptions o;
    o.command = Command::Window;
    std::vector<std::string> ignored;
    if (auto error = readOptions(Command::Window, words, 0, o, ignored))
        return {std::nullopt, std::move(*error)};
    return {std::move(o), {}};
}

std::string programUsageText()
{
    return "usage: vantry [--settings FILE] [--scan]\n"
           "Browser for Half-Life family game servers: opens the window.\n"
           "options:\n" +
           optionLines(Section::Window) + "\nWithout a window:\n" + usageText() +
           "Public server lists (Steam Web API, UDP masters): vantry master --help\n";
}

} // namespace vantry::cli
