#include "net/SteamServerList.h"

#include "emu/WebApiEmu.h"

#include <QUrl>

#include <gtest/gtest.h>

using namespace vantry;
using emu::ApiServer;
using emu::WebApiEmu;

namespace {

const QString Key = QStringLiteral("0123456789ABCDEF0123456789ABCDEF");

std::vector<ApiServer> mixedServers()
{
    std::vector<ApiServer> out;
    for (int i = 0; i < 12; ++i) {
        ApiServer s;
        s.address = (127u << 24 | 2u << 16) + 1 + static_cast<std::uint32_t>(i);
        s.port = static_cast<std::uint16_t>(27015 + i % 2);
        s.appId = i % 3 == 0 ? 240 : 10;
        s.name = "server \"" + std::to_string(i) + "\" \xD0\x96";
        s.players = i;
        s.maxPlayers = 10;
        s.bots = i % 2;
        s.os = i % 2 ? 'w' : 'l';
        out.push_back(s);
    }
    return out;
}

net::ServerListRequest requestFor(const WebApiEmu& api, const QString& key = Key)
{
    net::ServerListRequest r;
    r.baseUrl = QString::fromStdString(api.baseUrl());
    r.key = key;
    r.filter = QStringLiteral("\\appid\\10\\gamedir\\cstrike");
    r.limit = 100;
    r.timeoutMs = 10'000;
    return r;
}

// Every form the key could take in a text.
void expectNoKey(const QString& text, const QString& key)
{
    EXPECT_FALSE(text.contains(key)) << text.toStdString();
    EXPECT_FALSE(text.contains(QString::fromLatin1(QUrl::toPercentEncoding(key)), Qt::CaseInsensitive))
        << text.toStdString();
}

} // namespace

TEST(SteamServerList, TheFilterAndLimitReachTheApiAndEveryFieldIsRead)
{
    WebApiEmu api(mixedServers());
    api.start();
    net::ServerListRequest request = requestFor(api);
    request.limit = 5;
    const net::ServerListResult result = net::SteamServerList::fetchAndWait(request);
    ASSERT_TRUE(result.reply) << result.error.toStdString();
    const auto& servers = result.reply->servers;
    ASSERT_EQ(servers.size(), 5u) << "the limit";
    for (const net::ListedServer& s : servers)
        EXPECT_EQ(s.appId, 10) << "the filter";
    const net::ListedServer& s = servers[0]; // the second server of the list
    EXPECT_EQ(query::endpointText(s.address), "127.2.0.2:27016");
    EXPECT_EQ(s.gamePort, 27016);
    EXPECT_EQ(s.name, "server \"1\" \xD0\x96");
    EXPECT_EQ(s.map, "de_dust2");
    EXPECT_EQ(s.gameDir, "cstrike");
    EXPECT_EQ(s.players, 1);
    EXPECT_EQ(s.maxPlayers, 10);
    EXPECT_EQ(s.bots, 1);
    EXPECT_EQ(s.os, 'w');
    EXPECT_TRUE(s.secure);

    const query::ServerRow row = net::preliminaryRow(s);
    EXPECT_STREQ(query::gameText(row.kind), "1.6");
    EXPECT_EQ(query::addressText(row.from.address), "127.2.0.2");
    EXPECT_EQ(row.from.port, 27016);
    EXPECT_EQ(query::playersText(row), "1/10");
    EXPECT_EQ(query::protocolText(row), ""); // the list does not say
    EXPECT_TRUE(row.windows);

    const auto requests = api.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].query.at("filter"), "\\appid\\10\\gamedir\\cstrike");
    EXPECT_EQ(requests[0].query.at("limit"), "5");
}

TEST(SteamServerList, AKeyWithOddCharactersReachesTheApiUnchanged)
{
    // '+' reads as a blank and '&', '=', '#' would end the value if they were not escaped.
    const QString odd = QStringLiteral("k+y&limit=1#x?%2F/\u00E9;");
    emu::WebApiOptions options;
    options.key = odd.toStdString();
    WebApiEmu api(mixedServers(), options);
    api.start();
    const net::ServerListResult result = net::SteamServerList::fetchAndWait(requestFor(api, odd));
    ASSERT_TRUE(result.reply) << result.error.toStdString();
    EXPECT_EQ(result.reply->servers.size(), 8u);
    ASSERT_EQ(api.requests().size(), 1u);
    EXPECT_EQ(api.requests()[0].query.at("key"), odd.toStdString());
    EXPECT_EQ(api.requests()[0].query.at("limit"), "100");
}

TEST(SteamServerList, ARefusedKeyIsReportedWithoutTheKey)
{
    WebApiEmu api(mixedServers());
    api.start();
    const QString wrong = QStringLiteral("FEDCBA9876543210+FEDCBA98765432");
    const net::ServerListResult result = net::SteamServerList::fetchAndWait(requestFor(api, wrong));
    EXPECT_FALSE(result.reply);
    EXPECT_TRUE(result.keyRefused);
    EXPECT_TRUE(result.error.contains(QStringLiteral("refused the key (HTTP 403)")))
        << result.error.toStdString();
    expectNoKey(result.error, wrong);
    ASSERT_EQ(api.requests().size(), 1u);
    EXPECT_EQ(api.requests()[0].status, 403);
}

