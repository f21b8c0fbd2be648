#include "emu/ProfileFile.h"
#include "emu/ProfileTable.h"
#include "emu/Replies.h"
#include "query/Dispatcher.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>

using namespace vantry::emu;
namespace q = vantry::query;

namespace {

constexpr std::uint32_t Addr = (127u << 24) | (3u << 8) | 9; // 127.0.3.9
constexpr std::uint16_t Port = 27015;
const q::Endpoint From{Addr, Port};

Datagram bytes(q::Bytes b)
{
    return {b.begin(), b.end()};
}

// A dispatcher with a table of requests in flight, as every caller of today's servers keeps.
struct Client
{
    q::Requests requests;
    q::Dispatcher dispatcher{requests};
    q::OutstandingRequests outstanding;
    Client() { dispatcher.setOutstanding(&outstanding); }
    q::Outcome take(const Datagram& d, std::uint64_t nowMs = 1)
    {
        return dispatcher.dispatch(d, From, nowMs);
    }
};

Datagram rulesRequest(const Profile& p)
{
    const auto c = challengeFor(p, Addr);
    return {0xFF, 0xFF, 0xFF, 0xFF, 'V', c[0], c[1], c[2], c[3]};
}

// Rules that bzip2 cannot shrink much, so a compressed reply still needs several fragments.
std::vector<Rule> noisyRules(int count)
{
    std::vector<Rule> rules;
    std::uint32_t x = 12345;
    for (int i = 0; i < count; ++i) {
        std::string value;
        for (int k = 0; k < 12; ++k) {
            x = x * 1103515245u + 12345u;
            value += static_cast<char>('!' + (x >> 16) % 90);
        }
        rules.push_back({"rule_" + std::to_string(i), value});
    }
    return rules;
}

std::uint32_t u32At(const Datagram& d, std::size_t at)
{
    return std::uint32_t(d[at]) | std::uint32_t(d[at + 1]) << 8 | std::uint32_t(d[at + 2]) << 16 |
           std::uint32_t(d[at + 3]) << 24;
}

} // namespace

TEST(EmuToday, InfoChallengeServerAnswersOnlyTheRequestCarryingItsChallenge)
{
    Profile p = defaultsFor(Kind::Source);
    p.infoChallenge = true;
    Client client;
    client.outstanding.infoSent(Addr, Port, 0);

    const auto first = answer(p, client.requests.info(), Addr, Port);
    ASSERT_EQ(first.size(), 1u);
    const auto challenge = client.take(first[0]);
    const auto* route = std::get_if<q::InfoChallenge>(&challenge);
    ASSERT_NE(route, nullptr);
    EXPECT_EQ(route->challenge, challengeFor(p, Addr));

    // A wrong challenge, or the right one cut short, is challenged again.
    auto wrong = client.requests.infoWithChallenge({1, 2, 3, 4});
    EXPECT_EQ(answer(p, wrong, Addr, Port)[0][4], 'A');
    const auto right = client.requests.infoWithChallenge(route->challenge);
    EXPECT_EQ(answer(p, q::Bytes(right).first(28), Addr, Port)[0][4], 'A');

    const auto reply = answer(p, right, Addr, Port);
    ASSERT_EQ(reply.size(), 1u);
    const auto listed = client.take(reply[0]);
    const auto* info = std::get_if<q::InfoReply>(&listed);
    ASSERT_NE(info, nullptr);
    EXPECT_STREQ(q::gameText(info->row.kind), "CSS");

    // Without the flag the plain request is answered at once, as before.
    p.infoChallenge = false;
    EXPECT_EQ(answer(p, client.requests.info(), Addr, Port)[0][4], 'I');
}

TEST(EmuToday, OlderEngineInNewerLayoutIsListedOnceAs16)
{
    Profile p = olderEngineInNewerLayout();
    const auto only = answer(p, q::Requests().info(), Addr, Port);
    ASSERT_EQ(only.size(), 1u);
    ASSERT_EQ(only[0][4], 'I');
    EXPECT_EQ(only[0][5], 48);
    {
        Client client;
        const auto out = client.take(only[0]);
        const auto* info = std::get_if<q::InfoReply>(&out);
        ASSERT_NE(info, nullptr);
        EXPECT_STREQ(q::gameText(info->row.kind), "1.6");
        EXPECT_EQ(q::protocolText(info->row), "48");
    }

    // 'm' and 'I' to one request: the second is not a second row.
    p.bothInfoLayouts = true;
    Client client;
    client.outstanding.infoSent(Addr, Port, 0);
    const auto both = answer(p, client.requests.info(), Addr, Port);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0][4], 'm');
    EXPECT_EQ(both[1][4], 'I');
    EXPECT_TRUE(std::holds_alternative<q::InfoReply>(client.take(both[0])));
    const auto second = client.take(both[1]);
    ASSERT_TRUE(std::holds_alternative<q::Dropped>(second));
    EXPECT_EQ(std::get<q::Dropped>(second).reason, q::DropReason::SecondReply);
}

