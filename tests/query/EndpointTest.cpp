#include "query/Endpoint.h"

#include <gtest/gtest.h>
#include <unordered_set>

using vantry::query::Endpoint;

namespace {

constexpr std::uint32_t Box = (127u << 24) | 5;

TEST(Endpoint, AddressesAreStrictDottedQuads)
{
    EXPECT_EQ(Endpoint::parseAddress("127.0.0.5"), Box);
    EXPECT_EQ(Endpoint::parseAddress("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(Endpoint::parseAddress("0.0.0.0"), 0u);
    // Decimal, never octal: a resolver would read this as 127.0.0.8.
    EXPECT_EQ(Endpoint::parseAddress("127.0.0.010"), (127u << 24) | 10);
    for (const char* bad : {"", "127.0.0", "127.0.0.5.", "127.0.0.256", "256.1.1.1", "127.0.0.-1", "127..0.5",
                            "a.b.c.d", "127.0.0.5 ", " 127.0.0.5", "x127.0.0.5", "+127.0.0.5", "1270.0.0.5",
                            "127.0.0.0005", "127.0.0.5:27015"})
        EXPECT_EQ(Endpoint::parseAddress(bad), std::nullopt) << bad;
}

TEST(Endpoint, PortFollowsAColonOrDefaults)
{
    EXPECT_EQ(Endpoint::parse("127.0.0.5:27016"), (Endpoint{Box, 27016}));
    EXPECT_EQ(Endpoint::parse("127.0.0.5", 27015), (Endpoint{Box, 27015}));
    EXPECT_EQ(Endpoint::parse("127.0.0.5:65535"), (Endpoint{Box, 65535}));
    for (const char* bad :
         {"127.0.0.5:", "127.0.0.5:0", "127.0.0.5:65536", "127.0.0.5:-1", "127.0.0.5:27015x", "127.0.0.5:+80",
          "127.0.0.5: 80", "127.0.0.5:27015:1", "256.0.0.5:80", ":80", "127.0.0.5:999999"})
        EXPECT_EQ(Endpoint::parse(bad, 27015), std::nullopt) << bad;
}

TEST(Endpoint, PortsMayHaveLeadingZerosButNoOtherSigns)
{
    EXPECT_EQ(Endpoint::parsePort("27015"), 27015);
    EXPECT_EQ(Endpoint::parsePort("027015"), 27015); // hand-edited settings
    EXPECT_EQ(Endpoint::parsePort("0000000001"), 1);
    EXPECT_EQ(Endpoint::parsePort("65535"), 65535);
    EXPECT_EQ(Endpoint::parse("127.0.0.5:027016"), (Endpoint{Box, 27016}));
    for (const char* bad :
         {"", "0", "000", "65536", "99999", "123456", "-1", "+1", " 1", "1 ", "1e3", "0x10"})
        EXPECT_EQ(Endpoint::parsePort(bad), std::nullopt) << bad;
}

TEST(Endpoint, HostTextsThatAreNumbersAreNeverNames)
{
    using vantry::query::HostText;
    using Kind = HostText::Kind;
    const HostText octal = HostText::read("127.0.0.010");
    EXPECT_EQ(octal.kind, Kind::Address);
    EXPECT_EQ(octal.address, (127u << 24) | 10);
    for (const char* name : {"localhost", "cs.example.org", "1.2.3.example", "0x7f.0.0.1"})
        EXPECT_EQ(HostText::read(name).kind, Kind::Name) << name;
    for (const char* invalid : {"", "256.1.1.1", "1.2.3", "127.0.0.1.", "1..2.3", "12345"})
        EXPECT_EQ(HostText::read(invalid).kind, Kind::Invalid) << invalid;
    for (const char* v6 : {"::1", "[::1]", "fe80::1%lo", "2001:db8::1"})
        EXPECT_EQ(HostText::read(v6).kind, Kind::Ipv6) << v6;
}

TEST(Endpoint, TextRoundTripsWithoutLeadingZeros)
{
    for (const Endpoint e : {Endpoint{0, 1}, Endpoint{Box, 27015}, Endpoint{0xFFFFFFFF, 65535},
                             Endpoint{(10u << 24) | (100u << 16) | 9, 80}}) {
        const std::string text = vantry::query::endpointText(e);
        EXPECT_EQ(Endpoint::parse(text), e) << text;
    }
    EXPECT_EQ(vantry::query::addressText((1u << 24) | (20u << 16) | (100u << 8) | 0), "1.20.100.0");
    EXPECT_EQ(vantry::query::endpointText(Endpoint{Box, 27015}), "127.0.0.5:27015");
}

TEST(Endpoint, OrderAndHashTellAddressAndPortApart)
{
    const Endpoint a{Box, 27015}, samePortNext{Box + 1, 27015}, nextPort{Box, 27016};
    EXPECT_LT(a, nextPort);
    EXPECT_LT(nextPort, samePortNext); // address first
    std::unordered_set<Endpoint> set{a, samePortNext, nextPort, a};
    EXPECT_EQ(set.size(), 3u);
    EXPECT_NE(a.key(), nextPort.key());
    EXPECT_NE(a.key(), samePortNext.key());
}

} // namespace
