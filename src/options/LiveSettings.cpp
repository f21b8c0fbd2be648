#include "LiveSettings.h"

namespace vantry::options {

std::optional<query::Endpoint> FavouriteTarget::endpoint() const
{
    if (host.kind != query::HostText::Kind::Address || !port)
        return std::nullopt;
    return query::Endpoint{host.address, *port};
}

FavouriteTarget favouriteTarget(const Favourite& favourite)
{
    return {favourite, query::HostText::read(favourite.address.toStdString()),
            query::Endpoint::parsePort(favourite.port.toStdString())};
}

QVector<FavouriteTarget> LiveSettings::favouriteTargets() const
{
    QVector<FavouriteTarget> targets;
    for (const Favourite& favourite : favourites())
        targets.append(favouriteTarget(favourite));
    return targets;
}

QVector<Ipv4Range> LiveSettings::tickedRanges() const
{
    QVector<Ipv4Range> out;
    for (const AddressRange& range : ranges()) {
        if (!range.checked)
            continue;
        const auto from = query::Endpoint::parseAddress(range.from.toStdString());
        const auto to = query::Endpoint::parseAddress(range.to.toStdString());
        if (from && to)
            out.append({*from, *to});
    }
    return out;
}

std::optional<std::uint16_t> LiveSettings::scanPort(int scanMode) const
{
    return query::Endpoint::parsePort((scanMode == 1 ? hltvPort() : gamePort()).toStdString());
}

} // namespace vantry::options
