#include "query/XashList.h"

#include <gtest/gtest.h>
#include <string>

namespace vantry::query {
namespace {

std::vector<std::uint8_t> reply(std::uint32_t key, const std::vector<Endpoint>& entries, bool keyed = true)
{
    std::vector<std::uint8_t> out = {0xFF, 0xFF, 0xFF, 0xFF, 0x66, 0x0A};
    if (keyed) {
        out.push_back(0x7F);
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(static_cast<std::uint8_t>(key >> shift));
        out.push_back(0x08);
    }
    for (const Endpoint& e : entries) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<std::uint8_t>(e.address >> shift));
        out.push_back(static_cast<std::uint8_t>(e.port >> 8));
        out.push_back(static_cast<std::uint8_t>(e.port));
    }
    return out;
}

std::string infoString(const std::vector<std::uint8_t>& request)
{
    // '1', region, "0.0.0.0:0", NUL, info, NUL
    const std::string all(request.begin(), request.end());
    const std::size_t start = all.find('\0') + 1;
    return all.substr(start, all.size() - start - 1);
}

TEST(XashMasterRequest, CarriesWhatMastersRequireToListServers)
{
    XashRequest r;
    r.gameDir = "valve";
    r.key = 0x00C0FFEE;
    r.notEmpty = true;
    const std::vector<std::uint8_t> bytes = xashMasterRequest(r);
    ASSERT_GE(bytes.size(), 12u);
    EXPECT_EQ(bytes[0], '1');
    EXPECT_EQ(bytes[1], 0xFF); // the region Xash servers register with
    EXPECT_EQ(std::string(bytes.begin() + 2, bytes.begin() + 11), "0.0.0.0:0");
    EXPECT_EQ(bytes[11], 0);
    EXPECT_EQ(bytes.back(), 0);
    const std::string info = infoString(bytes);
    // Without clver a master answers only its update notice; without buildnum some refuse.
    EXPECT_NE(info.find("\\clver\\0.21"), std::string::npos) << info;
    EXPECT_NE(info.find("\\buildnum\\"), std::string::npos) << info;
    EXPECT_NE(info.find("\\gamedir\\valve"), std::string::npos) << info;
    EXPECT_NE(info.find("\\nat\\0"), std::string::npos) << info;
    EXPECT_NE(info.find("\\empty\\1"), std::string::npos) << info;
    EXPECT_NE(info.find("\\key\\00c0ffee"), std::string::npos) << info;
    EXPECT_EQ(info.find("\\full\\"), std::string::npos) << info;
}

TEST(XashMasterRequest, AGameFolderCannotInjectKeys)
{
    XashRequest r;
    r.gameDir = std::string("cstrike\\clver\\0.1") + '\0' + "x";
    const std::string info = infoString(xashMasterRequest(r));
    EXPECT_NE(info.find("\\gamedir\\cstrike\\nat\\0"), std::string::npos) << info;
    EXPECT_EQ(info.find("0.1"), std::string::npos) << info;
}

TEST(XashMasterReply, ReadsEntriesUpToTheZeroEntryOfEachDatagram)
{
    const std::uint32_t key = 0xA1B2C3D4;
    XashReplyError error = XashReplyError::None;
    const auto page = decodeXashReply(
        reply(key, {{0x7F000002, 27015}, {0x0A000001, 27016}, {0, 0}, {0x7F000009, 27015}}), key, error);
    ASSERT_TRUE(page) << static_cast<int>(error);
    ASSERT_EQ(page->size(), 2u);
    EXPECT_EQ((*page)[0], (Endpoint{0x7F000002, 27015}));
    EXPECT_EQ((*page)[1], (Endpoint{0x0A000001, 27016}));

    // A datagram of only the zero entry is a valid empty page.
    const auto empty = decodeXashReply(reply(key, {{0, 0}}), key, error);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
    // Entries that cannot be a server are left out, the rest kept.
    const auto odd =
        decodeXashReply(reply(key, {{0, 27015}, {0x7F000003, 0}, {0x7F000004, 1}, {0, 0}}), key, error);
    ASSERT_TRUE(odd);
    ASSERT_EQ(odd->size(), 1u);
    EXPECT_EQ(odd->front(), (Endpoint{0x7F000004, 1}));
}

