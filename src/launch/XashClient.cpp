#include "XashClient.h"

#include "ClientStart.h"
#include "GameCommand.h"
#include "LaunchWrapper.h"
#include "SteamLibrary.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace vantry::launch {

namespace {

const QString FlatpakPrefix = QStringLiteral("flatpak://");
const QString ReadOnlyDir = QStringLiteral("XASH3D_RODIR");

bool flatpakInstalled(const QString& root)
{
    return QFileInfo(root + QStringLiteral("/app/") + XashFlatpakId).isDir();
}

} // namespace

QString xashFlatpakPath()
{
    return FlatpakPrefix + XashFlatpakId;
}

QString xashGameFolder(query::Game game)
{
    switch (game) {
    case query::Game::HalfLife:
        return QStringLiteral("valve");
    case query::Game::CounterStrike15:
    case query::Game::CounterStrike16:
        return QStringLiteral("cstrike");
    case query::Game::ConditionZero:
        return QStringLiteral("czero");
    default:
        return {};
    }
}

QString steamHalfLifeFolder(const SteamFindings& found)
{
    for (const int app : {70, 10, 80})
        if (const std::optional<SteamCopy> copy = found.copy(app))
            return copy->folder;
    return {};
}

ClientStart planXashStart(const XashLaunch& launch, const SteamLibrary& steam)
{
    const QString folder = xashGameFolder(launch.game);
    if (folder.isEmpty())
        return ClientStart::failed(
            QStringLiteral("the Xash3D FWGS client runs only the older engine's games"));
    const GameArguments game =
        gameArguments(QStringLiteral("-game ") + folder, launch.address, launch.port, launch.passwordParam);
    if (!game.error.isEmpty())
        return ClientStart::failed(game.error);

    // Read at each start: Steam may have installed Half-Life since the last one.
    QString data;
    if (qEnvironmentVariableIsEmpty(ReadOnlyDir.toLatin1().constData()))
        data = steamHalfLifeFolder(steam.find());

    ClientStart start;
    if (launch.client.startsWith(FlatpakPrefix)) {
        const QString id = launch.client.mid(FlatpakPrefix.size());
        if (id.isEmpty())
            return ClientStart::failed(QStringLiteral("no Flatpak application after \"flatpak://\""));
        const QString runner = QStandardPaths::findExecutable(QStringLiteral("flatpak"));
        if (runner.isEmpty())
            return ClientStart::failed(
                QStringLiteral("the program \"flatpak\" is not installed; install the package "
                               "flatpak, or choose the client's own program"));
        start.program = runner;
        start.arguments << QStringLiteral("run");
        // Steam's folder may lie outside what the sandbox sees (a second drive, Steam's own Flatpak).
        if (!data.isEmpty())
            start.arguments << QStringLiteral("--env=") + ReadOnlyDir + u'=' + data
                            << QStringLiteral("--filesystem=") + data + QStringLiteral(":ro");
        start.arguments << id;
        start.arguments += game.arguments;
    } else {
        const QFileInfo file(launch.client);
        if (!file.exists())
            return ClientStart::failed(QStringLiteral("file not found"));
        if (file.isDir())
            return ClientStart::failed(QStringLiteral("it is a folder"));
        if (!file.isExecutable())
            return ClientStart::failed(QStringLiteral("not an executable file"));
        start.program = file.absoluteFilePath();
        start.arguments = game.arguments;
        start.workingDirectory = file.absolutePath();
        if (!data.isEmpty())
            start.environment << ReadOnlyDir + u'=' + data;
    }
    return wrapClientStart(start, launch.wrapper);
}

QList<std::pair<QString, QString>> offeredXashClients(const QString& home, const QStringList& systemFlatpaks)
{
    QList<std::pair<QString, QString>> offers;
    const QString user = (home.isEmpty() ? QDir::homePath() : home) + QStringLiteral("/.local/share/flatpak");
    bool flatpak = flatpakInstalled(user);
    for (const QString& root : systemFlatpaks)
        flatpak = flatpak || flatpakInstalled(root);
    if (flatpak)
        offers.append({QStringLiteral("Flatpak: ") + XashFlatpakId, xashFlatpakPath()});
    if (const QString program = QStandardPaths::findExecutable(QStringLiteral("xash3d")); !program.isEmpty())
        offers.append({QStringLiteral("xash3d (") + QDir::toNativeSeparators(program) + u')', program});
    return offers;
}

} // namespace vantry::launch
