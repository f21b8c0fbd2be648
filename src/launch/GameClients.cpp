#include "GameClients.h"

#include "ClientStart.h"
#include "GameCommand.h"
#include "SteamLibrary.h"
#include "options/LiveSettings.h"

#include <QCoreApplication>

namespace vantry::launch {

namespace {

// The options dialog and its page as the window names them.
QString dialogName()
{
    return QCoreApplication::translate("vantry::options::TSettings", "Настройки");
}
QString pageName()
{
    return QCoreApplication::translate("vantry::options::TSettings", "Основные");
}

// Steam sells no CS 1.5; Counter-Strike's copy is the nearest.
int steamAppForGoldSrcSlot(int slot)
{
    return slot == 1 ? steamAppForSlot(2) : steamAppForSlot(slot);
}

} // namespace

NeededClient neededClient(const options::LiveSettings& settings, query::Game game, int protocol)
{
    NeededClient client;
    client.slot = slotForKind(game);
    client.xash = query::needsXashClient(game, protocol);
    client.path = client.xash ? settings.xashClient() : settings.gamePath(client.slot);
    return client;
}

QString missingClientText(const NeededClient& client)
{
    if (client.xash)
        return QCoreApplication::translate("vantry::launch::GameClients",
                                           "Клиент Xash3D FWGS не задан: этот сервер работает на "
                                           "Xash3D FWGS (протокол 49), клиент GoldSrc к нему не "
                                           "подключится.") +
               u'\n' +
               QCoreApplication::translate("vantry::launch::GameClients",
                                           "Задайте его в окне «%1» на странице «%2», поле «%3».")
                   .arg(dialogName(), pageName(),
                        QCoreApplication::translate("vantry::options::GeneralPage", "Клиент Xash3D FWGS:"));
    return missingPathMessage(client.slot) + u'\n' +
           QCoreApplication::translate("vantry::launch::GameClients",
                                       "Задайте путь в окне «%1» на странице «%2»: игра «%3», поле «%4».")
               .arg(dialogName(), pageName(), slotLabel(client.slot),
                    QCoreApplication::translate("vantry::options::GeneralPage", "Путь к игре:"));
}

QString sharedGoldSrcPath(const SteamLibrary& steam, int slot, const QString& picked)
{
    if (slot < 0 || slot >= GoldSrcSlots || picked.isEmpty())
        return {};
    if (steamAppOfPath(picked) == 0)
        return picked;
    const int app = steamAppForGoldSrcSlot(slot);
    return steam.find().copy(app) ? steamGamePath(app) : QString();
}

std::array<QString, GoldSrcSlots> steamGoldSrcPaths(const SteamLibrary& steam)
{
    const SteamFindings found = steam.find();
    std::array<QString, GoldSrcSlots> paths;
    for (int slot = 0; slot < GoldSrcSlots; ++slot)
        if (const int app = steamAppForGoldSrcSlot(slot); found.copy(app))
            paths[static_cast<std::size_t>(slot)] = steamGamePath(app);
    return paths;
}

} // namespace vantry::launch
