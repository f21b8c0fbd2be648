#include "launch/AutoConnect.h"

#include "LaunchFixtures.h"
#include "browser/StaticSettings.h"
#include "launch/Launcher.h"

#include <QCoreApplication>

#include <functional>
#include <gtest/gtest.h>

using vantry::browser::StaticSettings;
using vantry::launch::AutoConnect;
using vantry::launch::Launcher;
using vantry::launch::LaunchHost;
using vantry::query::Endpoint;
using vantry::test::FakeHost;
using vantry::test::Probe;
using vantry::test::RecordingPrompter;
using Comparison = AutoConnect::Comparison;

namespace {

const Endpoint Target{(127u << 24) | 5, 27015};

struct AutoFixture : ::testing::Test
{
    StaticSettings settings;
    FakeHost host;
    RecordingPrompter prompts;
    Launcher launcher{settings, host};
    AutoConnect autoConnect{launcher, host};

    AutoFixture()
    {
        autoConnect.setDeferral([](std::function<void()> job) { job(); });
        listTarget();
    }

    void listTarget(const QString& kind = QStringLiteral("1.6"))
    {
        host.selected = host.add(kind, Target, {12, 16});
    }

    bool arm(Comparison comparison = Comparison::AtMost, int threshold = 9, bool ask = false,
             const QString& password = {})
    {
        AutoConnect::ArmRequest request;
        request.server = Target;
        request.comparison = comparison;
        request.threshold = threshold;
        request.ask = ask;
        request.password = password;
        return autoConnect.arm(request);
    }

    // The signs every end leaves behind.
    void expectEnded(const char* which) const
    {
        EXPECT_FALSE(autoConnect.armed()) << which;
        EXPECT_FALSE(host.timer) << which;
        EXPECT_FALSE(host.tray) << which;
        EXPECT_FALSE(host.autoRed) << which;
        EXPECT_TRUE(host.enabled(LaunchHost::Button::ScanAll)) << which;
        EXPECT_TRUE(host.enabled(LaunchHost::Button::Refresh)) << which;
        EXPECT_EQ(host.status[2], QStringLiteral(" Autoconnect disabled.")) << which;
    }
};

} // namespace

TEST_F(AutoFixture, ArmingShowsTheSignsAndSendsNothingBeforeTheFirstPoll)
{
    ASSERT_TRUE(arm());
    EXPECT_TRUE(autoConnect.armed());
    EXPECT_TRUE(autoConnect.target() == Target);
    EXPECT_EQ(autoConnect.threshold(), 9);
    EXPECT_EQ(autoConnect.pollCount(), 0);
    EXPECT_TRUE(host.timer);
    // Disabled and enabled again: the first poll is a full interval away.
    EXPECT_EQ(host.log, (QStringList{QStringLiteral("timer off"), QStringLiteral("timer on")}));
    EXPECT_TRUE(host.sends.isEmpty());
    EXPECT_FALSE(host.enabled(LaunchHost::Button::ScanAll));
    EXPECT_FALSE(host.enabled(LaunchHost::Button::Refresh));
    EXPECT_TRUE(host.autoRed);
    EXPECT_TRUE(host.tray);
    EXPECT_EQ(host.status[2], QStringLiteral(" Autoconnect to 127.0.0.5. Waiting <= 9 players."));

    host.status[2].clear();
    ASSERT_TRUE(arm(Comparison::MoreThan, 0));
    EXPECT_EQ(host.status[2], QStringLiteral(" Autoconnect to 127.0.0.5. Waiting > 0 players."));
}

TEST_F(AutoFixture, FiresExactlyWhenTheCountMeetsTheCondition)
{
    struct Case
    {
        Comparison comparison;
        int threshold;
        int players;
        bool fires;
    };
    const Case cases[] = {
        {Comparison::AtMost, 9, 9, true},    {Comparison::AtMost, 9, 10, false},
        {Comparison::AtMost, 9, 0, true},    {Comparison::MoreThan, 9, 9, false},
        {Comparison::MoreThan, 9, 10, true}, {Comparison::AtMost, 0, 0, true},
        {Comparison::MoreThan, 0, 0, false},
    };
    for (const Case& c : cases) {
        host.rows.clear();
        listTarget();
        ASSERT_TRUE(arm(c.comparison, c.threshold));
        // Two silent polls; then the target answers and is listed again.
        autoConnect.poll();
        autoConnect.poll();
        ASSERT_EQ(autoConnect.pollCount(), 2);
        listTarget();
        prompts.beeps = 0;
        autoConnect.check(Target, c.players);
        const std::string which = std::to_string(c.players) + " against " + std::to_string(c.threshold);
        EXPECT_EQ(autoConnect.pollCount(), 0) << which;
        EXPECT_EQ(autoConnect.armed(), !c.fires) << which;
        EXPECT_EQ(prompts.beeps, c.fires ? 1 : 0) << which;
        // Every answer from the target disables Play; firing enables it again.
        EXPECT_EQ(host.enabled(LaunchHost::Button::Play), c.fires) << which;
        if (autoConnect.armed())
            autoConnect.endByUser();
    }

    // A row without a player count is an answer, never a reason to join.
    ASSERT_TRUE(arm(Comparison::AtMost, 64));
    for (int i = 0; i < 3; ++i)
        autoConnect.poll();
    ASSERT_EQ(autoConnect.pollCount(), 3);
    autoConnect.check(Target, std::nullopt);
    EXPECT_EQ(autoConnect.pollCount(), 0);
    EXPECT_TRUE(autoConnect.armed());
}

