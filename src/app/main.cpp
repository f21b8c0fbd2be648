#include "app/base/AppInfo.h"
#include "app/base/Prompter.h"
#include "app/cli/CliArguments.h"
#include "app/cli/CliRun.h"
#include "app/cli/ProgramHelp.h"
#include "app/ui/ScanGames.h"
#include "app/ui/Shell.h"
#include "app/ui/SingleInstance.h"
#include "app/ui/Translation.h"
#include "app/ui/WidgetPrompter.h"
#include "emu/EmuServer.h"
#include "emu/MasterEmu.h"
#include "emu/WebApiEmu.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// The public server lists of the demo: an emulated UDP master and Web API on loopback, both
// listing the demo servers.
struct DemoLists
{
    // The demo servers that take any port are listed at the game port.
    explicit DemoLists(const vantry::emu::ProfileTable& table)
        : master(vantry::emu::masterBookFrom(table, 27015)), api(vantry::emu::apiServersFrom(table, 27015))
    {}

    vantry::emu::MasterEmu master;
    vantry::emu::WebApiEmu api;
    std::string key = vantry::emu::WebApiOptions().key;
};

// A settings file for the demo: the broadcast probe off, one ticked loopback range and the public
// lists ticked and pointed at the emulated ones, so that nothing leaves the host.
bool writeDemoSettings(const QString& path, const DemoLists& lists)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write("[Ranges]\nRanges=1\nRangeFrom0=127.0.0.1\nRangeTo0=127.0.0.40\nChecked=1\n"
               "[Settings]\nBroadcast=0\nScanOld=1\nDelay=2\nCSPort=27015\nHLTVPort=27020\n"
               "[Favorites]\n127.0.0.8 0=27020\n");
    // A master of one's own may be asked faster than the public ones.
    file.write(("[Master]\nEnabled=1\nSteamKey=" + lists.key + "\nApiUrl=" + lists.api.baseUrl() +
                "\nRegion=255\nPace=100\nMasters=1\nMaster0=" + lists.master.endpointText() + "\n")
                   .c_str());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // "query", "sweep" and "master" run headless: no window, no tray, no application object.
    if (argc > 1 && vantry::cli::isCliCommand(argv[1]))
        return vantry::cli::runCli(argc, argv);
    // A first word that is not an option names a command: one that Vantry does not know is an
    // error, not a request for the window.
    if (const auto text = vantry::cli::unknownCommandText(std::vector<std::string>(argv + 1, argv + argc))) {
        std::fputs(text->c_str(), stderr);
        return vantry::cli::ExitBadArguments;
    }
    // So do --help and --version: they need no display.
    if (const auto text =
            vantry::cli::programHelpOrVersion(std::vector<std::string>(argv + 1, argv + argc))) {
        std::fputs(text->c_str(), stdout);
        return 0;
    }

    QApplication app(argc, argv);
    // The desktop entry that Wayland compositors match the window to, for its icon and name.
    QGuiApplication::setDesktopFileName(QStringLiteral(VANTRY_APP_ID));
    vantry::setApplicationIdentity();
    // The window texts are Russian; a user whose language is English gets them in English.
    vantry::installTranslation(vantry::uiLanguageFromEnvironment());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Browser for Half-Life family game servers."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption settingsOption(QStringList{QStringLiteral("settings")},
                                            QStringLiteral("Use FILE as the settings file."),
                                            QStringLiteral("FILE"));
    const QCommandLineOption demoOption(
        QStringList{QStringLiteral("demo")},
        QStringLiteral("Start emulated servers on loopback with a temporary settings file and sweep them."));
    parser.addOption(settingsOption);
    parser.addOption(demoOption);
    parser.process(app);
    const bool demo = parser.isSet(demoOption);

    // A second copy brings the first one forward and ends before any settings are touched.
    vantry::SingleInstance instance(vantry::appTitle());
    if (instance.askRunningCopyToRestore())
        return 0;
    instance.listen();

    vantry::WidgetPrompter prompter;
    vantry::setPrompter(&prompter);

    vantry::Shell::Options options;
    options.settingsFile = parser.value(settingsOption);

    QTemporaryDir demoDir;
    std::unique_ptr<vantry::emu::EmuServer> demoServers;
    std::unique_ptr<DemoLists> demoLists;
    if (demo) {
        try {
            vantry::emu::ProfileTable table = vantry::emu::demoTable();
            demoLists = std::make_unique<DemoLists>(table);
            std::vector<std::uint16_t> ports = table.ports();
            demoServers = std::make_unique<vantry::emu::EmuServer>(std::move(table), std::move(ports));
            demoServers->start();
            demoLists->master.start();
            demoLists->api.start();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "vantry: cannot start the demo servers: %s\n", e.what());
            return 1;
        }
        options.settingsFile = demoDir.filePath(QStringLiteral("vantry.ini"));
        if (!demoDir.isValid() || !writeDemoSettings(options.settingsFile, *demoLists)) {
            std::fprintf(stderr, "vantry: cannot write the demo settings file\n");
            return 1;
        }
    }

    int result = 0;
    {
        vantry::Shell shell(options);
        vantry::TForm1& form = shell.mainWindow();
        QObject::connect(&instance, &vantry::SingleInstance::restoreRequested, &form,
                         &vantry::TForm1::restoreFromSecondCopy);
        if (demo)
            QTimer::singleShot(400, &form, [&form] { form.guarded([&form] { form.SBScanAllClick(); }); });
        result = shell.run();
    }
    if (demoServers)
        demoServers->stop();
    if (demoLists) {
        demoLists->master.stop();
        demoLists->api.stop();
    }
    vantry::setPrompter(nullptr);
    return result;
}