TEST(SteamServerList, MalformedAndOversizedRepliesAreRefusedClearly)
{
    emu::WebApiOptions options;
    options.malformedJson = true;
    WebApiEmu cut(mixedServers(), options);
    cut.start();
    const net::ServerListResult malformed = net::SteamServerList::fetchAndWait(requestFor(cut));
    EXPECT_FALSE(malformed.reply);
    EXPECT_TRUE(malformed.error.contains(QStringLiteral("not a server list: the reply is not JSON")))
        << malformed.error.toStdString();

    std::vector<ApiServer> many;
    for (std::uint32_t i = 0; i < 2000; ++i)
        many.push_back({(127u << 24 | 3u << 16) + i});
    WebApiEmu large(many);
    large.start();
    net::ServerListRequest request = requestFor(large);
    request.limit = 100'000;
    request.maxBodyBytes = 64 * 1024;
    const net::ServerListResult big = net::SteamServerList::fetchAndWait(request);
    EXPECT_FALSE(big.reply);
    EXPECT_TRUE(big.error.endsWith(QStringLiteral("sent a reply larger than 65536 bytes")))
        << big.error.toStdString();
    request.maxBodyBytes = 4 * 1024 * 1024;
    const net::ServerListResult fits = net::SteamServerList::fetchAndWait(request);
    ASSERT_TRUE(fits.reply) << fits.error.toStdString();
    EXPECT_EQ(fits.reply->servers.size(), 2000u);
}

TEST(SteamServerList, RequestsThatCannotBeSentFailAtOnceAndNameNoKey)
{
    WebApiEmu api(mixedServers());
    api.start();
    net::ServerListRequest request = requestFor(api, QString());
    EXPECT_EQ(net::SteamServerList::fetchAndWait(request).error,
              QStringLiteral("the Steam Web API key is empty"));
    request.key = QStringLiteral("abc def");
    EXPECT_EQ(net::SteamServerList::fetchAndWait(request).error,
              QStringLiteral("the Steam Web API key holds blanks or control characters"));
    request.key = Key;
    request.baseUrl = QStringLiteral("ftp://127.0.0.1/");
    EXPECT_TRUE(
        net::SteamServerList::fetchAndWait(request).error.contains(QStringLiteral("not an http or https")));
    EXPECT_TRUE(api.requests().empty());

    // Nothing listens there.
    WebApiEmu gone(mixedServers());
    gone.start();
    request.baseUrl = QString::fromStdString(gone.baseUrl());
    gone.stop();
    const net::ServerListResult unreachable = net::SteamServerList::fetchAndWait(request);
    EXPECT_FALSE(unreachable.reply);
    EXPECT_TRUE(
        unreachable.error.startsWith(QStringLiteral("cannot reach the Steam Web API at http://127.0.0.1:")))
        << unreachable.error.toStdString();
    expectNoKey(unreachable.error, Key);
}

// Qt's own error texts name the whole address, key and all.
TEST(SteamServerList, TheKeyIsTakenOutOfAnyTextInEveryForm)
{
    const QString key = QStringLiteral("ab+c&d");
    const QString text =
        QStringLiteral("Error transferring https://h/x/?key=ab%2Bc%26d&filter=%5Cappid - "
                       "server replied: Forbidden; key ab+c&d; url https://h/?KEY=ab+c&d&limit=1");
    const QString redacted = net::redactKey(text, key);
    expectNoKey(redacted, key);
    EXPECT_FALSE(redacted.contains(QStringLiteral("ab+c"))) << redacted.toStdString();
    EXPECT_TRUE(redacted.contains(QStringLiteral("filter=%5Cappid"))) << redacted.toStdString();
    EXPECT_TRUE(redacted.contains(QStringLiteral("limit=1"))) << redacted.toStdString();
}

TEST(SteamServerList, EntriesWithoutAUsableAddressAreLeftOut)
{
    const QByteArray body = R"({"response":{"servers":[
        {"addr":"127.4.0.1:27015","gameport":27015},
        {"addr":"127.4.0.1:27015"},
        {"addr":"127.4.0.2","gameport":27016},
        {"addr":"0.0.0.0:27015"},
        {"addr":"127.4.0.3:0"},
        {"addr":"127.4.0.3:70000"},
        {"addr":"127.4.0.256:27015"},
        {"addr":" 127.4.0.4:27015"},
        {"addr":27015},
        {},
        "text",
        {"addr":"127.4.0.5:27015","players":"many","name":5}
    ]}})";
    QString error;
    const auto reply = net::parseServerList(body, 100, error);
    ASSERT_TRUE(reply) << error.toStdString();
    ASSERT_EQ(reply->servers.size(), 3u);
    EXPECT_EQ(query::endpointText(reply->servers[1].address), "127.4.0.2:27016") << "the game port stands in";
    EXPECT_EQ(reply->servers[2].players, 0);
    EXPECT_EQ(reply->servers[2].name, "");
    EXPECT_EQ(reply->unusable, 9u);

    const auto limited = net::parseServerList(body, 1, error);
    ASSERT_TRUE(limited);
    EXPECT_EQ(limited->servers.size(), 1u);
    EXPECT_EQ(limited->overLimit, 2u);

    for (const QByteArray& bad :
         {QByteArray("[]"), QByteArray(R"({"servers":[]})"), QByteArray(R"({"response":{"servers":{}}})"),
          QByteArray("{\"response\":")}) {
        EXPECT_FALSE(net::parseServerList(bad, 100, error)) << bad.toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    const auto none = net::parseServerList(R"({"response":{}})", 100, error);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->servers.empty());
}