TEST_F(AutoFixture, AnotherServerOnTheSameHostNeitherAnswersNorFires)
{
    ASSERT_TRUE(arm());
    autoConnect.poll();
    autoConnect.poll();
    ASSERT_EQ(autoConnect.pollCount(), 2);
    host.buttons[2] = true;
    autoConnect.check(Endpoint{Target.address, 27016}, 0);
    autoConnect.check(Endpoint{Target.address + 1, Target.port}, 0);   // 127.0.0.6
    autoConnect.check(Endpoint{Target.address + 256, Target.port}, 0); // 127.0.1.5
    EXPECT_EQ(autoConnect.pollCount(), 2);
    EXPECT_TRUE(autoConnect.armed());
    EXPECT_TRUE(host.enabled(LaunchHost::Button::Play));
    EXPECT_EQ(prompts.beeps, 0);
}

TEST_F(AutoFixture, GivesUpAfterFourSilentPollsAndCountsAfreshWhenArmedAgain)
{
    for (int round = 0; round < 2; ++round) {
        host.rows.clear();
        listTarget();
        host.sends.clear();
        ASSERT_TRUE(arm());
        for (int i = 0; i < 3; ++i)
            autoConnect.poll();
        EXPECT_TRUE(autoConnect.armed()) << round;
        EXPECT_TRUE(host.rows.isEmpty()) << round; // each poll empties the list
        EXPECT_TRUE(prompts.messages.isEmpty()) << round;
        autoConnect.poll();
        EXPECT_EQ(host.sends.size(), 4) << round;
        for (const Endpoint& s : host.sends)
            EXPECT_TRUE(s == Target);
        ASSERT_EQ(prompts.messages.size(), 1) << round;
        EXPECT_EQ(prompts.messages[0].caption, QStringLiteral("Auto connect"));
        EXPECT_EQ(prompts.messages[0].text, QStringLiteral("Server is not avalible, autoconnect disabled."));
        expectEnded("give up");
        prompts.messages.clear();
        // A tick queued before the end does nothing.
        autoConnect.poll();
        EXPECT_EQ(host.sends.size(), 4);
    }

    // An answer in between starts the count again.
    listTarget();
    ASSERT_TRUE(arm());
    for (int i = 0; i < 3; ++i)
        autoConnect.poll();
    autoConnect.check(Target, 12);
    for (int i = 0; i < 3; ++i)
        autoConnect.poll();
    EXPECT_TRUE(autoConnect.armed());
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(AutoFixture, EveryEndRestoresTheButtonsAndTheSigns)
{
    const std::pair<const char*, std::function<void()>> ends[] = {
        {"user", [&] { autoConnect.toggle(); }},
        {"give up",
         [&] {
             for (int i = 0; i < AutoConnect::GiveUpPolls; ++i)
                 autoConnect.poll();
         }},
        {"fire", [&] { autoConnect.check(Target, 3); }},
        {"play", [&] { launcher.play(); }},
    };
    for (const auto& [name, end] : ends) {
        host.rows.clear();
        listTarget();
        ASSERT_TRUE(arm());
        host.status[2].clear();
        end();
        expectEnded(name);
    }
    // The user's stop closes the dialog without a box of its own.
    EXPECT_EQ(host.autoDialogHidden, 1);
}

TEST_F(AutoFixture, FiringSelectsTheTargetsRowAndJoinsItWithTheDialogsPassword)
{
    Probe probe;
    settings.paths[4] = probe.install(QStringLiteral("css"));
    host.rows.clear();
    // A late reply of another server came first, and another server of the same host second.
    host.add(QStringLiteral("1.6"), QStringLiteral("127.0.0.9"), QStringLiteral("27015"));
    host.add(QStringLiteral("1.6"), Endpoint{Target.address, 27016});
    host.selected = host.add(QStringLiteral("CSS"), Target, {12, 16});
    ASSERT_TRUE(arm(Comparison::AtMost, 9, false, QStringLiteral("pw 1")));
    host.selected = 0;

    probe.expect(QStringLiteral("fired"));
    autoConnect.check(Target, 9);
    EXPECT_EQ(host.selected, 2);
    const auto record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments.mid(record->arguments.indexOf(QStringLiteral("+password"))),
              (QStringList{QStringLiteral("+password"), QStringLiteral("pw 1"), QStringLiteral("+connect"),
                           QStringLiteral("127.0.0.5:27015")}));
    EXPECT_FALSE(host.visible);
    EXPECT_EQ(host.status[2], QStringLiteral(" Autoconnect disabled."));
}