TEST(EmuToday, NewerSplitRulesReassembleInAnyOrderAndCompressed)
{
    Profile p = defaultsFor(Kind::Source);
    p.rules = noisyRules(60);
    p.newerSplit.size = 400;
    p.newerSplit.compressed = true;
    const Datagram whole = rulesReply(p);

    for (FragmentOrder order : {FragmentOrder::Forward, FragmentOrder::Reverse, FragmentOrder::Shuffled}) {
        p.newerSplit.order = order;
        const auto fragments = answer(p, rulesRequest(p), Addr, Port);
        ASSERT_GE(fragments.size(), 3u) << orderName(order);
        std::vector<int> numbers;
        for (const Datagram& f : fragments) {
            ASSERT_GT(f.size(), NewerHeaderSize);
            EXPECT_EQ(Datagram(f.begin(), f.begin() + 4), (Datagram{0xFE, 0xFF, 0xFF, 0xFF}));
            EXPECT_EQ(u32At(f, 4), 0x80000814u); // splitId, compressed bit set
            EXPECT_EQ(f[8], fragments.size());
            EXPECT_EQ(f[10] | f[11] << 8, 400);
            EXPECT_LE(f.size() - NewerHeaderSize, 400u);
            numbers.push_back(f[9]);
            if (f[9] == 0) {
                EXPECT_EQ(u32At(f, 12), whole.size());
                EXPECT_EQ(u32At(f, 16), crc32(whole));
                EXPECT_EQ(std::string(f.begin() + 20, f.begin() + 23), "BZh");
            }
        }
        if (order == FragmentOrder::Forward)
            EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
        else
            EXPECT_FALSE(std::is_sorted(numbers.begin(), numbers.end())) << orderName(order);

        Client client;
        // As a program does when it sends the rules request: split replies are taken only then.
        client.outstanding.detailsSent(From.address, From.port, 1);
        for (std::size_t i = 0; i + 1 < fragments.size(); ++i) {
            const auto held = client.take(fragments[i]);
            ASSERT_TRUE(std::holds_alternative<q::Dropped>(held));
            EXPECT_EQ(std::get<q::Dropped>(held).reason, q::DropReason::PartialReply);
        }
        const auto done = client.take(fragments.back());
        const auto* rules = std::get_if<q::RulesReply>(&done);
        ASSERT_NE(rules, nullptr) << orderName(order);
        ASSERT_EQ(rules->rules.size(), 60u);
        EXPECT_EQ(rules->rules[59].value, p.rules[59].value);
    }

    // Uncompressed: fragment 0 starts with the reply itself.
    p.newerSplit.compressed = false;
    p.newerSplit.order = FragmentOrder::Forward;
    const auto plain = answer(p, rulesRequest(p), Addr, Port);
    ASSERT_EQ(plain.size(), (whole.size() + 399) / 400);
    EXPECT_EQ(u32At(plain[0], 4), 0x814u);
    EXPECT_EQ(Datagram(plain[0].begin() + 12, plain[0].begin() + 17),
              Datagram(whole.begin(), whole.begin() + 5));

    // A reply that fits in one fragment goes whole.
    p.rules.resize(2);
    EXPECT_EQ(answer(p, rulesRequest(p), Addr, Port), std::vector<Datagram>{rulesReply(p)});
}

TEST(EmuToday, WithheldFragmentLeavesTheReplyIncomplete)
{
    Profile p = defaultsFor(Kind::Hl1);
    p.rules = noisyRules(60);
    p.newerSplit = {300, true, FragmentOrder::Forward, 1};
    const auto all = newerSplitReply(rulesReply(p), {300, true, FragmentOrder::Forward, -1}, p.splitId);
    const auto sent = answer(p, rulesRequest(p), Addr, Port);
    ASSERT_EQ(sent.size() + 1, all.size());
    EXPECT_TRUE(std::none_of(sent.begin(), sent.end(), [](const Datagram& f) { return f[9] == 1; }));

    Client client;
    for (const Datagram& f : sent)
        EXPECT_TRUE(std::holds_alternative<q::Dropped>(client.take(f)));
    // The old-server form splits the same way.
    p.kind = Kind::OldInfo;
    const Datagram oldRules = bytes(client.requests.oldRules());
    EXPECT_EQ(answer(p, oldRules, Addr, Port), sent);
}

TEST(EmuToday, ProfileLinesSetTodaysForms)
{
    ProfileTable table;
    std::vector<std::uint16_t> ports;
    applyProfileLine("server 127.0.0.5:27015 kind=source infochallenge=1 both=1 nsplit=600 bzip=1 "
                     "order=shuffle withhold=2",
                     table, ports);
    const auto p = table.find((127u << 24) | 5, 27015);
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->infoChallenge);
    EXPECT_TRUE(p->bothInfoLayouts);
    EXPECT_EQ(p->newerSplit.size, 600);
    EXPECT_TRUE(p->newerSplit.compressed);
    EXPECT_EQ(p->newerSplit.order, FragmentOrder::Shuffled);
    EXPECT_EQ(p->newerSplit.withheld, 2);
    for (const char* bad : {"server 127.0.0.1 order=sideways", "server 127.0.0.1 nsplit=2000",
                            "server 127.0.0.1 bzip=2", "server 127.0.0.1 withhold=-1"})
        EXPECT_THROW(applyProfileLine(bad, table, ports), std::invalid_argument) << bad;
}
