#include "Datagrams.h"
#include "query/Dispatcher.h"
#include "query/Players.h"
#include "query/Rules.h"

#include <gtest/gtest.h>

using namespace vantry::query;
using namespace vantry::test;

namespace {

const Endpoint Server{*Endpoint::parse("10.0.0.5", 27015)};

std::vector<RuleRow> rulesOf(const Outcome& o)
{
    const auto* reply = std::get_if<RulesReply>(&o);
    if (!reply) {
        ADD_FAILURE() << "not a rules reply";
        return {};
    }
    return reply->rules;
}

std::vector<std::pair<std::string, std::string>> numberedRules(int count)
{
    std::vector<std::pair<std::string, std::string>> rules;
    for (int i = 0; i < count; ++i)
        rules.emplace_back("r" + std::to_string(i), std::to_string(i));
    return rules;
}

} // namespace

TEST(Players, SortedByKillsHighestFirstStable)
{
    const auto players = AddPlayers(view(playersReply({{"Ann", 5}, {"Bob", 12}, {"Cid", 5}, {"Dan", -1}})));
    ASSERT_EQ(players.size(), 4u);
    EXPECT_EQ(players[0].name, "Bob");
    EXPECT_EQ(players[1].name, "Ann");
    EXPECT_EQ(players[2].name, "Cid");
    EXPECT_EQ(players[3].name, "Dan");
    EXPECT_EQ(players[3].kills, -1);
}

TEST(Players, CountByteIsIgnored)
{
    EXPECT_EQ(AddPlayers(view(playersReply({{"a", 1}, {"b", 2}}, 3))).size(), 2u);
    EXPECT_EQ(AddPlayers(view(playersReply({{"a", 1}, {"b", 2}}, 1))).size(), 2u);
    EXPECT_TRUE(AddPlayers(view(playersReply({}, 5))).empty());
    // Five bytes: the count byte itself is missing.
    EXPECT_TRUE(AddPlayers(view(DatagramWriter().header('D').build())).empty());
    EXPECT_TRUE(AddPlayers(view(DatagramWriter().header('D').byte(1).byte(0).build())).empty());
}

TEST(Players, NonUtf8NameIsEmptied)
{
    const auto players = AddPlayers(view(playersReply({{"\xCF\xF0\xE8", 2}, {"Пётр", 1}, {"ok", 0}})));
    ASSERT_EQ(players.size(), 3u);
    EXPECT_EQ(players[0].name, "");
    EXPECT_EQ(players[0].kills, 2);
    EXPECT_EQ(players[1].name, "Пётр");
    EXPECT_EQ(players[2].name, "ok");
}

TEST(Players, NameCutInTheMiddleOfACharacterKeepsTheRest)
{
    // Names are cut at a fixed length, also inside a character: the name shows without it.
    const std::string vasya = "Василий Пупкин";
    const auto players =
        AddPlayers(view(playersReply({{vasya.substr(0, vasya.size() - 1), 3}, {"\xCF\xF0\xE8", 2}})));
    ASSERT_EQ(players.size(), 2u);
    EXPECT_EQ(players[0].name, "Василий Пупки");
    EXPECT_EQ(players[1].name, ""); // broken inside, not only cut: not UTF-8 at all
}

TEST(Players, RecordCutByTheEndKeepsWhatIsThere)
{
    Datagram d = playersReply({{"Ann", 5}, {"Bob", 0x0102}});
    // Cut after the first kills byte of Bob: "Bob" NUL 02, the rest reads as zeros.
    d.resize(d.size() - 7);
    auto players = AddPlayers(view(d));
    ASSERT_EQ(players.size(), 2u);
    EXPECT_EQ(players[0].name, "Ann");
    EXPECT_EQ(players[1].name, "Bob");
    EXPECT_EQ(players[1].kills, 2);

    // A name running to the end of the data, without NUL or kills.
    d = DatagramWriter().header('D').bytes({1, 0}).text("Zed").build();
    players = AddPlayers(view(d));
    ASSERT_EQ(players.size(), 1u);
    EXPECT_EQ(players[0].name, "Zed");
    EXPECT_EQ(players[0].kills, 0);

    // A name filling the rest of a full receive buffer.
    d = DatagramWriter().header('D').bytes({1, 0}).build();
    d.resize(Dispatcher::ReceiveBufferSize, 'n');
    players = AddPlayers(view(d));
    ASSERT_EQ(players.size(), 1u);
    EXPECT_EQ(players[0].name.size(), Dispatcher::ReceiveBufferSize - 7);
}

