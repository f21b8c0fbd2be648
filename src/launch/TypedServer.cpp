#include "TypedServer.h"

namespace vantry::launch {

namespace {

bool isPortText(const QString& text)
{
    bool number = false;
    const uint port = text.toUInt(&number);
    return number && !text.startsWith(u'+') && port >= 1 && port <= 65535;
}

} // namespace

TypedServer readTypedServer(const QString& typed, const QString& defaultPort)
{
    const QString text = typed.trimmed();
    if (text.isEmpty())
        return {std::nullopt,
                QStringLiteral("Type the server's address: a.b.c.d:port, or a.b.c.d for the game port.")};
    // Only IPv4 servers answer the queries this program sends.
    if (text.count(u':') > 1 || text.startsWith(u'['))
        return {std::nullopt,
                QStringLiteral("IPv6 addresses are not supported; type an IPv4 address a.b.c.d.")};

    const qsizetype colon = text.indexOf(u':');
    const QString address = colon < 0 ? text : text.left(colon);
    if (!query::Endpoint::parseAddress(address.toStdString()))
        return {std::nullopt,
                u'"' + address +
                    QStringLiteral("\" is not an IPv4 address: four numbers from 0 to 255, as in 10.0.0.5.")};
    if (colon >= 0 && !isPortText(text.mid(colon + 1)))
        return {std::nullopt, QStringLiteral("The port must be a number from 1 to 65535.")};
    if (colon < 0 && !isPortText(defaultPort.trimmed()))
        return {std::nullopt,
                QStringLiteral("No port typed and the game port setting is not a port; type a.b.c.d:port.")};

    const std::uint16_t fallback = colon < 0 ? static_cast<std::uint16_t>(defaultPort.trimmed().toUInt()) : 0;
    const std::optional<query::Endpoint> server = query::Endpoint::parse(text.toStdString(), fallback);
    if (!server)
        return {std::nullopt, QStringLiteral("Not a server address: type a.b.c.d:port.")};
    return {server, {}};
}

} // namespace vantry::launch
