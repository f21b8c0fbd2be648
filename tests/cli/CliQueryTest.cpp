#include "CliFixtures.h"
#include "HandClock.h"
#include "emu/ProfileTable.h"

#include <QFile>
#include <QJsonValue>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace vantry::test;
using vantry::emu::FragmentOrder;
using vantry::emu::Kind;
using vantry::emu::Profile;
using vantry::emu::ProfileTable;

namespace {

QString q(const char* text)
{
    return QString::fromUtf8(text);
}

// Rules that bzip2 cannot shrink much, so a compressed reply still takes several fragments.
std::vector<vantry::emu::Rule> noisyRules(int count)
{
    std::vector<vantry::emu::Rule> rules;
    std::uint32_t x = 99;
    for (int i = 0; i < count; ++i) {
        std::string value;
        for (int k = 0; k < 10; ++k) {
            x = x * 1103515245u + 12345u;
            value += static_cast<char>('0' + (x >> 16) % 75);
        }
        rules.push_back({"rule_" + std::to_string(i), value});
    }
    return rules;
}

Profile named(Profile p, const char* name)
{
    p.name = name;
    p.playerList = {{"Ann", 5, 1.0f}, {"Bob", 12, 2.0f}};
    p.rules = {{"mp_timelimit", "25"}, {"sv_gravity", "800"}};
    return p;
}

std::map<QString, QString> rulesOf(const QJsonObject& server)
{
    std::map<QString, QString> out;
    for (const QJsonValue& v : server[q("rules")].toArray())
        out[v.toObject()[q("name")].toString()] = v.toObject()[q("value")].toString();
    return out;
}

std::map<QString, QString> rulesOf(const std::vector<vantry::emu::Rule>& rules)
{
    std::map<QString, QString> out;
    for (const auto& r : rules)
        out[QString::fromStdString(r.name)] = QString::fromStdString(r.value);
    return out;
}

} // namespace

TEST(CliQuery, TodaysServersAnswerThroughChallengesAndSplitReplies)
{
    ProfileTable table;
    Profile challenged = named(vantry::emu::defaultsFor(Kind::Source), "Challenged");
    challenged.infoChallenge = true;
    challenged.rules = noisyRules(60);
    challenged.newerSplit = {300, true, FragmentOrder::Forward, -1};
    table.add(loopback(0, 1, 1), 27015, challenged);

    Profile older = named(vantry::emu::olderEngineInNewerLayout(), "Older in I");
    table.add(loopback(0, 1, 2), 27015, older);

    Profile both = named(vantry::emu::olderEngineInNewerLayout(), "Both layouts");
    both.bothInfoLayouts = true;
    table.add(loopback(0, 1, 3), 27015, both);

    Profile reversed = named(vantry::emu::defaultsFor(Kind::Hl1), "Reversed");
    reversed.rules = noisyRules(60);
    reversed.newerSplit = {300, true, FragmentOrder::Reverse, -1};
    table.add(loopback(0, 1, 4), 27015, reversed);

    Profile shuffled = reversed;
    shuffled.name = "Shuffled";
    shuffled.newerSplit = {200, false, FragmentOrder::Shuffled, -1};
    table.add(loopback(0, 1, 5), 27015, shuffled);

    Profile missing = reversed;
    missing.name = "Missing fragment";
    missing.newerSplit = {300, true, FragmentOrder::Forward, 1};
    table.add(loopback(0, 1, 6), 27015, missing);

    table.add(loopback(0, 1, 7), 27015, vantry::emu::defaultsFor(Kind::Silent));
    auto servers = startServers(std::move(table));

    const auto r =
        runInProcess({"query", "127.0.1.1", "127.0.1.2", "127.0.1.3", "127.0.1.4", "127.0.1.5", "127.0.1.6",
                      "127.0.1.7", "--json", "--players", "--rules", "--timeout", "700"});
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonArray a = jsonArray(r.out);
    ASSERT_EQ(a.size(), 6) << r.out; // each answering server once, the silent one not at all
    // In the order the hosts were named.
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(a[i].toObject()[q("address")].toString(), QStringLiteral("127.0.1.%1").arg(i + 1));

    const QJsonObject c = serverAt(a, q("127.0.1.1"));
    EXPECT_EQ(c[q("name")].toString(), q("Challenged"));
    EXPECT_EQ(c[q("kind")].toString(), q("CSS"));
    EXPECT_EQ(rulesOf(c), rulesOf(challenged.rules)); // compressed, several fragments
    EXPECT_EQ(c[q("player_list")].toArray().size(), 2);
    EXPECT_EQ(c[q("player_list")].toArray()[0].toObject()[q("name")].toString(), q("Bob"));

    const QJsonObject o = serverAt(a, q("127.0.1.2"));
    EXPECT_EQ(o[q("kind")].toString(), q("1.6"));
    EXPECT_EQ(o[q("protocol")].toInt(), 48);
    EXPECT_EQ(serverAt(a, q("127.0.1.3"))[q("kind")].toString(), q("1.6"));

    for (const char* address : {"127.0.1.4", "127.0.1.5"}) {
        const QJsonObject s = serverAt(a, q(address));
        EXPECT_EQ(s[q("kind")].toString(), q("1.6")) << address;
        EXPECT_EQ(rulesOf(s), rulesOf(reversed.rules)) << address;
    }
    // A fragment that never comes: listed, players there, rules unknown.
    const QJsonObject m = serverAt(a, q("127.0.1.6"));
    EXPECT_EQ(m[q("name")].toString(), q("Missing fragment"));
    EXPECT_TRUE(m[q("rules")].isNull());
    EXPECT_EQ(m[q("player_list")].toArray().size(), 2);
}