TEST(Rules, CountIsTheLowByteAndCapped)
{
    // 16-bit count 300 (low byte 44) lists 44 rules.
    auto reply = rulesReply(numberedRules(60), 44);
    reply[6] = 1;
    auto rules = AddRules(view(reply));
    ASSERT_EQ(rules.size(), 44u);
    EXPECT_EQ(rules[43].name, "r43");
    EXPECT_EQ(rules[43].value, "43");

    EXPECT_TRUE(AddRules(view(rulesReply(numberedRules(5), 0))).empty());
    // A count above what the reply holds shows the rules there are.
    EXPECT_EQ(AddRules(view(rulesReply(numberedRules(3), 9))).size(), 3u);
    // A count of 0xFF or above the table shows the rules there are, at most a table's worth.
    EXPECT_EQ(AddRules(view(rulesReply(numberedRules(5), 0xFF))).size(), 5u);
    EXPECT_EQ(AddRules(view(rulesReply(numberedRules(230), 0xFF))).size(), Dispatcher::RulesTableSize);
    EXPECT_EQ(AddRules(view(rulesReply(numberedRules(230), 220))).size(), Dispatcher::RulesTableSize);
    EXPECT_EQ(AddRules(view(rulesReply(numberedRules(230), 200))).size(), 200u);
    EXPECT_TRUE(AddRules(view(DatagramWriter().header('E').build())).empty());
}

TEST(Rules, NameAtTheEndWithoutValue)
{
    // The last rule's name runs to the end: it is present, its value empty.
    const Datagram d = DatagramWriter().header('E').bytes({3, 0}).cstr("a").cstr("1").text("b").build();
    const auto rules = AddRules(view(d));
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(rules[1].name, "b");
    EXPECT_EQ(rules[1].value, "");

    const Datagram empty = DatagramWriter().header('E').bytes({3, 0}).cstr("a").cstr("").build();
    ASSERT_EQ(AddRules(view(empty)).size(), 1u);
    EXPECT_EQ(AddRules(view(empty))[0].value, "");
    // Rules texts are decoded like server texts.
    const Datagram cyrillic =
        DatagramWriter().header('E').bytes({1, 0}).cstr("\xE8\xEC\xFF").cstr("x").build();
    EXPECT_EQ(AddRules(view(cyrillic))[0].name, "имя");
}

TEST(Rules, TwoWholeRepliesShowTheRulesOnce)
{
    Requests requests;
    Dispatcher dispatcher(requests);
    const Datagram d = rulesReply(numberedRules(3));
    EXPECT_EQ(rulesOf(dispatcher.dispatch(view(d), Server)).size(), 3u);
    EXPECT_EQ(rulesOf(dispatcher.dispatch(view(d), Server)).size(), 3u);
}

TEST(SplitRules, TwoFragmentsFillTheListOnce)
{
    Requests requests;
    Dispatcher dispatcher(requests);
    const auto [first, last] = splitRulesReply(0x0814, 100);
    ASSERT_EQ(first.size(), 1400u);
    EXPECT_TRUE(rulesOf(dispatcher.dispatch(view(first), Server)).empty());
    const auto rules = rulesOf(dispatcher.dispatch(view(last), Server));
    ASSERT_EQ(rules.size(), 100u);
    EXPECT_EQ(rules[0].name, "rule_0");
    EXPECT_EQ(rules[99].name, "rule_99");
    EXPECT_EQ(rules[99].value, "value_693");
}

TEST(SplitRules, LoneLastFragmentShowsNothing)
{
    Requests requests;
    Dispatcher dispatcher(requests);
    Datagram lone = DatagramWriter().bytes({0xFE, 0xFF, 0xFF, 0xFF}).i32(7).byte(0x12).build();
    const Datagram whole = rulesReply(numberedRules(4));
    lone.insert(lone.end(), whole.begin(), whole.end());
    lone.resize(200, 0);
    EXPECT_TRUE(rulesOf(dispatcher.dispatch(view(lone), Server)).empty());
}

