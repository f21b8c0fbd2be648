#include "browser/ScanEngine.h"

#include "browser/StaticSettings.h"

#include <functional>
#include <gtest/gtest.h>

using vantry::Activity;
using vantry::browser::ScanEngine;
using vantry::browser::ScanSink;
using vantry::browser::StaticSettings;
using vantry::query::Endpoint;
using Outcome = ScanEngine::Outcome;

namespace {

QString dotted(std::uint32_t a)
{
    return QStringLiteral("%1.%2.%3.%4").arg(a >> 24).arg((a >> 16) & 255).arg((a >> 8) & 255).arg(a & 255);
}

// Records every step; a test can act inside a chosen yield.
class RecordingSink : public ScanSink
{
public:
    struct Step
    {
        char kind; // 'i' info, 'o' old info, 'p' pause, 'y' yield
        QString host;
        int value = 0; // port, or the pause in ms
    };

    std::vector<Step> steps;
    QString panels[3];
    std::vector<QString> warnings;
    std::optional<std::uint32_t> local = (127u << 24) | (4u << 16) | (5u << 8) | 6u;
    QVector<Endpoint> listed;
    bool scanEnabled = true;
    int favInterval = 200;
    int enters = 0, leaves = 0, refreshBegins = 0, refreshEnds = 0, clears = 0;
    std::function<void(int yieldIndex)> onYield;
    std::function<void()> onWarn;
    int yields = 0;

    void sendInfo(const QString& host, std::uint16_t port) override { steps.push_back({'i', host, port}); }
    void sendOldInfo(const QString& host, std::uint16_t port) override { steps.push_back({'o', host, port}); }
    void sendInfo(const Endpoint& to) override { steps.push_back({'i', dotted(to.address), to.port}); }
    void sendOldInfo(const Endpoint& to) override { steps.push_back({'o', dotted(to.address), to.port}); }
    void pause(int ms) override { steps.push_back({'p', {}, ms}); }
    void yield() override
    {
        steps.push_back({'y', {}, 0});
        if (onYield)
            onYield(yields);
        ++yields;
    }
    std::optional<std::uint32_t> localAddress() override { return local; }
    void setStatus(int panel, const QString& text) override { panels[panel] = text; }
    void setStatusAddress(std::uint32_t address) override { panels[0] = u' ' + dotted(address); }
    QString status(int panel) const override { return panels[panel]; }
    void warn(const QString& text) override
    {
        warnings.push_back(text);
        if (onWarn)
            onWarn();
    }
    void enterScanning() override { ++enters; }
    void leaveScanning() override { ++leaves; }
    void beginRefresh() override { ++refreshBegins; }
    void clearLists() override { ++clears; }
    void endRefresh() override { ++refreshEnds; }
    QVector<Endpoint> listedServers() const override { return listed; }
    int listedCount() const override { return static_cast<int>(listed.size()); }
    bool scanButtonEnabled() const override { return scanEnabled; }
    int favouritesTimerInterval() const override { return favInterval; }
    void setFavouritesTimerInterval(int ms) override { favInterval = ms; }

    std::vector<QString> infoTargets() const
    {
        std::vector<QString> out;
        for (const Step& s : steps)
            if (s.kind == 'i')
                out.push_back(s.host);
        return out;
    }
};

struct Fixture
{
    Activity activity;
    StaticSettings settings;
    RecordingSink sink;
    ScanEngine engine{activity, settings, sink};

