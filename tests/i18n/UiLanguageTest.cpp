// Which language the windows speak, from the environment as a desktop session sets it.
#include "base/UiLanguage.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace vantry {
namespace {

struct Case
{
    const char* language;
    const char* lang;
    UiLanguage expected;
};

TEST(UiLanguage, EnglishOnlyWhenTheFirstPreferenceNamesEnglish)
{
    const Case cases[] = {
        // LANG alone, as most sessions set it.
        {nullptr, "en_US.UTF-8", UiLanguage::English},
        {nullptr, "en_GB", UiLanguage::English},
        {nullptr, "en", UiLanguage::English},
        {nullptr, "en@quot", UiLanguage::English},
        {nullptr, "ru_RU.UTF-8", UiLanguage::Russian},
        {nullptr, "de_DE.UTF-8", UiLanguage::Russian},
        // The C and POSIX locales, a session without a language, and names that only look alike.
        {nullptr, "C", UiLanguage::Russian},
        {nullptr, "C.UTF-8", UiLanguage::Russian},
        {nullptr, "POSIX", UiLanguage::Russian},
        {nullptr, "", UiLanguage::Russian},
        {nullptr, nullptr, UiLanguage::Russian},
        {nullptr, "eo", UiLanguage::Russian},
        {nullptr, "enx_XX", UiLanguage::Russian},
        {nullptr, "EN_US", UiLanguage::Russian},
        // LANGUAGE comes first, and of its list only the first entry counts.
        {"en_US:ru", "ru_RU.UTF-8", UiLanguage::English},
        {"en", nullptr, UiLanguage::English},
        {"ru:en", "en_US.UTF-8", UiLanguage::Russian},
        {"de_DE:en_US", "en_US.UTF-8", UiLanguage::Russian},
        {"ru", nullptr, UiLanguage::Russian},
        // An empty LANGUAGE, or empty entries before the first name, name nothing.
        {"", "en_US.UTF-8", UiLanguage::English},
        {"", "ru_RU.UTF-8", UiLanguage::Russian},
        {":", "en_US.UTF-8", UiLanguage::English},
        {"::en_GB:ru", "ru_RU.UTF-8", UiLanguage::English},
        {":ru", "en_US.UTF-8", UiLanguage::Russian},
        // The C and POSIX locales turn LANGUAGE off.
        {"en_US:en", "C", UiLanguage::Russian},
        {"en", "C.UTF-8", UiLanguage::Russian},
        {"en", "POSIX", UiLanguage::Russian},
    };
    for (const Case& c : cases)
        EXPECT_EQ(uiLanguage(c.language, c.lang), c.expected)
            << "LANGUAGE=" << (c.language ? c.language : "(unset)")
            << " LANG=" << (c.lang ? c.lang : "(unset)");
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

TEST(UiLanguage, EnvironmentIsReadLanguageFirstThenLang)
{
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
}

} // namespace
} // namespace vantry