TEST(SplitRules, LastFragmentNeedsTheSameSenderAndRequest)
{
    const auto [first, last] = splitRulesReply(0x0814, 100);
    const auto [otherFirst, otherLast] = splitRulesReply(0x0815, 100);
    {
        Requests requests;
        Dispatcher dispatcher(requests);
        dispatcher.dispatch(view(first), Server);
        EXPECT_TRUE(rulesOf(dispatcher.dispatch(view(last), (*Endpoint::parse("10.0.0.6", 27015)))).empty());
        EXPECT_TRUE(rulesOf(dispatcher.dispatch(view(last), (*Endpoint::parse("10.0.0.5", 27016)))).empty());
        EXPECT_TRUE(rulesOf(dispatcher.dispatch(view(otherLast), Server)).empty());
        // The kept first fragment still completes with its own last fragment.
        EXPECT_EQ(rulesOf(dispatcher.dispatch(view(last), Server)).size(), 100u);
    }
    {
        // A newer first fragment replaces the older one.
        Requests requests;
        Dispatcher dispatcher(requests);
        dispatcher.dispatch(view(first), Server);
        dispatcher.dispatch(view(otherFirst), Server);
        EXPECT_TRUE(rulesOf(dispatcher.dispatch(view(last), Server)).empty());
        EXPECT_EQ(rulesOf(dispatcher.dispatch(view(otherLast), Server)).size(), 100u);
    }
}

TEST(SplitRules, StaleBytesOfALongerEarlierFragmentAreNotRead)
{
    Requests requests;
    Dispatcher dispatcher(requests);
    const auto [first, last] = splitRulesReply(1, 150);
    dispatcher.dispatch(view(first), Server);
    ASSERT_EQ(rulesOf(dispatcher.dispatch(view(last), Server)).size(), 150u);

    // Same request, a shorter last fragment that ends inside rule 110: rules past its end, which
    // the longer fragment left behind, must not come back.
    Datagram shorter = last;
    const std::string cut = "rule_110";
    const auto at = std::search(shorter.begin(), shorter.end(), cut.begin(), cut.end());
    ASSERT_NE(at, shorter.end());
    shorter.erase(at + 3, shorter.end());
    const auto rules = rulesOf(dispatcher.dispatch(view(shorter), Server));
    ASSERT_EQ(rules.size(), 111u);
    EXPECT_EQ(rules.back().name, "rul");
    EXPECT_EQ(rules.back().value, "");

    // A last fragment with its header only (or less) decodes the first fragment alone.
    const Datagram header(last.begin(), last.begin() + 9);
    EXPECT_LT(rulesOf(dispatcher.dispatch(view(header), Server)).size(), 150u);
}

TEST(SplitRules, WholeReplyBetweenFragmentsLeavesTheFirstIntact)
{
    Requests requests;
    Dispatcher dispatcher(requests);
    const auto [first, last] = splitRulesReply(5, 100);
    dispatcher.dispatch(view(first), Server);
    EXPECT_EQ(rulesOf(dispatcher.dispatch(view(rulesReply(numberedRules(2))), Server)).size(), 2u);
    const auto rules = rulesOf(dispatcher.dispatch(view(last), Server));
    ASSERT_EQ(rules.size(), 100u);
    EXPECT_EQ(rules[0].name, "rule_0");
}

TEST(SplitRules, FragmentLengthsAtTheLimits)
{
    Requests requests;
    Dispatcher dispatcher(requests);
    const auto [first, last] = splitRulesReply(9, 100);
    dispatcher.dispatch(view(first), Server);
    // A last fragment longer than the room behind the first one: what fits is appended.
    Datagram biggest = last;
    biggest.resize(4096, 'z');
    const auto rules = rulesOf(dispatcher.dispatch(view(biggest), Server));
    EXPECT_EQ(rules.size(), 100u);
    // Five to nine bytes: nothing to append.
    for (std::size_t n = 5; n <= 9; ++n) {
        const Datagram small(last.begin(), last.begin() + static_cast<std::ptrdiff_t>(n));
        const Outcome o = dispatcher.dispatch(view(small), Server);
        EXPECT_TRUE(std::holds_alternative<RulesReply>(o)) << n;
    }
}