    Fixture()
    {
        settings.broadcastOn = false;
        settings.scanOldOn = false;
        settings.delay = 0;
    }
    void range(const QString& from, const QString& to, bool checked = true)
    {
        settings.rangeList.append({checked, from, to});
    }
};

std::vector<QString> expand(const QString& prefix, int from, int to)
{
    std::vector<QString> out;
    for (int d = from; d <= to; ++d)
        out.push_back(prefix + QString::number(d));
    return out;
}

std::vector<QString> concat(std::initializer_list<std::vector<QString>> parts)
{
    std::vector<QString> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace

TEST(ScanEngine, RangesAreWalkedInTheirOctetOrder)
{
    struct Case
    {
        QString from, to;
        std::vector<QString> expected;
    };
    const std::vector<Case> cases = {
        {QStringLiteral("127.0.5.10"), QStringLiteral("127.0.7.20"),
         concat({expand(QStringLiteral("127.0.5."), 10, 254), expand(QStringLiteral("127.0.6."), 10, 254),
                 expand(QStringLiteral("127.0.7."), 10, 20)})},
        {QStringLiteral("127.0.7.1"), QStringLiteral("127.0.5.255"), {}},
        {QStringLiteral("127.0.5.30"), QStringLiteral("127.0.5.20"), {}},
        // The first two octets of the last address play no part.
        {QStringLiteral("127.0.5.1"), QStringLiteral("128.9.5.9"), expand(QStringLiteral("127.0.5."), 1, 9)},
        {QStringLiteral("127.0.5.0"), QStringLiteral("127.0.6.255"),
         concat({expand(QStringLiteral("127.0.5."), 0, 254), expand(QStringLiteral("127.0.6."), 0, 255)})},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.range(c.from, c.to);
        EXPECT_EQ(f.engine.sweep(0), Outcome::Completed) << c.from.toStdString();
        EXPECT_EQ(f.sink.infoTargets(), c.expected) << c.from.toStdString() << " - " << c.to.toStdString();
        EXPECT_EQ(f.sink.panels[1], QString::number(c.expected.size()));
        EXPECT_EQ(f.sink.panels[0], QStringLiteral(" Завершено :)"));
    }
}

TEST(ScanEngine, PanelsShowEachProbedAddressAndTheCountIsReadBackFromItsPanel)
{
    Fixture f;
    f.range(QStringLiteral("127.100.109.0"), QStringLiteral("127.100.109.255"));
    std::vector<std::string> shown;
    f.sink.onYield = [&](int index) {
        if (index > 0)
            shown.push_back(f.sink.panels[0].toStdString()); // the text the previous probe left
        if (index == 10)
            f.sink.panels[1] = QStringLiteral("500"); // another writer: the count goes on from it
    };
    ASSERT_EQ(f.engine.sweep(0), Outcome::Completed);
    std::vector<std::string> expected;
    for (int d = 0; d < 255; ++d)
        expected.push_back(" 127.100.109." + std::to_string(d));
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(f.sink.panels[1].toStdString(), "746"); // 500, then the 246 probes from the 11th on
}

TEST(ScanEngine, AddressStatusWritesEveryOctetWithoutLeadingZeros)
{
    const std::pair<std::uint32_t, std::string> cases[] = {
        {0x7F000001u, " 127.0.0.1"}, {0x7F096364u, " 127.9.99.100"},    {0x7FA86DFFu, " 127.168.109.255"},
        {0x00000000u, " 0.0.0.0"},   {0xFFFFFFFFu, " 255.255.255.255"},
    };
    for (const auto& [address, text] : cases)
        EXPECT_EQ(ScanEngine::addressStatus(address).toStdString(), text);
}

TEST(ScanEngine, ChecksWarnInOrderAndChangeNothing)
{
    Fixture f;
    EXPECT_EQ(f.engine.sweep(0), Outcome::Refused);
    f.range(QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2"), false); // unticked rows pass the check
    f.settings.gamePortText.clear();
    EXPECT_EQ(f.engine.sweep(0), Outcome::Refused);
    EXPECT_EQ(f.engine.sweep(1), Outcome::Completed); // the HLTV port is set
    f.settings.hltvPortText.clear();
    EXPECT_EQ(f.engine.sweep(1), Outcome::Refused);
    f.settings.gamePortText = QStringLiteral("70000");
    EXPECT_EQ(f.engine.sweep(0), Outcome::Refused);
    f.settings.gamePortText = QStringLiteral("27x15");
    EXPECT_EQ(f.engine.sweep(0), Outcome::Refused);
    ASSERT_EQ(f.sink.warnings.size(), 5u);
    EXPECT_EQ(f.sink.warnings[0],
              QStringLiteral(
                  "IP ranges, Favorites list is empty and Broadcast is disabled. Please set it in Options."));
    EXPECT_EQ(f.sink.warnings[1], QStringLiteral("Game port is empty. Please set it in Options."));
    EXPECT_EQ(f.sink.warnings[2], QStringLiteral("HLTV port is empty. Please set it in Options."));
    EXPECT_EQ(f.sink.warnings[3], QStringLiteral("Game port is incorrect. Please set it in Options."));
    EXPECT_EQ(f.sink.enters, 1);
    EXPECT_FALSE(f.engine.isScanning());
}

TEST(ScanEngine, FavouritesGetHalfTheDelayAroundTheirOwnPortAndBadOnesAreSkipped)
{
    Fixture f;
    f.settings.delay = 5;
    f.settings.scanOldOn = true;
    f.settings.favouriteList = {{QStringLiteral("127.0.0.5"), QStringLiteral("27020")},
                                {QStringLiteral("127.0.0.6"), QStringLiteral("abc")},
                                {QStringLiteral("127.0.0.7"), QStringLiteral("0")}};
    f.range(QStringLiteral("127.0.1.1"), QStringLiteral("127.0.1.1"));
    ASSERT_EQ(f.engine.sweep(1), Outcome::Completed);
    const auto& s = f.sink.steps;
    ASSERT_EQ(s.size(), 9u);
    EXPECT_EQ(s[0].kind, 'p');
    EXPECT_EQ(s[0].value, 2);
    EXPECT_EQ(s[1].kind, 'i');
    EXPECT_EQ(s[1].value, 27020); // the favourite's own port in either scan mode
    EXPECT_EQ(s[2].kind, 'p');
    EXPECT_EQ(s[2].value, 2);
    EXPECT_EQ(s[3].kind, 'o');
    EXPECT_EQ(s[4].kind, 'y');
    // The range: info, the full delay, then the old request, at the HLTV port.
    EXPECT_EQ(s[5].kind, 'i');
    EXPECT_EQ(s[5].value, 27020);
    EXPECT_EQ(s[6].kind, 'p');
    EXPECT_EQ(s[6].value, 5);
    EXPECT_EQ(s[7].kind, 'o');
    EXPECT_EQ(f.sink.panels[1], QStringLiteral("2"));

    Fixture g;
    g.settings.delay = 1;
    g.settings.favouriteList = {{QStringLiteral("127.0.0.5"), QStringLiteral("27015")}};
    g.engine.sweep(0);
    EXPECT_EQ(g.sink.steps[0].value, 0); // delay 1: no pause for favourites
}

TEST(ScanEngine, FavouritesWithBadPortsAreNamedInOneWarningPerSweep)
{
    Fixture f;
    f.settings.favouriteList = {{QStringLiteral("127.0.0.5"), QStringLiteral("27020")},
                                {QStringLiteral("127.0.0.6"), QStringLiteral("abc")},
                                {QStringLiteral("127.0.0.7"), QStringLiteral("0")},
                                {QStringLiteral("127.0.0.8"), QString()}};
    f.range(QStringLiteral("127.0.1.1"), QStringLiteral("127.0.1.1"));
    int leavesAtWarning = -1;
    QString panelAtWarning;
    f.sink.onWarn = [&] {
        leavesAtWarning = f.sink.leaves;
        panelAtWarning = f.sink.panels[0];
    };
    ASSERT_EQ(f.engine.sweep(0), Outcome::Completed);
    EXPECT_EQ(f.sink.infoTargets(),
              (std::vector<QString>{QStringLiteral("127.0.0.5"), QStringLiteral("127.0.1.1")}));
    ASSERT_EQ(f.sink.warnings.size(), 1u);
    EXPECT_EQ(f.sink.warnings[0], QStringLiteral("Port of favorite 127.0.0.6 is incorrect: \"abc\".\n"
                                                 "Port of favorite 127.0.0.7 is incorrect: \"0\".\n"
                                                 "Port of favorite 127.0.0.8 is incorrect: \"\".\n"
                                                 "Please set it in Options."));
    // Told once the sweep is over, so the box does not hold the probes up.
    EXPECT_EQ(leavesAtWarning, 1);
    EXPECT_EQ(panelAtWarning, QStringLiteral(" Завершено :)"));

    // The next sweep tells again; the favourites passes in between, every few seconds, do not.
    EXPECT_EQ(f.engine.favouritesPass(), Outcome::Completed);
    EXPECT_EQ(f.sink.warnings.size(), 1u);
    ASSERT_EQ(f.engine.sweep(0), Outcome::Completed);
    EXPECT_EQ(f.sink.warnings.size(), 2u);

    // A program that is closing shows no box.
    Fixture g;
    g.settings.favouriteList = {{QStringLiteral("127.0.0.6"), QStringLiteral("abc")},
                                {QStringLiteral("127.0.0.5"), QStringLiteral("27015")}};
    g.sink.onYield = [&](int) { g.activity.markClosing(); };
    EXPECT_EQ(g.engine.sweep(0), Outcome::Closing);
    EXPECT_TRUE(g.sink.warnings.empty());
}

TEST(ScanEngine, BroadcastGoesToTheLocalBSixteenAndIsSkippedWithoutALocalAddress)
{
    Fixture f;
    f.settings.broadcastOn = true;
    ASSERT_EQ(f.engine.sweep(0), Outcome::Completed);
    EXPECT_EQ(f.sink.infoTargets(), std::vector<QString>{QStringLiteral("127.4.255.255")});
    EXPECT_EQ(f.sink.panels[1], QStringLiteral("1"));

    Fixture g;
    g.settings.broadcastOn = true;
    g.sink.local.reset();
    ASSERT_EQ(g.engine.sweep(0), Outcome::Completed);
    EXPECT_TRUE(g.sink.infoTargets().empty());
}

TEST(ScanEngine, StopDuringRangesCostsExactlyOneMoreProbeAndKeepsTheRefreshList)
{
    Fixture f;
    f.range(QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.100"));
    // An earlier sweep that completed remembered one server.
    f.sink.listed = {*Endpoint::parse("127.9.9.9", 27015)};
    ASSERT_EQ(f.engine.sweep(0), Outcome::Completed);
    f.sink.steps.clear();
    f.sink.leaves = 0;
    f.sink.yields = 0;
    f.sink.listed = {*Endpoint::parse("127.0.0.2", 27015)};
    f.sink.onYield = [&](int index) {
        if (index == 4)
            f.engine.stop();
    };
    EXPECT_EQ(f.engine.sweep(0), Outcome::Cancelled);
    EXPECT_EQ(f.sink.infoTargets().size(), 6u); // five yielded, one more after the stop
    EXPECT_EQ(f.sink.panels[0], QStringLiteral(" Отменено :("));
    EXPECT_EQ(f.sink.panels[1],
              QStringLiteral("5")); // the probe after which the stop was seen is not counted
    EXPECT_EQ(f.engine.refreshList().size(), 1);
    EXPECT_EQ(f.engine.refreshList()[0], *Endpoint::parse("127.9.9.9", 27015));
    EXPECT_EQ(f.sink.leaves, 1); // the stop left the scanning state; the sweep does not again
    EXPECT_FALSE(f.engine.isScanning());
    EXPECT_EQ(f.engine.cooldown(), 3);
}

TEST(ScanEngine, ARangeDeletedDuringTheSweepIsNotReadAfterItIsGone)
{
    Fixture f;
    f.range(QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.3"));
    f.range(QStringLiteral("127.0.1.1"), QStringLiteral("127.0.1.2"));
    f.sink.onYield = [&](int) { f.settings.rangeList.clear(); };
    EXPECT_EQ(f.engine.sweep(0), Outcome::Completed);
    EXPECT_EQ(f.sink.infoTargets().size(), 5u); // walked from the copy taken at its start
}

TEST(ScanEngine, HandEditedRangeTextsAreSkippedNotMisread)
{
    Fixture f;
    f.range(QStringLiteral("127.0.0"), QStringLiteral("127.0.0.5"));
    f.range(QStringLiteral("127.0.0.300"), QStringLiteral("127.0.0.5"));
    f.range(QStringLiteral("127.0.0.-1"), QStringLiteral("127.0.0.5"));
    f.range(QStringLiteral("127.0.0.4"), QStringLiteral("127.0.0.5"));
    EXPECT_EQ(f.engine.sweep(0), Outcome::Completed);
    EXPECT_EQ(f.sink.infoTargets(), expand(QStringLiteral("127.0.0."), 4, 5));
}

TEST(ScanEngine, CompletedSweepRemembersEveryListedServer)
{
    Fixture f;
    f.range(QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.1"));
    for (int i = 0; i < 100; ++i)
        f.sink.listed.append(*Endpoint::parse(QStringLiteral("127.0.1.%1").arg(i).toStdString(), 27015));
    ASSERT_EQ(f.engine.sweep(0), Outcome::Completed);
    EXPECT_EQ(f.engine.refreshList().size(), 100);
    EXPECT_EQ(f.sink.leaves, 1);
    EXPECT_EQ(f.engine.cooldown(), 3);
}

TEST(ScanEngine, CooldownCountsThreeTwoOneThenRestores)
{
    Fixture f;
    f.range(QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.1"));
    ASSERT_EQ(f.engine.sweep(0), Outcome::Completed); // its end starts the cool-down at 3
    EXPECT_EQ(f.engine.cooldownTick().caption, QStringLiteral("Wait 3"));
    EXPECT_EQ(f.engine.cooldownTick().caption, QStringLiteral("Wait 2"));
    EXPECT_EQ(f.engine.cooldownTick().caption, QStringLiteral("Wait 1"));
    const auto last = f.engine.cooldownTick();
    EXPECT_TRUE(last.finished);
    EXPECT_EQ(last.caption, QStringLiteral("Сканировать"));
    EXPECT_EQ(f.engine.cooldown(), -1);
}

TEST(ScanEngine, RefreshQueriesEveryServerAfterItsPauseAndTakesTheListAgainWhenItGrew)
{
    Fixture f;
    // A first refresh remembers the one server listed then.
    f.sink.listed = {*Endpoint::parse("127.0.0.1", 27015)};
    ASSERT_EQ(f.engine.refresh(), Outcome::Completed);
    ASSERT_EQ(f.engine.refreshList().size(), 1);
    f.sink.steps.clear();
    f.sink.clears = 0;
    f.sink.panels[0].clear();
    f.sink.listed.clear();
    for (int i = 0; i < 60; ++i)
        f.sink.listed.append(*Endpoint::parse(QStringLiteral("127.0.2.%1").arg(i).toStdString(), 27016));
    ASSERT_EQ(f.engine.refresh(), Outcome::Completed);
    ASSERT_EQ(f.sink.steps.front().kind, 'p');
    EXPECT_EQ(f.sink.steps.front().value, 300);
    EXPECT_EQ(f.sink.infoTargets().size(), 60u);
    EXPECT_EQ(f.sink.panels[0], QStringLiteral(" Готово!!!"));
    EXPECT_EQ(f.sink.clears, 1);

    // A list that did not grow is refreshed from the remembered servers, unanswered ones too.
    f.sink.steps.clear();
    f.sink.listed.resize(3);
    f.engine.refresh();
    EXPECT_EQ(f.sink.infoTargets().size(), 60u);
}

TEST(ScanEngine, LongOperationsNeverNest)
{
    Fixture f;
    f.range(QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.3"));
    f.settings.favouriteList = {{QStringLiteral("127.0.0.9"), QStringLiteral("27015")}};
    f.sink.listed = {*Endpoint::parse("127.0.0.9", 27015)};
    std::vector<Outcome> nested;
    f.sink.onYield = [&](int index) {
        if (index == 0) {
            nested.push_back(f.engine.sweep(0));
            nested.push_back(f.engine.refresh());
            nested.push_back(f.engine.favouritesPass());
        }
    };
    EXPECT_EQ(f.engine.sweep(0), Outcome::Completed);
    EXPECT_EQ(nested, (std::vector<Outcome>{Outcome::Skipped, Outcome::Skipped, Outcome::Skipped}));

    // Inside a favourites pass neither a second pass nor a sweep starts.
    Fixture g;
    g.settings.favouriteList = {{QStringLiteral("127.0.0.9"), QStringLiteral("27015")}};
    std::vector<Outcome> inside;
    g.sink.onYield = [&](int) {
        inside.push_back(g.engine.favouritesPass());
        inside.push_back(g.engine.sweep(0));
    };
    EXPECT_EQ(g.engine.favouritesPass(), Outcome::Completed);
    EXPECT_EQ(inside, (std::vector<Outcome>{Outcome::Skipped, Outcome::Skipped}));
}

TEST(ScanEngine, ClosingUnwindsEveryLoopAndLeavesTheScanningState)
{
    Fixture f;
    f.range(QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.200"));
    f.sink.onYield = [&](int index) {
        if (index == 2)
            f.activity.markClosing();
    };
    EXPECT_EQ(f.engine.sweep(0), Outcome::Closing);
    EXPECT_EQ(f.sink.infoTargets().size(), 3u); // nothing is sent after the close
    EXPECT_FALSE(f.engine.isScanning());
    EXPECT_EQ(f.activity.running(), vantry::LongOperation::None);
    EXPECT_EQ(f.sink.leaves, 1);
}

TEST(ScanEngine, FavouritesPassSetsTheUsersIntervalAfterTheFirstPassThatRuns)
{
    Fixture f;
    EXPECT_EQ(f.engine.favouritesPass(), Outcome::Skipped); // no favourites
    f.settings.favouriteList = {{QStringLiteral("127.0.0.1"), QStringLiteral("27015")},
                                {QStringLiteral("127.0.0.2"), QStringLiteral("27015")},
                                {QStringLiteral("127.0.0.3"), QStringLiteral("27015")}};
    f.sink.scanEnabled = false;
    EXPECT_EQ(f.engine.favouritesPass(), Outcome::Skipped);
    EXPECT_EQ(f.sink.favInterval, 200);
    f.sink.scanEnabled = true;
    f.settings.scanOldOn = true;
    f.settings.updateInterval = 11;
    EXPECT_EQ(f.engine.favouritesPass(), Outcome::Completed);
    EXPECT_EQ(f.sink.favInterval, 11000);
    EXPECT_EQ(f.sink.infoTargets().size(), 3u);
    EXPECT_EQ(f.sink.panels[0], QStringLiteral(" Autoscan..."));
    int pauses = 0, olds = 0;
    for (const auto& s : f.sink.steps) {
        pauses += s.kind == 'p' && s.value == 3;
        olds += s.kind == 'o';
    }
    EXPECT_EQ(pauses, 6);
    EXPECT_EQ(olds, 3);
}
