// The community masters and the HTTP list over real sockets, against emulated ones on loopback.
#include "net/XashFetch.h"

#include "emu/XashMasterEmu.h"
#include "query/XashList.h"

#include <QHostInfo>

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <netdb.h>

using namespace vantry;
using emu::HttpListEmu;
using emu::ListedAddress;
using emu::XashMasterEmu;
using emu::XashMasterOptions;

namespace {

std::vector<ListedAddress> servers(std::uint32_t third, int count, std::uint16_t port = 27015)
{
    std::vector<ListedAddress> out;
    for (int i = 0; i < count; ++i)
        out.push_back({(127u << 24) | third << 8 | static_cast<std::uint32_t>(1 + i % 250) |
                           static_cast<std::uint32_t>(i / 250) << 16,
                       port});
    return out;
}

std::vector<query::Endpoint> endpoints(const std::vector<ListedAddress>& list)
{
    std::vector<query::Endpoint> out;
    for (const ListedAddress& a : list)
        out.push_back({a.address, a.port});
    return out;
}

std::vector<query::Endpoint> sorted(std::vector<query::Endpoint> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

struct Fetched
{
    std::unique_ptr<net::XashFetch> fetch;
    const std::vector<query::Endpoint>& servers() const { return fetch->servers(); }
};

Fetched run(const net::XashFetchRequest& request)
{
    Fetched f;
    f.fetch.reset(net::XashFetch::runAndWait(request, nullptr));
    return f;
}

net::XashFetchRequest fast(const QStringList& masters)
{
    net::XashFetchRequest r;
    r.masters = masters;
    r.quietMs = 200;
    r.replyWaitMs = 400;
    return r;
}

QString endpointOf(const XashMasterEmu& m)
{
    return QString::fromStdString(m.endpointText());
}

TEST(XashFetch, MergesEveryMastersListsOfEveryFolderAcrossManyDatagrams)
{
    // 400 servers need five 512-byte datagrams; both masters list some of the same servers.
    const std::vector<ListedAddress> cs = servers(10, 400);
    const std::vector<ListedAddress> hl = servers(11, 3, 27016);
    std::vector<ListedAddress> second(cs.begin() + 390, cs.end());
    second.push_back({0x7F0C0001, 27015});
    XashMasterEmu a({{"cstrike", cs}, {"valve", hl}});
    XashMasterEmu b({{"cstrike", second}}, {}, 0x7F000002);
    a.start();
    b.start();
    net::XashFetchRequest r = fast({endpointOf(a), endpointOf(b)});
    r.gameDirs = {"cstrike", "valve"};
    const Fetched f = run(r);

    std::vector<query::Endpoint> expected = endpoints(cs);
    for (const query::Endpoint& e : endpoints(hl))
        expected.push_back(e);
    expected.push_back({0x7F0C0001, 27015});
    EXPECT_EQ(sorted(f.servers()), sorted(expected));
    EXPECT_GE(a.datagramsSent(), 6u);
    EXPECT_TRUE(f.fetch->problems().isEmpty()) << f.fetch->problems().join(u' ').toStdString();
    // One request per folder: the whole list comes at once, no paging.
    EXPECT_EQ(a.requestsReceived(), 2u);
    const std::vector<std::string> info = a.infoSeen();
    ASSERT_EQ(info.size(), 2u);
    EXPECT_NE(info[0].find("\\gamedir\\cstrike"), std::string::npos);
    EXPECT_NE(info[1].find("\\gamedir\\valve"), std::string::npos);
}

TEST(XashFetch, ARateLimitedMasterIsAskedAgainAfterASpacedWait)
{
    // One request per second from one address: the second folder's request, sent as soon as the
    // first list ended, is dropped and must be asked again a while later.
    XashMasterOptions limited;
    limited.perSecond = 1;
    XashMasterEmu m({{"cstrike", servers(20, 5)}, {"valve", servers(21, 4)}}, limited);
    m.start();
    net::XashFetchRequest r = fast({endpointOf(m)});
    r.gameDirs = {"cstrike", "valve"};
    r.replyWaitMs = 700;
    const Fetched f = run(r);
    EXPECT_EQ(f.servers().size(), 9u);
    EXPECT_GE(m.requestsDropped(), 1u);
    EXPECT_LE(m.requestsReceived(), 4u); // spaced, not hammered
}

TEST(XashFetch, DropsForgedAndUnkeyedAnswersAndTheUpdateNotice)
{
    XashMasterOptions forged;
    forged.forgedFirst = true;
    XashMasterEmu withForgery({{"cstrike", servers(30, 3)}}, forged);
    XashMasterOptions unkeyed;
    unkeyed.unkeyed = true;
    XashMasterEmu noKey({{"cstrike", servers(31, 3)}}, unkeyed, 0x7F000002);
    withForgery.start();
    noKey.start();
    const Fetched f = run(fast({endpointOf(withForgery), endpointOf(noKey)}));
    // Only the keyed list of the first master; the forged copy (other key) and the unkeyed list
    // are someone else's.
    EXPECT_EQ(sorted(f.servers()), sorted(endpoints(servers(30, 3))));
    // Our request carries what the master wants: its update notice never comes.
    EXPECT_EQ(std::count(f.servers().begin(), f.servers().end(), query::Endpoint{0x7F0000FE, 27015}), 0);
    EXPECT_TRUE(f.fetch->problems().join(u' ').contains(endpointOf(noKey)));
}

TEST(XashFetch, TheEmulatedMasterAnswersAnOldClientWithOneFakeServer)
{
    // What the fetch's request avoids: without clver the list is one "please update" entry.
    XashMasterEmu m({{"cstrike", servers(40, 7)}});
    const std::string old =
        std::string("1\xFF") + "0.0.0.0:0" + '\0' + "\\gamedir\\cstrike\\key\\0000002a" + '\0';
    const auto answer = m.answer({reinterpret_cast<const std::uint8_t*>(old.data()), old.size()});
    ASSERT_EQ(answer.size(), 1u);
    query::XashReplyError error = query::XashReplyError::None;
    const auto page = query::decodeXashReply(answer[0], 42, error);
    ASSERT_TRUE(page);
    EXPECT_EQ(*page, (std::vector<query::Endpoint>{{0x7F0000FE, 27015}}));
    // With what the fetch sends, the whole list, every datagram at most 512 bytes.
    query::XashRequest r;
    r.key = 42;
    const auto full = m.answer(query::xashMasterRequest(r));
    std::size_t total = 0;
    for (const auto& d : full) {
        EXPECT_LE(d.size(), 512u);
        total += query::decodeXashReply(d, 42, error)->size();
    }
    EXPECT_EQ(total, 7u);
}

TEST(XashFetch, ASilentMasterEndsTheFetchWithAProblemAfterItsRetries)
{
    XashMasterEmu m({{"cstrike", servers(50, 2)}});
    m.start();
    const QString where = endpointOf(m);
    m.stop(); // the port is closed: nothing answers
    net::XashFetchRequest r = fast({where});
    r.gameDirs = {"cstrike", "valve"};
    const Fetched f = run(r);
    EXPECT_TRUE(f.servers().empty());
    // Three requests of 400 ms for the first folder, none for the second: bench_fetch times it.
    EXPECT_TRUE(f.fetch->problems().join(u' ').contains(QStringLiteral("did not answer")));
}

TEST(XashFetch, ReadsTheHttpListOfEachFolder)
{
    const std::vector<ListedAddress> cs = {{0x7F3C0001, 27015}, {0x7F3C0002, 27016}, {0x7F3C0003, 27015}};
    HttpListEmu list({{"cstrike", emu::httpListBody(cs)}, {"valve", "# nobody plays today\n"}});
    list.start();
    net::XashFetchRequest r;
    r.listUrl = QString::fromStdString(list.baseUrl()) + u'/';
    r.gameDirs = {"cstrike", "valve", "czero"};
    const Fetched f = run(r);
    EXPECT_EQ(f.servers(), endpoints(cs));
    const std::vector<std::string> targets = list.targets();
    EXPECT_EQ(targets.size(), 3u);
    EXPECT_NE(std::find(targets.begin(), targets.end(), "/list/v1/servers/cstrike"), targets.end());
    // The missing folder's 404 is told; the empty one is not a fault.
    const QString problems = f.fetch->problems().join(u' ');
    EXPECT_TRUE(problems.contains(QStringLiteral("czero"))) << problems.toStdString();
    EXPECT_FALSE(problems.contains(QStringLiteral("valve"))) << problems.toStdString();
}

TEST(XashFetch, AListAddressThatIsNotHttpIsRefusedWithoutAsking)
{
    net::XashFetchRequest r;
    r.listUrl = QStringLiteral("ftp://127.0.0.1/list");
    const Fetched f = run(r);
    EXPECT_TRUE(f.servers().empty());
    EXPECT_EQ(f.fetch->problems().size(), 1);
}

} // namespace

namespace {

// The test programs' own lookup refuses public names before any query leaves, so a settings file
// with the preset masters left in it ends its test instead of asking them.
TEST(ResolverGuard, APublicHostNameEndsTheTestBeforeItIsLookedUp)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Through Qt's own lookup, as the fetches make it.
    EXPECT_DEATH(QHostInfo::fromName(QStringLiteral("ms2.mentality.rip")),
                 "public host name \"ms2.mentality.rip\"");
    addrinfo* out = nullptr;
    ASSERT_EQ(::getaddrinfo("127.0.0.1", "27010", nullptr, &out), 0) << "numbers still resolve";
    ::freeaddrinfo(out);
}

} // namespace
