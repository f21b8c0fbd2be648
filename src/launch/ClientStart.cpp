#include "ClientStart.h"

#include "GameCommand.h"
#include "LaunchWrapper.h"
#include "SteamLibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace vantry::launch {

namespace {

const QString SteamPrefix = QStringLiteral("steam://");
const QString FlatpakSteam = QStringLiteral("com.valvesoftware.Steam");

const QString WineMissing = QStringLiteral("it is a Windows program and Wine is not installed; install Wine "
                                           "(on Debian the packages wine and wine32:i386)");
const QString SteamMissing = QStringLiteral("Steam is not installed (no program \"steam\" on the PATH); "
                                            "install Steam (on Debian the package steam-installer) or "
                                            "choose the game's own client");
const QString FlatpakMissing = QStringLiteral("the game is in Steam's Flatpak, but the program \"flatpak\" "
                                              "is not installed; install the package flatpak");

bool isSourceLaunchScript(const QString& fileName)
{
    return fileName == u"hl2.sh" || fileName == u"cstrike.sh" || fileName == u"hl2mp.sh";
}

bool isSourceSlot(int slot)
{
    return slot == 4 || slot == 5;
}

bool isSteamProgram(const QString& fileName)
{
    return fileName == u"steam" || fileName == u"steam.sh";
}

// Inside the folder of Steam's copy of the slot's game: hl_linux and hl.sh need Steam's runtime
// and its libraries, which only a start through Steam gives them.
bool insideSteamCopy(const QFileInfo& file, const SteamCopy& copy)
{
    const QString folder = QDir(copy.folder).canonicalPath();
    return !folder.isEmpty() && file.canonicalFilePath().startsWith(folder + u'/');
}

// Every Windows executable, whatever its name, begins with the DOS header's "MZ".
bool isWindowsProgram(const QFileInfo& file)
{
    QFile f(file.absoluteFilePath());
    return file.isFile() && f.open(QIODevice::ReadOnly) && f.read(2) == "MZ";
}

// Through the installation that has the game; without one, whichever Steam there is.
ClientStart throughSteam(int appId, const QStringList& gameArgs, const SteamFindings& found,
                         const QString& pickedSteam = {})
{
    QStringList args{QStringLiteral("-applaunch"), QString::number(appId)};
    args += gameArgs;
    if (!pickedSteam.isEmpty())
        return {pickedSteam, args, {}, {}, {}};
    const std::optional<SteamCopy> copy = found.copy(appId);
    const QString steam = QStandardPaths::findExecutable(QStringLiteral("steam"));
    const bool flatpak = copy ? copy->client == SteamClient::Flatpak : steam.isEmpty() && found.flatpakFound;
    if (flatpak) {
        const QString runner = QStandardPaths::findExecutable(QStringLiteral("flatpak"));
        if (runner.isEmpty())
            return ClientStart::failed(FlatpakMissing);
        return {runner, QStringList{QStringLiteral("run"), FlatpakSteam} + args, {}, {}, {}};
    }
    if (steam.isEmpty())
        return ClientStart::failed(SteamMissing);
    return {steam, args, {}, {}, {}};
}

} // namespace

QString steamGamePath(int appId)
{
    return SteamPrefix + QString::number(appId);
}

int steamAppOfPath(const QString& gamePath)
{
    if (!gamePath.startsWith(SteamPrefix))
        return 0;
    bool ok = false;
    const int app = QStringView(gamePath).mid(SteamPrefix.size()).toInt(&ok);
    return ok && app > 0 ? app : 0;
}

