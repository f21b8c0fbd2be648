#include "query/SplitReplies.h"

#include "Datagrams.h"
#include "query/Dispatcher.h"

#include <bzlib.h>
#include <gtest/gtest.h>

using namespace vantry::query;
using namespace vantry::test;

namespace {

const Endpoint Server{*Endpoint::parse("10.0.0.5", 27015)};
constexpr std::uint32_t Compressed = 0x80000000u;

std::vector<std::pair<std::string, std::string>> manyRules(int count)
{
    std::vector<std::pair<std::string, std::string>> rules;
    for (int i = 0; i < count; ++i)
        rules.emplace_back("rule_" + std::to_string(i), "value_" + std::to_string(i * 7));
    return rules;
}

Datagram bzip2(const Datagram& plain)
{
    Datagram out(plain.size() + plain.size() / 100 + 600);
    unsigned int size = static_cast<unsigned int>(out.size());
    const int status =
        BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &size,
                                 const_cast<char*>(reinterpret_cast<const char*>(plain.data())),
                                 static_cast<unsigned int>(plain.size()), 9, 0, 0);
    if (status != BZ_OK)
        throw std::runtime_error("bzip2 failed");
    out.resize(size);
    return out;
}

// The body of a compressed reply: the declared size and CRC32, then the bzip2 stream.
Datagram compressedBody(const Datagram& plain, std::uint32_t declaredSize, std::uint32_t crc)
{
    Datagram body = DatagramWriter()
                        .i32(static_cast<std::int32_t>(declaredSize))
                        .i32(static_cast<std::int32_t>(crc))
                        .build();
    const Datagram packed = bzip2(plain);
    body.insert(body.end(), packed.begin(), packed.end());
    return body;
}

Datagram compressedBody(const Datagram& plain)
{
    return compressedBody(plain, static_cast<std::uint32_t>(plain.size()), crc32(plain));
}

// The older Source engine's fragments: today's header without the split size.
std::vector<Datagram> olderSourceSplit(std::uint32_t id, const Datagram& body, std::size_t splitSize)
{
    std::vector<Datagram> out = newerSplit(id, body, splitSize);
    for (Datagram& d : out)
        d.erase(d.begin() + 10, d.begin() + 12);
    return out;
}

DropReason dropReason(const Outcome& o)
{
    const auto* dropped = std::get_if<Dropped>(&o);
    if (!dropped) {
        ADD_FAILURE() << "not dropped";
        return DropReason::FailedReceive;
    }
    return dropped->reason;
}

} // namespace

TEST(NewerSplit, CompressedRulesInThreeFragmentsDecompressToTheWholeList)
{
    const Datagram plain = rulesReply(manyRules(150));
    const Datagram body = compressedBody(plain);
    const auto fragments = newerSplit(0x1234 | Compressed, body, body.size() / 3 + 1);
    ASSERT_EQ(fragments.size(), 3u);
    Requests requests;
    Dispatcher dispatcher(requests);
    EXPECT_EQ(dropReason(dispatcher.dispatch(view(fragments[0]), Server, 100)), DropReason::PartialReply);
    EXPECT_EQ(dropReason(dispatcher.dispatch(view(fragments[1]), Server, 120)), DropReason::PartialReply);
    const Outcome o = dispatcher.dispatch(view(fragments[2]), Server, 140);
    ASSERT_TRUE(std::holds_alternative<RulesReply>(o));
    const auto& rules = std::get<RulesReply>(o).rules;
    ASSERT_EQ(rules.size(), 150u);
    EXPECT_EQ(rules[149].name, "rule_149");
    EXPECT_EQ(rules[149].value, "value_1043");
}

