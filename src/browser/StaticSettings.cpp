#include "StaticSettings.h"

namespace vantry::browser {

StaticSettings::StaticSettings()
{
    params = {QStringLiteral("-console"),
              QStringLiteral("-game cstrike -console"),
              QStringLiteral("-game cstrike"),
              QStringLiteral("-game czero"),
              QStringLiteral("-steam -game cstrike -console"),
              QStringLiteral("-steam -game hl2mp")};
}

QString StaticSettings::gamePath(int slot) const
{
    return slot >= 0 && slot < options::GameSlotCount ? paths[static_cast<std::size_t>(slot)] : QString();
}

QString StaticSettings::startParams(int slot) const
{
    return slot >= 0 && slot < options::GameSlotCount ? params[static_cast<std::size_t>(slot)] : QString();
}

QString StaticSettings::launchWrapper(int slot) const
{
    return slot >= 0 && slot < options::GameSlotCount ? wrappers[static_cast<std::size_t>(slot)] : QString();
}

bool StaticSettings::addFavourite(const options::Favourite& favourite)
{
    for (const auto& f : favouriteList)
        if (f.address == favourite.address && f.port == favourite.port)
            return false;
    favouriteList.append(favourite);
    return true;
}

} // namespace vantry::browser
