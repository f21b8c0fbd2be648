#pragma once

#include <optional>

namespace vantry {

class IniFile;

// The language of the window texts. Russian is the program's own; English is its one translation.
enum class UiLanguage
{
    Russian,
    English,
};

// The locale variables that choose it, null when unset.
struct LocaleVariables
{
    const char* lcAll = nullptr;
    const char* lcMessages = nullptr;
    const char* language = nullptr;
    const char* lang = nullptr;
};

// The first of LC_ALL, LC_MESSAGES, LANGUAGE and LANG that is set and not empty decides, as for
// the messages of gettext. A locale name decides by its language: "ru…" Russian, "en…" English, the
// C and POSIX locales Russian (the program's own texts, untranslated), any other language English.
// LANGUAGE, a colon-separated list of preferences, is decided by its first entry that names Russian
// or English, and is English when none does; as with gettext it is honoured only when the locale
// (LANG here) is set and not C or POSIX. Nothing set at all is the C locale.
UiLanguage uiLanguage(const LocaleVariables& variables);

// The same for this process's environment.
UiLanguage uiLanguageFromEnvironment();

// Section "Language", key "Language": "ru" or "en" chooses whatever the desktop says; anything else
// and no key leave the choice to the desktop.
std::optional<UiLanguage> languageSetting(const IniFile& file);

} // namespace vantry