TEST(NewerSplit, FragmentsInAnyOrderAndPerSender)
{
    const Datagram whole = rulesReply(manyRules(120));
    const auto fragments = newerSplit(77, whole, whole.size() / 3 + 1);
    ASSERT_EQ(fragments.size(), 3u);
    const Endpoint other{*Endpoint::parse("10.0.0.6", 27015)};
    Requests requests;
    Dispatcher dispatcher(requests);
    // Two servers answering with the same request id interleave; each reply is its own.
    dispatcher.dispatch(view(fragments[2]), Server);
    dispatcher.dispatch(view(fragments[1]), other);
    dispatcher.dispatch(view(fragments[0]), Server);
    dispatcher.dispatch(view(fragments[2]), other);
    // A repeated fragment changes nothing.
    EXPECT_EQ(dropReason(dispatcher.dispatch(view(fragments[0]), Server)), DropReason::PartialReply);
    const Outcome o = dispatcher.dispatch(view(fragments[1]), Server);
    ASSERT_TRUE(std::holds_alternative<RulesReply>(o));
    EXPECT_EQ(std::get<RulesReply>(o).rules.size(), 120u);
    const Outcome o2 = dispatcher.dispatch(view(fragments[0]), other);
    ASSERT_TRUE(std::holds_alternative<RulesReply>(o2));
    EXPECT_EQ(std::get<RulesReply>(o2).rules.back().name, "rule_119");
}

TEST(NewerSplit, RequestIdsWhoseLowByteReadsAsATypeLetterStillReassemble)
{
    // The request id sits at bytes 4..7, where a whole reply has its type: 6 ids in 256 put one of
    // our type letters there, and each of their fragments must still count as a fragment.
    const Datagram rules = rulesReply(manyRules(120));
    std::vector<std::pair<std::string, std::int32_t>> many;
    for (int i = 0; i < 120; ++i)
        many.emplace_back("player_" + std::to_string(i), i);
    const Datagram players = playersReply(many);
    for (const char letter : {'A', 'D', 'E', 'I', 'i', 'm'}) {
        for (const std::uint32_t high : {0x00001200u, Compressed | 0x00345600u}) {
            SCOPED_TRACE(std::string(1, letter) + (high & Compressed ? " compressed" : ""));
            const std::uint32_t id = high | static_cast<std::uint8_t>(letter);
            const bool compressed = (id & Compressed) != 0;
            for (const bool ofPlayers : {false, true}) {
                const Datagram& whole = ofPlayers ? players : rules;
                const auto fragments = newerSplit(id, compressed ? compressedBody(whole) : whole, 200);
                ASSERT_GE(fragments.size(), 2u);
                Requests requests;
                OutstandingRequests table;
                table.infoSent(0x0A000005, 27015, 0);
                table.detailsSent(0x0A000005, 27015, 0);
                Dispatcher dispatcher(requests);
                dispatcher.setOutstanding(&table);
                const auto slot = requests.challenge();
                // Last fragment first: its payload is not a reply's start either.
                EXPECT_EQ(dropReason(dispatcher.dispatch(view(fragments.back()), Server, 1)),
                          DropReason::PartialReply);
                Outcome o;
                for (std::size_t i = 0; i + 1 < fragments.size(); ++i)
                    o = dispatcher.dispatch(view(fragments[i]), Server, 2);
                EXPECT_EQ(requests.challenge(), slot) << "a fragment is no challenge";
                if (ofPlayers) {
                    ASSERT_TRUE(std::holds_alternative<PlayersReply>(o));
                    EXPECT_EQ(std::get<PlayersReply>(o).players.size(), 120u);
                } else {
                    ASSERT_TRUE(std::holds_alternative<RulesReply>(o));
                    EXPECT_EQ(std::get<RulesReply>(o).rules.size(), 120u);
                }
            }
        }
    }
}

TEST(NewerSplit, PlayersReplyIsReassembledAsPlayers)
{
    std::vector<std::pair<std::string, std::int32_t>> players;
    for (int i = 0; i < 200; ++i)
        players.emplace_back("player_" + std::to_string(i), i);
    const auto fragments = newerSplit(5, playersReply(players), 1248);
    ASSERT_GE(fragments.size(), 3u);
    Requests requests;
    Dispatcher dispatcher(requests);
    Outcome o;
    for (const Datagram& f : fragments)
        o = dispatcher.dispatch(view(f), Server);
    ASSERT_TRUE(std::holds_alternative<PlayersReply>(o));
    const auto& rows = std::get<PlayersReply>(o).players;
    ASSERT_EQ(rows.size(), 200u);
    EXPECT_EQ(rows.front().name, "player_199");
}

