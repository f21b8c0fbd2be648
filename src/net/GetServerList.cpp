#include "GetServerList.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>

#include <unordered_set>

namespace vantry::net {

namespace {

// Longer than any key Steam issues (32 hexadecimal digits) with room to spare.
constexpr int MaxKeyLength = 256;

QByteArray encoded(const QString& value)
{
    return QUrl::toPercentEncoding(value);
}

// "a.b.c.d:port", or "a.b.c.d" at fallbackPort; none for address 0 or port 0.
std::optional<query::Endpoint> parseAddr(const QString& text, std::uint16_t fallbackPort)
{
    const auto server = query::Endpoint::parse(text.toStdString(), fallbackPort);
    if (!server || server->address == 0 || server->port == 0)
        return std::nullopt;
    return server;
}

int number(const QJsonObject& o, const char* name)
{
    const QJsonValue v = o.value(QLatin1String(name));
    return v.isDouble() ? v.toInt() : 0;
}

std::string text(const QJsonObject& o, const char* name)
{
    return o.value(QLatin1String(name)).toString().toStdString();
}

} // namespace

QString keyProblem(const QString& key)
{
    if (key.isEmpty())
        return QStringLiteral("the Steam Web API key is empty");
    if (key.size() > MaxKeyLength)
        return QStringLiteral("the Steam Web API key is longer than %1 characters").arg(MaxKeyLength);
    for (const QChar c : key) {
        if (c.category() == QChar::Other_Control || c.isSpace())
            return QStringLiteral("the Steam Web API key holds blanks or control characters");
    }
    return {};
}

QUrl serverListUrl(const ServerListRequest& request)
{
    QString base = request.baseUrl.trimmed();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    const QUrl parsed(base, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.host().isEmpty() || parsed.hasQuery() || parsed.hasFragment() ||
        (parsed.scheme() != QLatin1String("https") && parsed.scheme() != QLatin1String("http")))
        return {};
    const QByteArray whole =
        base.toUtf8() + "/IGameServersService/GetServerList/v1/?key=" + encoded(request.key) +
        "&filter=" + encoded(request.filter) + "&limit=" + QByteArray::number(request.limit);
    return QUrl::fromEncoded(whole, QUrl::StrictMode);
}

QString redactKey(const QString& text, const QString& key)
{
    static const QString hidden = QStringLiteral("(key)");
    QString out = text;
    if (!key.isEmpty()) {
        out.replace(key, hidden);
        out.replace(QString::fromLatin1(encoded(key)), hidden, Qt::CaseInsensitive);
    }
    static const QRegularExpression keyValue(QStringLiteral("([?&]key=)[^&#\\s]*"),
                                             QRegularExpression::CaseInsensitiveOption);
    out.replace(keyValue, QStringLiteral("\\1") + hidden);
    return out;
}

std::optional<ServerListReply> parseServerList(const QByteArray& body, int limit, QString& error)
{
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = QStringLiteral("the reply is not JSON (%1 at byte %2)")
                    .arg(parseError.errorString())
                    .arg(parseError.offset);
        return std::nullopt;
    }
    const QJsonValue response = doc.object().value(QLatin1String("response"));
    if (!doc.isObject() || !response.isObject()) {
        error = QStringLiteral("the reply holds no \"response\" object");
        return std::nullopt;
    }
    const QJsonValue list = response.toObject().value(QLatin1String("servers"));
    ServerListReply out;
    if (list.isUndefined())
        return out; // the API leaves the list out when no server matches
    if (!list.isArray()) {
        error = QStringLiteral("the reply's \"servers\" is not a list");
        return std::nullopt;
    }
    std::unordered_set<std::uint64_t> seen;
    for (const QJsonValue& v : list.toArray()) {
        const QJsonObject o = v.toObject();
        const int gamePort = number(o, "gameport");
        const auto address =
            parseAddr(o.value(QLatin1String("addr")).toString(),
                      gamePort > 0 && gamePort <= 65535 ? static_cast<std::uint16_t>(gamePort) : 0);
        if (!address || !seen.insert(address->key()).second) {
            ++out.unusable;
            continue;
        }
        if (out.servers.size() >= static_cast<std::size_t>(std::max(0, limit))) {
            ++out.overLimit;
            continue;
        }
        ListedServer s;
        s.address = *address;
        s.gamePort = gamePort > 0 && gamePort <= 65535 ? static_cast<std::uint16_t>(gamePort) : 0;
        s.name = text(o, "name");
        s.map = text(o, "map");
        s.gameDir = text(o, "gamedir");
        s.version = text(o, "version");
        s.appId = number(o, "appid");
        s.players = number(o, "players");
        s.maxPlayers = number(o, "max_players");
        s.bots = number(o, "bots");
        const QString os = o.value(QLatin1String("os")).toString();
        s.os = os.size() == 1 && os.front().unicode() < 128 ? static_cast<char>(os.front().unicode()) : 0;
        s.secure = o.value(QLatin1String("secure")).toBool();
        out.servers.push_back(std::move(s));
    }
    return out;
}

query::ServerRow preliminaryRow(const ListedServer& server)
{
    query::ServerRow row;
    switch (server.appId) {
    case 70:
        row.kind = query::Game::HalfLife;
        row.kindImage = query::Image::HalfLife;
        break;
    case 10:
        // 1.5 and 1.6 register alike; the server's own reply tells them apart.
        row.kind = query::Game::CounterStrike16;
        row.kindImage = query::Image::CounterStrike;
        break;
    case 80:
        row.kind = query::Game::ConditionZero;
        row.kindImage = query::Image::ConditionZero;
        break;
    case 240:
        row.kind = query::Game::CounterStrikeSource;
        row.kindImage = query::Image::Source;
        break;
    case 320:
        row.kind = query::Game::HalfLife2;
        row.kindImage = query::Image::HalfLife2;
        break;
    default:
        row.kind = query::Game::Unknown;
        row.kindImage = query::Image::CounterStrike;
        break;
    }
    row.from = server.address;
    // The list does not say the protocol: its column stays empty until the server answers.
    row.oldTexts =
        query::OldTexts{{}, std::to_string(server.players) + "/" + std::to_string(server.maxPlayers)};
    row.name = server.name;
    row.map = server.map;
    row.playerCount = server.players;
    row.maxPlayerCount = server.maxPlayers;
    row.botCount = server.bots;
    row.windows = server.os == 'w' || server.os == 'W';
    row.osIndicator = server.os;
    row.status = server.maxPlayers > 0 && server.players >= server.maxPlayers ? query::Image::Full
                                                                              : query::Image::Open;
    return row;
}

} // namespace vantry::net