TEST_F(AutoFixture, JoinQuestionWaitsForTheEventLoopAndNoStartsNothing)
{
    AutoConnect queued(launcher, host); // with its own, queued deferral
    AutoConnect::ArmRequest request;
    request.server = Target;
    request.ask = true;
    ASSERT_TRUE(queued.arm(request));
    prompts.answer = false;
    prompts.log = &host.log;
    host.log.clear();

    queued.check(Target, 9);
    // The mode is over at once; the box is not opened inside the datagram handler.
    EXPECT_FALSE(queued.armed());
    EXPECT_TRUE(prompts.questions.isEmpty());
    EXPECT_EQ(prompts.beeps, 0);

    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(prompts.beeps, 1);
    EXPECT_EQ(prompts.questions,
              QStringList{QStringLiteral("Server 127.0.0.5 has 9 players now. Do you want to join ?")});
    EXPECT_LT(host.log.indexOf(QStringLiteral("front")), host.log.indexOf(QStringLiteral("confirm")));
    EXPECT_TRUE(launcher.lastProgram().isEmpty());
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_TRUE(host.visible);
    EXPECT_EQ(host.status[2], QStringLiteral(" Autoconnect disabled."));
}

TEST_F(AutoFixture, ArmingWithoutItsRowIsRefusedAndChangesNothing)
{
    AutoConnect::ArmRequest none;
    EXPECT_FALSE(autoConnect.arm(none));
    host.rows.clear();
    EXPECT_FALSE(arm());
    ASSERT_EQ(prompts.messages.size(), 2);
    EXPECT_EQ(prompts.messages[0].caption, QStringLiteral("Auto connect"));
    EXPECT_EQ(prompts.messages[1].text,
              QStringLiteral("Server 127.0.0.5:27015 is no longer listed; autoconnect not started."));
    EXPECT_FALSE(autoConnect.armed());
    EXPECT_TRUE(host.log.isEmpty());
    EXPECT_TRUE(host.enabled(LaunchHost::Button::ScanAll));
    EXPECT_FALSE(host.autoRed);
}

TEST(AutoConnectPresets, DialogProposesOneLessThanTheCurrentCountWithinTheMaximum)
{
    const AutoConnect::Presets start{64, 9};
    // The counts of rows whose texts were numbers, and of old replies whose texts were not.
    auto p = AutoConnect::presets(12, 16, start);
    EXPECT_EQ(p.maximum, 16);
    EXPECT_EQ(p.value, 11);
    p = AutoConnect::presets(0, 16, start);
    EXPECT_EQ(p.value, 0);
    p = AutoConnect::presets(20, 16, start);
    EXPECT_EQ(p.value, 16);
    p = AutoConnect::presets(0, 0, start);
    EXPECT_EQ(p.maximum, 0);
    EXPECT_EQ(p.value, 0);
    p = AutoConnect::presets(std::nullopt, std::nullopt, start);
    EXPECT_EQ(p.maximum, 64);
    EXPECT_EQ(p.value, 9);
    p = AutoConnect::presets(std::nullopt, 8, start);
    EXPECT_EQ(p.maximum, 8);
    EXPECT_EQ(p.value, 8);

    EXPECT_EQ(AutoConnect::thresholdFromText(QString(), 0, 64), 0);
    EXPECT_EQ(AutoConnect::thresholdFromText(QStringLiteral("abc"), 0, 64), 0);
    EXPECT_EQ(AutoConnect::thresholdFromText(QStringLiteral("12"), 0, 64), 12);
    EXPECT_EQ(AutoConnect::thresholdFromText(QStringLiteral("99"), 0, 16), 16);
    EXPECT_EQ(AutoConnect::thresholdFromText(QStringLiteral("-3"), 0, 16), 0);
}

TEST_F(AutoFixture, TellsOfAJoinOnlyWhenTheGameStartsAndOfGivingUp)
{
    QStringList told;
    QObject::connect(&autoConnect, &AutoConnect::joining, [&](const Endpoint& server, int players) {
        told << QStringLiteral("join %1 %2").arg(server == Target).arg(players);
    });
    QObject::connect(&autoConnect, &AutoConnect::gaveUp, [&](const Endpoint& server) {
        told << QStringLiteral("gave up %1").arg(server == Target);
    });

    // The 1.6 slot has no game path: the condition is met but nothing starts.
    ASSERT_TRUE(arm());
    autoConnect.check(Target, 9);
    EXPECT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(told.isEmpty()) << told.join(u',').toStdString();

    ASSERT_TRUE(arm());
    for (int i = 0; i < AutoConnect::GiveUpPolls; ++i)
        autoConnect.poll();
    EXPECT_EQ(told, QStringList{QStringLiteral("gave up 1")});

    Probe probe;
    settings.paths[2] = probe.install(QStringLiteral("cs"));
    probe.expect(QStringLiteral("joined"));
    told.clear();
    host.rows.clear();
    listTarget();
    ASSERT_TRUE(arm());
    autoConnect.check(Target, 7);
    ASSERT_TRUE(probe.wait());
    EXPECT_EQ(told, QStringList{QStringLiteral("join 1 7")});
}