TEST(NewerSplit, MissingFragmentTimesOutAndOpenRepliesAreBounded)
{
    const Datagram whole = rulesReply(manyRules(120));
    const auto fragments = newerSplit(9, whole, whole.size() / 3 + 1);
    ASSERT_EQ(fragments.size(), 3u);
    Requests requests;
    Dispatcher dispatcher(requests);
    dispatcher.dispatch(view(fragments[0]), Server, 1000);
    dispatcher.dispatch(view(fragments[1]), Server, 1100);
    // The last fragment comes after the time limit: the partial reply is gone, so it starts anew.
    const std::uint64_t late = 1000 + SplitReplies::TimeLimitMs + 1;
    EXPECT_EQ(dropReason(dispatcher.dispatch(view(fragments[2]), Server, late)), DropReason::PartialReply);
    // Within the limit it would have completed.
    dispatcher.dispatch(view(fragments[0]), Server, late + 10);
    EXPECT_TRUE(
        std::holds_alternative<RulesReply>(dispatcher.dispatch(view(fragments[1]), Server, late + 20)));

    SplitReplies splits;
    for (std::uint16_t port = 1; port <= 200; ++port)
        splits.add(view(fragments[0]), (*Endpoint::parse("10.0.0.7", port)), port);
    EXPECT_EQ(splits.openReplies(), SplitReplies::MaxPartials);
    // The oldest gave way: the newest ones still complete.
    splits.add(view(fragments[1]), (*Endpoint::parse("10.0.0.7", 200)), 200);
    EXPECT_EQ(splits.add(view(fragments[2]), (*Endpoint::parse("10.0.0.7", 200)), 200),
              SplitReplies::Result::Complete);
    EXPECT_EQ(splits.add(view(fragments[2]), (*Endpoint::parse("10.0.0.7", 1)), 201),
              SplitReplies::Result::Held);
}

TEST(NewerSplit, BadCrcWrongSizeAndBombsAreDropped)
{
    const Datagram plain = rulesReply(manyRules(150));
    auto dispatchAll = [](const std::vector<Datagram>& fragments) {
        Requests requests;
        Dispatcher dispatcher(requests);
        Outcome o;
        for (const Datagram& f : fragments)
            o = dispatcher.dispatch(view(f), Server);
        return o;
    };
    const auto size = static_cast<std::uint32_t>(plain.size());
    const Outcome badCrc =
        dispatchAll(newerSplit(1 | Compressed, compressedBody(plain, size, crc32(plain) ^ 1), 500));
    EXPECT_EQ(dropReason(badCrc), DropReason::BadSplitReply);
    const Outcome shortSize =
        dispatchAll(newerSplit(2 | Compressed, compressedBody(plain, size - 1, crc32(plain)), 500));
    EXPECT_EQ(dropReason(shortSize), DropReason::BadSplitReply);

    // A megabyte of one byte packs into a few dozen bytes; neither its true size nor a small
    // declared size lets it unpack past the cap.
    Datagram bomb = rulesReply({{"a", "b"}});
    bomb.resize(1 << 20, 'x');
    const auto bombSize = static_cast<std::uint32_t>(bomb.size());
    EXPECT_EQ(dropReason(dispatchAll(newerSplit(3 | Compressed, compressedBody(bomb), 16))),
              DropReason::BadSplitReply);
    EXPECT_EQ(
        dropReason(dispatchAll(newerSplit(4 | Compressed, compressedBody(bomb, 1000, crc32(bomb)), 16))),
        DropReason::BadSplitReply);
    (void)bombSize;
    // Garbage behind the bzip2 mark.
    Datagram garbage = compressedBody(plain);
    std::fill(garbage.begin() + 14, garbage.end(), 0x55);
    EXPECT_EQ(dropReason(dispatchAll(newerSplit(5 | Compressed, garbage, 500))), DropReason::BadSplitReply);
}

