#include "UiLanguage.h"

#include <cstdlib>
#include <string_view>

namespace vantry {

namespace {

// "en" alone or followed by the rest of a locale name: territory, code set or modifier. A name
// such as "enx" is another language.
bool isEnglish(std::string_view name)
{
    if (name.substr(0, 2) != "en")
        return false;
    return name.size() == 2 || name[2] == '_' || name[2] == '.' || name[2] == '@' || name[2] == '-';
}

// As with gettext, the C and POSIX locales turn the translations off, LANGUAGE included.
bool isPlainLocale(std::string_view name)
{
    return name == "C" || name == "POSIX" || name.substr(0, 2) == "C.";
}

std::string_view firstEntry(const char* list)
{
    std::string_view rest = list ? list : "";
    // Empty entries (a leading or doubled colon) name nothing.
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string_view entry = rest.substr(0, colon);
        if (!entry.empty())
            return entry;
        if (colon == std::string_view::npos)
            break;
        rest.remove_prefix(colon + 1);
    }
    return {};
}

} // namespace

UiLanguage uiLanguage(const char* language, const char* lang)
{
    const std::string_view locale = lang ? lang : "";
    if (isPlainLocale(locale))
        return UiLanguage::Russian;
    std::string_view chosen = firstEntry(language);
    if (chosen.empty())
        chosen = locale;
    return isEnglish(chosen) ? UiLanguage::English : UiLanguage::Russian;
}

UiLanguage uiLanguageFromEnvironment()
{
    return uiLanguage(std::getenv("LANGUAGE"), std::getenv("LANG"));
}

} // namespace vantry
