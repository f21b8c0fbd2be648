// Which language the windows speak, from the environment as a desktop session sets it.
#include "base/UiLanguage.h"

#include "base/IniFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace vantry {
namespace {

struct Case
{
    LocaleVariables variables;
    UiLanguage expected;
};

std::string shown(const char* value)
{
    return value ? '"' + std::string(value) + '"' : std::string("(unset)");
}

TEST(UiLanguage, DesktopPrecedenceAndTheLanguagesThatMeanEnglish)
{
    using L = UiLanguage;
    const Case cases[] = {
        // LANG alone, as most sessions set it: Russian for Russian, English for every other language.
        {{nullptr, nullptr, nullptr, "en_US.UTF-8"}, L::English},
        {{nullptr, nullptr, nullptr, "en_GB"}, L::English},
        {{nullptr, nullptr, nullptr, "en@quot"}, L::English},
        {{nullptr, nullptr, nullptr, "ru_RU.UTF-8"}, L::Russian},
        {{nullptr, nullptr, nullptr, "ru_UA"}, L::Russian},
        {{nullptr, nullptr, nullptr, "de_DE.UTF-8"}, L::English},
        {{nullptr, nullptr, nullptr, "uk_UA.UTF-8"}, L::English},
        // "rux" is not Russian.
        {{nullptr, nullptr, nullptr, "rux_XX"}, L::English},
        // The C and POSIX locales and a session without any language: the program's own texts.
        {{nullptr, nullptr, nullptr, "C"}, L::Russian},
        {{nullptr, nullptr, nullptr, "C.UTF-8"}, L::Russian},
        {{nullptr, nullptr, nullptr, "POSIX"}, L::Russian},
        {{nullptr, nullptr, nullptr, ""}, L::Russian},
        {{nullptr, nullptr, nullptr, nullptr}, L::Russian},
        // LC_ALL, then LC_MESSAGES, outrank LANGUAGE and LANG; an empty one is as good as unset.
        {{"en_US.UTF-8", "ru_RU.UTF-8", "ru", "ru_RU.UTF-8"}, L::English},
        {{"ru_RU.UTF-8", "en_US.UTF-8", "en", "en_US.UTF-8"}, L::Russian},
        {{"C", nullptr, "en", "en_US.UTF-8"}, L::Russian},
        {{nullptr, "en_GB.UTF-8", "ru", "ru_RU.UTF-8"}, L::English},
        {{"", "ru_RU.UTF-8", "en", "en_US.UTF-8"}, L::Russian},
        {{"", "", "en", "ru_RU.UTF-8"}, L::English},
        // LANGUAGE before LANG: its first entry naming Russian or English decides.
        {{nullptr, nullptr, "en_US:ru", "ru_RU.UTF-8"}, L::English},
        {{nullptr, nullptr, "ru:en", "en_US.UTF-8"}, L::Russian},
        {{nullptr, nullptr, "de_DE:en_US", "ru_RU.UTF-8"}, L::English},
        {{nullptr, nullptr, "de_DE:ru", "en_US.UTF-8"}, L::Russian},
        // A list of other languages only is English, like a LANG of another language.
        {{nullptr, nullptr, "fr:de", "ru_RU.UTF-8"}, L::English},
        // An empty LANGUAGE, or empty entries, name nothing: LANG decides.
        {{nullptr, nullptr, "", "ru_RU.UTF-8"}, L::Russian},
        {{nullptr, nullptr, ":", "ru_RU.UTF-8"}, L::Russian},
        {{nullptr, nullptr, "::en_GB:ru", "ru_RU.UTF-8"}, L::English},
        // As with gettext, LANGUAGE is not honoured in the C locale, nor without any locale.
        {{nullptr, nullptr, "en_US:en", "C"}, L::Russian},
        {{nullptr, nullptr, "en", "POSIX"}, L::Russian},
        {{nullptr, nullptr, "en", nullptr}, L::Russian},
    };
    for (const Case& c : cases)
        EXPECT_EQ(uiLanguage(c.variables), c.expected)
            << "LC_ALL=" << shown(c.variables.lcAll) << " LC_MESSAGES=" << shown(c.variables.lcMessages)
            << " LANGUAGE=" << shown(c.variables.language) << " LANG=" << shown(c.variables.lang);
}

TEST(UiLanguage, SettingsFileChoiceOverridesTheDesktop)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vantry.ini"));
    const auto choice = [&](const QByteArray& text) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        return languageSetting(IniFile(path));
    };
    EXPECT_EQ(choice("[Language]\r\nLanguage=en\r\n"), UiLanguage::English);
    EXPECT_EQ(choice("[Settings]\nCSPort=27015\n[Language]\nLanguage = RU \n"), UiLanguage::Russian);
    // No key, an empty one, or a language the program has not: the desktop decides.
    EXPECT_EQ(choice("[Settings]\nCSPort=27015\n"), std::nullopt);
    EXPECT_EQ(choice("[Language]\nLanguage=\n"), std::nullopt);
    EXPECT_EQ(choice("[Language]\nLanguage=de\n"), std::nullopt);
    EXPECT_EQ(languageSetting(IniFile(dir.filePath(QStringLiteral("missing.ini")))), std::nullopt);
}

// Sets a variable for the life of the object and puts the old value back.
class ScopedVariable
{
public:
    ScopedVariable(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedVariable() { m_old ? setenv(m_name, m_old->c_str(), 1) : unsetenv(m_name); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(UiLanguage, EnvironmentIsReadInTheDesktopsOrder)
{
    ScopedVariable all("LC_ALL", nullptr);
    ScopedVariable messages("LC_MESSAGES", nullptr);
    {
        ScopedVariable language("LANGUAGE", nullptr);
        ScopedVariable lang("LANG", "en_US.UTF-8");
        EXPECT_EQ(uiLanguageFromEnvironment(), UiLanguage::English);
    }
    {
        ScopedVariable language("LANGUAGE", "ru_RU:en_US");
        ScopedVariable lang("LANG", "en_US.UTF-8");
        EXPECT_EQ(uiLanguageFromEnvironment(), UiLanguage::Russian);
    }
    {
        ScopedVariable language("LANGUAGE", "en_GB:ru");
        ScopedVariable lang("LANG", "ru_RU.UTF-8");
        EXPECT_EQ(uiLanguageFromEnvironment(), UiLanguage::English);
    }
    {
        ScopedVariable language("LANGUAGE", nullptr);
        ScopedVariable lang("LANG", "C");
        EXPECT_EQ(uiLanguageFromEnvironment(), UiLanguage::Russian);
    }
    {
        ScopedVariable language("LANGUAGE", "ru");
        ScopedVariable lang("LANG", "ru_RU.UTF-8");
        ScopedVariable only("LC_MESSAGES", "en_US.UTF-8");
        EXPECT_EQ(uiLanguageFromEnvironment(), UiLanguage::English);
        ScopedVariable over("LC_ALL", "ru_RU.UTF-8");
        EXPECT_EQ(uiLanguageFromEnvironment(), UiLanguage::Russian);
    }
}

} // namespace
} // namespace vantry