TEST(OlderSourceSplit, FragmentsWithoutTheSplitSizeReassembleCompressedOrPlain)
{
    const Datagram plain = rulesReply(manyRules(150));
    const Datagram body = compressedBody(plain);
    const auto compressed = olderSourceSplit(0x4321 | Compressed, body, body.size() / 3 + 1);
    ASSERT_EQ(compressed.size(), 3u);
    ASSERT_TRUE(SplitReplies::isFragment(view(compressed[0])));
    Requests requests;
    Dispatcher dispatcher(requests);
    // Last first: the later fragments are kept before the first one tells the layout.
    EXPECT_EQ(dropReason(dispatcher.dispatch(view(compressed[2]), Server)), DropReason::PartialReply);
    EXPECT_EQ(dropReason(dispatcher.dispatch(view(compressed[1]), Server)), DropReason::PartialReply);
    const Outcome o = dispatcher.dispatch(view(compressed[0]), Server);
    ASSERT_TRUE(std::holds_alternative<RulesReply>(o));
    ASSERT_EQ(std::get<RulesReply>(o).rules.size(), 150u);
    EXPECT_EQ(std::get<RulesReply>(o).rules[149].value, "value_1043");

    // Uncompressed, whose request id's low byte is a type letter.
    const auto whole = olderSourceSplit('E', rulesReply(manyRules(90)), 700);
    ASSERT_GE(whole.size(), 2u);
    Outcome last;
    for (const Datagram& f : whole)
        last = dispatcher.dispatch(view(f), Server);
    ASSERT_TRUE(std::holds_alternative<RulesReply>(last));
    EXPECT_EQ(std::get<RulesReply>(last).rules.size(), 90u);

    // A players reply comes the same way.
    std::vector<std::pair<std::string, std::int32_t>> players;
    for (int i = 0; i < 120; ++i)
        players.emplace_back("player_" + std::to_string(i), i);
    const Datagram playersPlain = playersReply(players);
    last = {};
    for (const Datagram& f : olderSourceSplit(0x99 | Compressed, compressedBody(playersPlain), 400))
        last = dispatcher.dispatch(view(f), Server);
    ASSERT_TRUE(std::holds_alternative<PlayersReply>(last));
    EXPECT_EQ(std::get<PlayersReply>(last).players.size(), 120u);
}

TEST(OlderSourceSplit, WrongSizeOrCrcAndUnopenedRepliesAreDropped)
{
    const Datagram plain = rulesReply(manyRules(150));
    const auto size = static_cast<std::uint32_t>(plain.size());
    auto dispatchAll = [](const std::vector<Datagram>& fragments) {
        Requests requests;
        Dispatcher dispatcher(requests);
        Outcome o;
        for (const Datagram& f : fragments)
            o = dispatcher.dispatch(view(f), Server);
        return o;
    };
    EXPECT_EQ(dropReason(dispatchAll(
                  olderSourceSplit(1 | Compressed, compressedBody(plain, size, crc32(plain) ^ 1), 500))),
              DropReason::BadSplitReply);
    EXPECT_EQ(dropReason(dispatchAll(
                  olderSourceSplit(2 | Compressed, compressedBody(plain, size + 1, crc32(plain)), 500))),
              DropReason::BadSplitReply);
    // A first fragment whose reply opens behind neither header is no fragment.
    auto broken = olderSourceSplit(4, plain, 500);
    broken[0][10] = 0x00;
    EXPECT_FALSE(SplitReplies::isFragment(view(broken[0])));
}

TEST(NewerSplit, OlderEngineFragmentsKeepTheirTwoFragmentPath)
{
    // A newer reply whose first fragment happens to be 1400 bytes long is still a newer reply.
    const auto newer = newerSplit(11, rulesReply(manyRules(150)), 1388);
    ASSERT_EQ(newer[0].size(), 1400u);
    {
        Requests requests;
        Dispatcher dispatcher(requests);
        Outcome o;
        for (const Datagram& f : newer)
            o = dispatcher.dispatch(view(f), Server);
        ASSERT_TRUE(std::holds_alternative<RulesReply>(o));
        EXPECT_EQ(std::get<RulesReply>(o).rules.size(), 150u);
    }
    // An older last fragment whose bytes 8..11 read like a newer header (total 0x12, number 1,
    // a plausible size) still completes the kept first fragment of the same request.
    auto [first, last] = splitRulesReply(0x0814, 100);
    EXPECT_FALSE(SplitReplies::isFragment(view(first)));
    last[9] = 0x01;
    last[10] = 0x01;
    last[11] = 0x05;
    ASSERT_TRUE(SplitReplies::isFragment(view(last)));
    Requests requests;
    Dispatcher dispatcher(requests);
    EXPECT_TRUE(std::get<RulesReply>(dispatcher.dispatch(view(first), Server)).rules.empty());
    const Outcome o = dispatcher.dispatch(view(last), Server);
    ASSERT_TRUE(std::holds_alternative<RulesReply>(o));
    EXPECT_EQ(std::get<RulesReply>(o).rules.size(), 100u);
}

