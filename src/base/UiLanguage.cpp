#include "UiLanguage.h"

#include "IniFile.h"

#include <cstdlib>
#include <string_view>

namespace vantry {

namespace {

// The language part alone or followed by the rest of a locale name: territory, code set or
// modifier. A name such as "enx" is another language.
bool isLanguage(std::string_view name, std::string_view language)
{
    if (name.substr(0, language.size()) != language)
        return false;
    if (name.size() == language.size())
        return true;
    const char next = name[language.size()];
    return next == '_' || next == '.' || next == '@' || next == '-';
}

bool isPlainLocale(std::string_view name)
{
    return name == "C" || name == "POSIX" || name.substr(0, 2) == "C.";
}

std::string_view text(const char* value)
{
    return value ? value : "";
}

UiLanguage ofLocale(std::string_view name)
{
    if (name.empty() || isPlainLocale(name) || isLanguage(name, "ru"))
        return UiLanguage::Russian;
    return UiLanguage::English;
}

// Empty entries (a leading or doubled colon) name nothing; an empty list: none.
std::optional<UiLanguage> ofPreferences(std::string_view list)
{
    bool named = false;
    while (!list.empty()) {
        const std::size_t colon = list.find(':');
        const std::string_view entry = list.substr(0, colon);
        named = named || !entry.empty();
        if (isLanguage(entry, "ru"))
            return UiLanguage::Russian;
        if (isLanguage(entry, "en"))
            return UiLanguage::English;
        if (colon == std::string_view::npos)
            break;
        list.remove_prefix(colon + 1);
    }
    if (named)
        return UiLanguage::English;
    return std::nullopt;
}

} // namespace

UiLanguage uiLanguage(const LocaleVariables& v)
{
    if (!text(v.lcAll).empty())
        return ofLocale(text(v.lcAll));
    if (!text(v.lcMessages).empty())
        return ofLocale(text(v.lcMessages));
    const std::string_view lang = text(v.lang);
    if (!lang.empty() && !isPlainLocale(lang))
        if (const std::optional<UiLanguage> preferred = ofPreferences(text(v.language)))
            return *preferred;
    return ofLocale(lang);
}

UiLanguage uiLanguageFromEnvironment()
{
    return uiLanguage(
        {std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANGUAGE"), std::getenv("LANG")});
}

std::optional<UiLanguage> languageSetting(const IniFile& file)
{
    const QString value =
        file.readString(QStringLiteral("Language"), QStringLiteral("Language"), QString()).trimmed();
    if (value.compare(u"ru", Qt::CaseInsensitive) == 0)
        return UiLanguage::Russian;
    if (value.compare(u"en", Qt::CaseInsensitive) == 0)
        return UiLanguage::English;
    return std::nullopt;
}

} // namespace vantry