TEST(XashMasterReply, DropsForgedAndStaleAnswers)
{
    XashReplyError error = XashReplyError::None;
    const std::vector<Endpoint> list = {{0x7F000002, 27015}, {0, 0}};
    EXPECT_FALSE(decodeXashReply(reply(0x11111111, list), 0x22222222, error));
    EXPECT_EQ(error, XashReplyError::WrongKey);
    // No key header at all: the entries would be read shifted; dropped instead.
    EXPECT_FALSE(decodeXashReply(reply(0, list, false), 0, error));
    EXPECT_NE(error, XashReplyError::None);
    // The key bytes are little-endian: the same number sent big-endian is another key.
    std::vector<std::uint8_t> swapped = reply(0x01020304, list);
    std::swap(swapped[7], swapped[10]);
    std::swap(swapped[8], swapped[9]);
    EXPECT_FALSE(decodeXashReply(swapped, 0x01020304, error));
    // A broken close byte.
    std::vector<std::uint8_t> badClose = reply(5, list);
    badClose[11] = 0x09;
    EXPECT_FALSE(decodeXashReply(badClose, 5, error));
    EXPECT_EQ(error, XashReplyError::WrongKey);
}

TEST(XashMasterReply, RefusesShortHeadersAndRaggedEntriesWithoutReadingPastTheData)
{
    XashReplyError error = XashReplyError::None;
    std::vector<std::uint8_t> bytes = reply(7, {{0x7F000002, 27015}, {0, 0}});
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        const std::vector<std::uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(cut));
        const auto page = decodeXashReply(part, 7, error);
        // Only a cut at an entry's edge decodes; never an entry of bytes that did not come.
        if (page) {
            EXPECT_EQ((cut - 12) % 6, 0u) << cut;
            for (const Endpoint& e : *page)
                EXPECT_EQ(e, (Endpoint{0x7F000002, 27015}));
        }
    }
    bytes[0] = 0xFE;
    EXPECT_FALSE(decodeXashReply(bytes, 7, error));
    EXPECT_EQ(error, XashReplyError::BadHeader);
    bytes[0] = 0xFF;
    bytes.push_back(1);
    EXPECT_FALSE(decodeXashReply(bytes, 7, error));
    EXPECT_EQ(error, XashReplyError::RaggedEntry);
}

TEST(XashHttpList, ReadsRecordsAroundCommentsQuotesAndUnknownDirectives)
{
    const XashHttpList list = parseXashHttpList("// servers of the week\n"
                                                "ip 127.0.0.2:27015\n"
                                                "gs \"127.0.0.3\"   # no port: the usual one\n"
                                                "motd \"welcome, all\" ip 127.0.0.4:27016\n"
                                                "future 10 gs 127.0.0.5:27017\n"
                                                "ip [2001:db8::1]:27015\n"
                                                "ip cs.example.org:27015\n"
                                                "ip 127.0.0.2:27015 // again\n"
                                                "\tip\t127.0.0.6:1#tail comment\n"
                                                "gs");
    ASSERT_EQ(list.servers.size(), 5u);
    EXPECT_EQ(list.servers[0].address, (Endpoint{0x7F000002, 27015}));
    EXPECT_EQ(list.servers[0].kind, XashServerKind::Xash);
    EXPECT_EQ(list.servers[1].address, (Endpoint{0x7F000003, 27015}));
    EXPECT_EQ(list.servers[1].kind, XashServerKind::GoldSrc);
    EXPECT_EQ(list.servers[2].address, (Endpoint{0x7F000004, 27016}));
    EXPECT_EQ(list.servers[3].address, (Endpoint{0x7F000005, 27017}));
    EXPECT_EQ(list.servers[4].address, (Endpoint{0x7F000006, 1}));
    // The IPv6 record, the host name and the record cut off at the end.
    EXPECT_EQ(list.skipped, 3u);
}

TEST(XashHttpList, EmptyAndCommentOnlyBodiesAreEmptyLists)
{
    for (const char* body : {"", "   \n\t", "# nothing yet\n", "// a\n// b", "\"\""}) {
        const XashHttpList list = parseXashHttpList(body);
        EXPECT_TRUE(list.servers.empty()) << body;
        EXPECT_EQ(list.skipped, 0u) << body;
    }
    // An unclosed quote takes the rest of the body, not past it.
    EXPECT_TRUE(parseXashHttpList("ip \"127.0.0.2:27015").servers.size() == 1);
    EXPECT_TRUE(parseXashHttpList("motd \"ip 127.0.0.2").servers.empty());
}

} // namespace
} // namespace vantry::query