// Older Source servers send a compressed reply that fits in one datagram behind the split header
// all the same, with a total of 1.
TEST(SplitTotalOne, ACompressedOrPlainReplyInOneFragmentIsDecodedInBothLayouts)
{
    std::vector<std::pair<std::string, std::int32_t>> players{{"Ann", 5}, {"Bob", 12}};
    const Datagram playersPlain = playersReply(players);
    const Datagram rulesPlain = rulesReply(manyRules(40));
    for (const bool older : {false, true}) {
        SCOPED_TRACE(older ? "10-byte header" : "12-byte header");
        Requests requests;
        Dispatcher dispatcher(requests);
        // An id whose low byte reads as 'D' or 'E' where a whole reply has its type.
        const Datagram p = singleFragment('E', playersPlain, true, older);
        ASSERT_TRUE(SplitReplies::isFragment(view(p)));
        const Outcome po = dispatcher.dispatch(view(p), Server, 10);
        ASSERT_TRUE(std::holds_alternative<PlayersReply>(po));
        ASSERT_EQ(std::get<PlayersReply>(po).players.size(), 2u);
        EXPECT_EQ(std::get<PlayersReply>(po).players[0].name, "Bob");

        const Outcome ro =
            dispatcher.dispatch(view(singleFragment('D', rulesPlain, true, older)), Server, 20);
        ASSERT_TRUE(std::holds_alternative<RulesReply>(ro));
        ASSERT_EQ(std::get<RulesReply>(ro).rules.size(), 40u);
        EXPECT_EQ(std::get<RulesReply>(ro).rules[39].value, "value_273");

        const Outcome plain =
            dispatcher.dispatch(view(singleFragment(0x51, rulesPlain, false, older)), Server);
        ASSERT_TRUE(std::holds_alternative<RulesReply>(plain));
        EXPECT_EQ(std::get<RulesReply>(plain).rules.size(), 40u);
        // A declared size one byte off: the size check, not only the CRC's.
        EXPECT_EQ(
            dropReason(dispatcher.dispatch(view(singleFragment(0x52, rulesPlain, true, older, 1)), Server)),
            DropReason::BadSplitReply);
    }
}

TEST(SplitTotalOne, AWrongSizeCrcOrStreamIsDroppedWithoutTouchingOtherReplies)
{
    const Datagram plain = rulesReply(manyRules(40));
    for (const bool older : {false, true}) {
        SCOPED_TRACE(older ? "10-byte header" : "12-byte header");
        Requests requests;
        Dispatcher dispatcher(requests);
        // A reply of three fragments is open meanwhile.
        const auto open = newerSplit(0x77, plain, plain.size() / 3 + 1);
        dispatcher.dispatch(view(open[0]), Server);
        dispatcher.dispatch(view(open[1]), Server);

        for (const Datagram& bad :
             {singleFragment(1, plain, true, older, 1), singleFragment(2, plain, true, older, -1),
              singleFragment(3, plain, true, older, 0, 0x100)})
            EXPECT_EQ(dropReason(dispatcher.dispatch(view(bad), Server)), DropReason::BadSplitReply);
        // The stream cut short, and its last bytes spoiled.
        Datagram cut = singleFragment(4, plain, true, older);
        cut.resize(cut.size() - 8);
        EXPECT_EQ(dropReason(dispatcher.dispatch(view(cut), Server)), DropReason::BadSplitReply);
        Datagram spoiled = singleFragment(5, plain, true, older);
        spoiled[spoiled.size() - 3] ^= 0xFF;
        EXPECT_EQ(dropReason(dispatcher.dispatch(view(spoiled), Server)), DropReason::BadSplitReply);

        const Outcome o = dispatcher.dispatch(view(open[2]), Server);
        ASSERT_TRUE(std::holds_alternative<RulesReply>(o));
        EXPECT_EQ(std::get<RulesReply>(o).rules.size(), 40u);
    }
    // A total of 1 with a number past it is no fragment.
    Datagram wrongNumber = singleFragment(6, plain, true, false);
    wrongNumber[9] = 1;
    EXPECT_FALSE(SplitReplies::isFragment(view(wrongNumber)));
}