TEST(CliQuery, ValuesOfEveryReplyForm)
{
    ProfileTable table;
    Profile hl = vantry::emu::defaultsFor(Kind::Hl1);
    hl.name = "Box \"one\"";
    hl.map = "crossfire";
    hl.players = 3;
    hl.maxPlayers = 16;
    hl.bots = 2;
    hl.os = 'w';
    hl.password = 1;
    table.add(loopback(0, 2, 1), 27015, hl);
    Profile css = vantry::emu::defaultsFor(Kind::Source);
    css.players = 16;
    css.maxPlayers = 16;
    css.bots = 4;
    table.add(loopback(0, 2, 2), 27015, css);
    Profile old = vantry::emu::defaultsFor(Kind::OldInfo);
    old.name = "Old";
    old.players = 8;
    old.maxPlayers = 8;
    old.bots = 1;
    table.add(loopback(0, 2, 3), 27015, old);
    auto servers = startServers(std::move(table));

    const auto r = runInProcess({"query", "127.0.2.1", "127.0.2.2", "127.0.2.3", "--old", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonArray a = jsonArray(r.out);
    ASSERT_EQ(a.size(), 3) << r.out;
    const QJsonObject h = a[0].toObject();
    EXPECT_EQ(h[q("name")].toString(), q("Box \"one\""));
    EXPECT_EQ(h[q("kind")].toString(), q("1.6"));
    EXPECT_EQ(h[q("port")].toInt(), 27015);
    EXPECT_EQ(h[q("map")].toString(), q("crossfire"));
    EXPECT_EQ(h[q("players")].toInt(), 3);
    EXPECT_EQ(h[q("max_players")].toInt(), 16);
    EXPECT_EQ(h[q("bots")].toInt(), 2);
    EXPECT_EQ(h[q("protocol")].toInt(), 47);
    EXPECT_EQ(h[q("os")].toString(), q("windows"));
    EXPECT_TRUE(h[q("password")].toBool());
    EXPECT_GE(h[q("ping")].toInt(-1), 0);
    const QJsonObject s = a[1].toObject();
    EXPECT_EQ(s[q("kind")].toString(), q("CSS"));
    EXPECT_EQ(s[q("bots")].toInt(), 4);
    EXPECT_EQ(s[q("os")].toString(), q("linux"));
    EXPECT_FALSE(s[q("password")].toBool(true));
    const QJsonObject o = a[2].toObject();
    EXPECT_EQ(o[q("kind")].toString(), q("HL"));
    EXPECT_EQ(o[q("players")].toInt(), 8);
    EXPECT_EQ(o[q("max_players")].toInt(), 8);
    EXPECT_EQ(o[q("bots")].toInt(), 1);
    EXPECT_EQ(o[q("os")].toString(), q("windows"));
    EXPECT_FALSE(o[q("password")].toBool(true));

    // The same as lines: one a server.
    const auto lines = runInProcess({"query", "127.0.2.1", "127.0.2.2", "--timeout", "300"});
    ASSERT_EQ(lines.status, 0) << lines.err;
    const std::string first = lines.out.substr(0, lines.out.find('\n'));
    EXPECT_EQ(first.substr(0, first.rfind('\t') + 1),
              "127.0.2.1:27015\t1.6\tBox \"one\"\tcrossfire\t3/16\t47\tWIN\tpassword\t");
    EXPECT_EQ(first.substr(first.size() - 3), " ms");
    const std::string second =
        "127.0.2.2:27015\tCSS\tVantry emulated server\tde_dust2\t16/16\t7\tLIN\tfull\t";
    EXPECT_EQ(lines.out.substr(first.size() + 1, second.size()), second);
}

TEST(CliSweep, ListsExactlyTheAnsweringServersOfTheRange)
{
    ProfileTable table;
    // Probed: 127.0.4.5 .. 127.0.4.254 and 127.0.5.5 .. 127.0.5.20.
    const std::set<std::string> expected = {"127.0.4.5", "127.0.4.99", "127.0.4.254", "127.0.5.5",
                                            "127.0.5.20"};
    for (const std::string& a : expected) {
        std::uint32_t address = 0;
        vantry::emu::parseAddress(a, address);
        table.add(address, 27016, vantry::emu::defaultsFor(Kind::Source));
    }
    // Not probed: outside the blocks, .255 of a block that is not the last, and another port.
    for (std::uint32_t address :
         {loopback(0, 4, 4), loopback(0, 4, 255), loopback(0, 5, 21), loopback(0, 6, 5)})
        table.add(address, 27016, vantry::emu::defaultsFor(Kind::Source));
    table.add(loopback(0, 4, 7), 27015, vantry::emu::defaultsFor(Kind::Hl1));
    auto servers = startServers(std::move(table), {27015, 27016});

    QTemporaryDir dir;
    const QString ini = dir.filePath(q("vantry.ini"));
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Settings]\nCSPort=27016\nDelay=0\n");
    f.close();
    // The port and the delay come from the settings file.
    const auto r = runInProcess(
        {"sweep", "127.0.4.5", "127.0.5.20", "--settings", ini.toStdString(), "--json", "--timeout", "300"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::set<std::string> found;
    for (const QJsonValue& v : jsonArray(r.out))
        found.insert(v.toObject()[q("address")].toString().toStdString());
    EXPECT_EQ(found, expected);
    // Every probed address once, and the silent ones twice more.
    EXPECT_EQ(servers->requestsReceived(), 250u + 16u + 2 * (250u + 16u - 5u));

    // --port wins over the file; at 27015 only the 'm' server answers.
    const auto other = runInProcess({"sweep", "127.0.4.5", "127.0.4.9", "--settings", ini.toStdString(),
                                     "--port", "27015", "--timeout", "300"});
    ASSERT_EQ(other.status, 0) << other.err;
    EXPECT_EQ(other.out.substr(0, other.out.find('\t')), "127.0.4.7:27015");
    EXPECT_EQ(std::count(other.out.begin(), other.out.end(), '\n'), 1);
}

TEST(CliQuery, NoAnswerGivesStatusOneAndAQueryEndsWhenAllHaveAnswered)
{
    ProfileTable table;
    table.add(loopback(0, 3, 1), 27015, vantry::emu::defaultsFor(Kind::Silent));
    table.add(loopback(0, 3, 2), 27015, named(vantry::emu::defaultsFor(Kind::Hl1), "Quick"));
    auto servers = startServers(std::move(table));

    const auto none = runInProcess({"query", "127.0.3.1", "--json", "--timeout", "200"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "[]\n");
    EXPECT_EQ(none.err, "vantry: no server answered\n");

    // The same host twice is asked once; the wait ends with its answer, not at the time-out: the
    // query's clock stands still, so it never reaches its time-out.
    HandClock clock;
    StillClockGuard guard(clock, std::chrono::seconds(30));
    const auto quick = runInProcess(
        {"query", "127.0.3.2", "127.0.3.2:27015", "--players", "--rules", "--timeout", "20000"}, {}, clock);
    guard.stop();
    ASSERT_EQ(quick.status, 0) << quick.err;
    EXPECT_FALSE(guard.ranOn()) << "the query ended at its time-out";
    EXPECT_EQ(std::count(quick.out.begin(), quick.out.end(), '\n'), 1 + 2 + 2) << quick.out;
    EXPECT_NE(quick.out.find("\tplayer\tBob\t12\n\tplayer\tAnn\t5\n"), std::string::npos) << quick.out;
    EXPECT_NE(quick.out.find("\trule\tmp_timelimit\t25\n"), std::string::npos) << quick.out;
}

// A server that exposes no rule answers with an empty list: that is its answer, and the query ends
// with it instead of asking again until every retry is spent.
TEST(CliQuery, AnEmptyRulesReplyIsAnAnswer)
{
    ProfileTable table;
    for (const auto& [last, kind] : {std::pair{1, Kind::Source}, std::pair{2, Kind::Hl1}}) {
        Profile p = vantry::emu::defaultsFor(kind);
        p.rules.clear();
        table.add(loopback(0, 3, static_cast<std::uint8_t>(10 + last)), 27015, p);
    }
    auto servers = startServers(std::move(table));

    HandClock clock;
    StillClockGuard guard(clock, std::chrono::seconds(30));
    const auto r = runInProcess(
        {"query", "127.0.3.11", "127.0.3.12", "--rules", "--json", "--timeout", "5000"}, {}, clock);
    guard.stop();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(guard.ranOn()) << "the query waited for rules that had come";
    const QJsonArray listed = jsonArray(r.out);
    ASSERT_EQ(listed.size(), 2);
    for (const QJsonValue& v : listed) {
        EXPECT_TRUE(v.toObject()[q("rules")].isArray()) << r.out;
        EXPECT_TRUE(v.toObject()[q("rules")].toArray().isEmpty()) << r.out;
    }
}

// qstat is another program that speaks the same protocol: where it is installed, both must read
// the same names, maps, player counts and rules off the same servers.
TEST(CliQstatCrossCheck, AgreesWithQuakestatOnTheSameServers)
{
    if (QStandardPaths::findExecutable(q("quakestat")).isEmpty())
        GTEST_SKIP() << "quakestat is not installed";
    ProfileTable table;
    Profile hl = named(vantry::emu::defaultsFor(Kind::Hl1), "HL box");
    hl.gameDir = "valve";
    hl.description = "Half-Life";
    hl.players = 2;
    table.add(loopback(0, 7, 1), 27015, hl);
    Profile css = named(vantry::emu::defaultsFor(Kind::Source), "CSS box");
    css.players = 9;
    css.map = "de_nuke";
    css.rules = {{"mp_friendlyfire", "1"}, {"sv_contact", "admin@example.org"}, {"mp_maxrounds", "30"}};
    table.add(loopback(0, 7, 2), 27015, css);
    Profile cs = named(vantry::emu::defaultsFor(Kind::Hl1), "CS box");
    cs.players = 12;
    cs.map = "de_aztec";
    table.add(loopback(0, 7, 3), 27015, cs);
    auto servers = startServers(std::move(table));

    const std::vector<std::string> hosts = {"127.0.7.1:27015", "127.0.7.2:27015", "127.0.7.3:27015"};
    std::vector<std::string> words = {"query", "--json", "--players", "--rules"};
    words.insert(words.end(), hosts.begin(), hosts.end());
    const auto ours = runInProcess(words);
    ASSERT_EQ(ours.status, 0) << ours.err;
    const QJsonArray mine = jsonArray(ours.out);

    QProcess qstat;
    QStringList arguments;
    for (const std::string& h : hosts)
        arguments << q("-a2s") << QString::fromStdString(h);
    arguments << q("-json") << q("-P") << q("-R");
    qstat.start(q("quakestat"), arguments);
    ASSERT_TRUE(qstat.waitForFinished(20000));
    const QJsonArray theirs = jsonArray(qstat.readAllStandardOutput().toStdString());
    ASSERT_EQ(theirs.size(), 3);
    ASSERT_EQ(mine.size(), 3);

    // qstat puts values of the info reply among the rules; these are not server rules.
    const std::set<QString> infoKeys = {q("gamedir"),  q("gamename"), q("version"), q("dedicated"),
                                        q("sv_os"),    q("password"), q("secure"),  q("bots"),
                                        q("protocol"), q("game_port")};
    for (const QJsonValue& v : theirs) {
        const QJsonObject t = v.toObject();
        const QString address = t[q("address")].toString().section(QLatin1Char(':'), 0, 0);
        const QJsonObject m = serverAt(mine, address);
        ASSERT_FALSE(m.isEmpty()) << address.toStdString();
        EXPECT_EQ(m[q("name")].toString(), t[q("name")].toString());
        EXPECT_EQ(m[q("map")].toString(), t[q("map")].toString());
        EXPECT_EQ(m[q("players")].toInt(), t[q("numplayers")].toInt());
        EXPECT_EQ(m[q("max_players")].toInt(), t[q("maxplayers")].toInt());
        std::map<QString, QString> theirRules;
        const QJsonObject rules = t[q("rules")].toObject();
        for (auto it = rules.begin(); it != rules.end(); ++it) {
            if (!infoKeys.count(it.key()))
                theirRules[it.key()] = it.value().toString();
        }
        EXPECT_EQ(rulesOf(m), theirRules) << address.toStdString();
        std::vector<std::pair<QString, int>> ourPlayers;
        std::vector<std::pair<QString, int>> theirPlayers;
        for (const QJsonValue& p : m[q("player_list")].toArray())
            ourPlayers.emplace_back(p.toObject()[q("name")].toString(), p.toObject()[q("kills")].toInt());
        for (const QJsonValue& p : t[q("players")].toArray())
            theirPlayers.emplace_back(p.toObject()[q("name")].toString(), p.toObject()[q("score")].toInt());
        std::sort(ourPlayers.begin(), ourPlayers.end());
        std::sort(theirPlayers.begin(), theirPlayers.end());
        EXPECT_EQ(ourPlayers, theirPlayers) << address.toStdString();
    }
}

// With no --delay a query keeps a rate: thousands of hosts at the default rate are all found
// quickly, and a lower --rate really spreads the probes out.
TEST(CliQuery, ManyHostsAreAskedAtARate)
{
    ProfileTable table;
    vantry::emu::ProfileRange range;
    range.first = loopback(12, 0, 0);
    range.count = 4096;
    range.profile = vantry::emu::defaultsFor(Kind::Hl1);
    table.addRange(range);
    auto servers = startServers(std::move(table));
    std::vector<std::string> words = {"query"};
    for (std::uint32_t i = 0; i < 4096; ++i)
        words.push_back("127.12." + std::to_string(i / 256) + "." + std::to_string(i % 256));

    // How fast: bench_master's "4,096 named" (5 ms a host, the old default, was 20 s).
    const auto all = runInProcess(words);
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 4096);

    std::vector<std::string> few(words.begin(), words.begin() + 301);
    few.insert(few.end(), {"--rate", "1000"});
    const auto slowStart = std::chrono::steady_clock::now();
    const auto slow = runInProcess(few);
    const auto slowTook = std::chrono::steady_clock::now() - slowStart;
    ASSERT_EQ(slow.status, 0) << slow.err;
    EXPECT_EQ(std::count(slow.out.begin(), slow.out.end(), '\n'), 300);
    // 300 at 1,000 a second, less the first burst of 10.
    EXPECT_GE(slowTook, std::chrono::milliseconds(280));
}