namespace {

ClientStart planUnwrapped(const GameLaunch& launch, const SteamLibrary& steam)
{
    const GameArguments game =
        gameArguments(launch.startParams, launch.address, launch.port, launch.passwordParam);
    if (!game.error.isEmpty())
        return ClientStart::failed(game.error);

    if (launch.gamePath.startsWith(SteamPrefix)) {
        const int app = steamAppOfPath(launch.gamePath);
        if (app == 0)
            return ClientStart::failed(QStringLiteral("no Steam application number after \"steam://\""));
        return throughSteam(app, game.arguments, steam.find());
    }

    const QFileInfo file(launch.gamePath);
    if (!file.exists())
        return ClientStart::failed(QStringLiteral("file not found"));
    if (file.isDir())
        return ClientStart::failed(QStringLiteral("it is a folder"));
    const QString name = file.fileName();

    if (isSteamProgram(name)) {
        const int app = steamAppForSlot(launch.slot);
        if (app == 0)
            return ClientStart::failed(
                QStringLiteral("Steam does not sell this game; choose the game's own client"));
        if (!file.isExecutable())
            return ClientStart::failed(QStringLiteral("not an executable file"));
        return throughSteam(app, game.arguments, {}, file.absoluteFilePath());
    }

    if (const int app = steamAppForSlot(launch.slot); app != 0) {
        const SteamFindings found = steam.find();
        const std::optional<SteamCopy> copy = found.copy(app);
        if (copy &&
            (insideSteamCopy(file, *copy) || (isSourceSlot(launch.slot) && isSourceLaunchScript(name))))
            return throughSteam(app, game.arguments, found);
    }

    if (isWindowsProgram(file)) {
        const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
        if (wine.isEmpty())
            return ClientStart::failed(WineMissing);
        return {wine, QStringList{file.absoluteFilePath()} + game.arguments, file.absolutePath(), {}, {}};
    }
    if (!file.isExecutable())
        return ClientStart::failed(QStringLiteral("not an executable file"));
    return {file.absoluteFilePath(), game.arguments, file.absolutePath(), {}, {}};
}

} // namespace

ClientStart planClientStart(const GameLaunch& launch, const SteamLibrary& steam)
{
    return wrapClientStart(planUnwrapped(launch, steam), launch.wrapper);
}

QList<std::pair<QString, QString>> offeredClients(const SteamLibrary& steam, int slot, QStringList* problems)
{
    const int app = steamAppForSlot(slot);
    if (app == 0)
        return {};
    const SteamFindings found = steam.find();
    if (problems)
        *problems = found.problems;
    const std::optional<SteamCopy> copy = found.copy(app);
    if (!copy)
        return {};
    const QString label = (copy->client == SteamClient::Flatpak ? QStringLiteral("Steam (Flatpak): ")
                                                                : QStringLiteral("Steam: ")) +
                          copy->name + QStringLiteral(" (") + QDir::toNativeSeparators(copy->folder) + u')';
    return {{label, steamGamePath(app)}};
}

QString pickedClientNotice(const SteamLibrary& steam, int slot, const QString& path)
{
    if (path.startsWith(SteamPrefix))
        return {};
    const QFileInfo file(path);
    const QString name = file.fileName();
    if (isSourceSlot(slot) && isSourceLaunchScript(name)) {
        const int app = steamAppForSlot(slot);
        const QString title = steamGameTitle(app);
        if (steam.find().copy(app))
            return QStringLiteral("%1 refuses to start outside Steam's runtime; %2 will be started through "
                                  "Steam instead.")
                .arg(name, title);
        return QStringLiteral("%1 refuses to start outside Steam's runtime. Install %2 in Steam, then choose "
                              "its Steam copy with the browse button.")
            .arg(name, title);
    }
    if (const int app = steamAppForSlot(slot); app != 0) {
        const std::optional<SteamCopy> copy = steam.find().copy(app);
        if (copy && insideSteamCopy(file, *copy))
            return QStringLiteral(
                       "%1 lies in Steam's copy of %2; it will be started through Steam, which gives "
                       "the game its runtime.")
                .arg(name, steamGameTitle(app));
    }
    if (isWindowsProgram(file)) {
        if (QStandardPaths::findExecutable(QStringLiteral("wine")).isEmpty())
            return QStringLiteral(
                       "%1 is a Windows program and Wine is not installed; install Wine (on Debian "
                       "the packages wine and wine32:i386) to start it.")
                .arg(name);
        return {};
    }
    if (file.isFile() && !file.isExecutable())
        return QStringLiteral("%1 is not an executable file; it cannot start the game.").arg(name);
    return {};
}

} // namespace vantry::launch
