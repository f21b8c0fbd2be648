#pragma once

namespace vantry {

// The language of the window texts. Russian is the program's own; English is its one translation.
enum class UiLanguage
{
    Russian,
    English,
};

// Chosen from the values of LANGUAGE and LANG (null when unset). LANGUAGE, a colon-separated list
// of preferences, decides by its first entry when it names one; otherwise LANG does. A name that
// starts with "en" ("en", "en_GB.UTF-8", "en@quot") means English; anything else and nothing at
// all mean Russian. LANG naming the C or POSIX locale means Russian whatever LANGUAGE says, as
// it turns off the translations of gettext.
UiLanguage uiLanguage(const char* language, const char* lang);

// The same for this process's environment.
UiLanguage uiLanguageFromEnvironment();

} // namespace vantry
