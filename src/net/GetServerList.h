#pragma once

#include "query/MasterProtocol.h"
#include "query/Records.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The Steam Web API's list of game servers (IGameServersService/GetServerList): the request's
// address and the reply's JSON, apart from the transfer. The key is the user's secret: it goes
// into the request's address and nowhere else.
namespace vantry::net {

inline constexpr const char* DefaultSteamApiUrl = "https://api.steampowered.com";

struct ServerListRequest
{
    QString baseUrl = QString::fromLatin1(DefaultSteamApiUrl);
    QString key;
    QString filter; // the masters' filter syntax, e.g. \appid\10
    int limit = 100'000;
    // A reply larger than this is abandoned: a list of the limit's size fits many times over.
    qint64 maxBodyBytes = 64LL * 1024 * 1024;
    int timeoutMs = 30'000;
};

// One server as the list describes it; fields the reply leaves out keep these values.
struct ListedServer
{
    query::Endpoint address;    // "addr": where queries go
    std::uint16_t gamePort = 0; // "gameport": where players connect; 0 when not given
    std::string name;
    std::string map;
    std::string gameDir;
    std::string version;
    int appId = 0;
    int players = 0;
    int maxPlayers = 0;
    int bots = 0;
    char os = 0; // 'l', 'w', 'm' as sent; 0 when not given
    bool secure = false;
};

struct ServerListReply
{
    std::vector<ListedServer> servers; // in reply order, each address once, at most the limit
    std::size_t unusable = 0;          // entries without a usable "addr", or repeated
    std::size_t overLimit = 0;         // entries past the limit
};

// Why a key is not sent: "" when it can be. A key is trimmed of blanks before this check.
QString keyProblem(const QString& key);

// <base>/IGameServersService/GetServerList/v1/?key=..&filter=..&limit=.., every value
// percent-encoded so that no character of the key changes the query. Invalid when the base is
// not an http or https address.
QUrl serverListUrl(const ServerListRequest& request);

// The text with the key taken out, in every form it may take there (as given, percent-encoded,
// and any "key=" value of a query).
QString redactKey(const QString& text, const QString& key);

// The reply's body: {"response":{"servers":[{...}, ...]}}; a response without "servers" lists
// none. None, and why in `error`, when the body is not that.
std::optional<ServerListReply> parseServerList(const QByteArray& body, int limit, QString& error);

// A preliminary row for the server list, until the server's own reply refines it.
query::ServerRow preliminaryRow(const ListedServer& server);

} // namespace vantry::net
