// A first Scan where the machine has no network: the test's namespace has only loopback, no route
// and no reachable name server. The settings file is a new user's, with the community masters'
// public names moved under the reserved .invalid domain: the lookup fails as it would there,
// without a public name being asked for.
#include "MainWindowFixture.h"
#include "base/UiLanguage.h"
#include "shell/ScanGames.h"
#include "shell/Translation.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace vantry::test {
namespace {

const QByteArray OfflineMasters =
    "[Xash]\nEnabled=1\nMasters=3\nMaster0=mentality.invalid:27010\n"
    "Master1=ms2.mentality.invalid:27010\nMaster2=ms3.mentality.invalid:27010\n";

struct Language
{
    const char* lang;
    const char* message; // the one message, as the window's language says it
};

class NoNetwork : public MainWindowFixture, public ::testing::WithParamInterface<Language>
{
protected:
    NoNetwork() : MainWindowFixture({}) {}
    void SetUp() override
    {
        m_lang = qgetenv("LANG");
        qputenv("LANG", GetParam().lang);
        qunsetenv("LC_ALL");
        qunsetenv("LC_MESSAGES");
        qunsetenv("LANGUAGE");
        installTranslation(uiLanguageFromEnvironment());
        MainWindowFixture::SetUp();
    }
    void TearDown() override
    {
        MainWindowFixture::TearDown();
        installTranslation(UiLanguage::Russian);
        qputenv("LANG", m_lang);
    }
    bool scanEnds()
    {
        return QTest::qWaitFor([&] { return control<QPushButton>(form(), "SBScanAll")->isEnabled(); },
                               30'000);
    }
    int visibleWindows() const
    {
        int n = 0;
        for (const QWidget* w : QApplication::topLevelWidgets())
            n += w->isVisible() && w->isWindow() ? 1 : 0;
        return n;
    }

private:
    QByteArray m_lang;
};

TEST_P(NoNetwork, TwoScansTellOnceWhatHappenedInTheWindowsLanguageAndOpenNoDialog)
{
    Start how;
    how.sections = OfflineMasters;
    start(how);
    const int windows = visibleWindows();
    for (int scan = 0; scan < 2; ++scan) {
        clickButton(form(), "SBScanAll");
        ASSERT_TRUE(scanEnds()) << "scan " << scan;
        EXPECT_EQ(form().statusText(0), QString::fromUtf8(GetParam().message)) << "scan " << scan;
    }
    ASSERT_EQ(prompter.messages.size(), 1) << "the same failure is told once, not on every Scan";
    EXPECT_EQ(prompter.messages.front().text, QString::fromUtf8(GetParam().message));
    EXPECT_EQ(visibleWindows(), windows) << "no dialog opened by itself";
}

INSTANTIATE_TEST_SUITE_P(
    Languages, NoNetwork,
    ::testing::Values(Language{"ru_RU.UTF-8", "Нет сети: не удалось найти адреса мастер-серверов. "
                                              "Проверьте подключение к интернету и повторите поиск."},
                      Language{"en_US.UTF-8", "No network: the master servers' addresses could not be found. "
                                              "Check the internet connection and scan again."}),
    [](const ::testing::TestParamInfo<Language>& p) { return p.index == 0 ? "Russian" : "English"; });

} // namespace
} // namespace vantry::test
