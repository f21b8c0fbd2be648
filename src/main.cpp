#include "base/AppInfo.h"
#include "base/IniFile.h"
#include "base/Prompter.h"
#include "base/SettingsFile.h"
#include "base/UiLanguage.h"
#include "cli/CliArguments.h"
#include "cli/CliRun.h"
#include "cli/ProgramHelp.h"
#include "cli/StandardStreams.h"
#include "shell/ScanGames.h"
#include "shell/Shell.h"
#include "shell/SingleInstance.h"
#include "shell/Translation.h"
#include "shell/WidgetPrompter.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const vantry::cli::StandardStreams streams = vantry::cli::holdStandardDescriptors();
    // "query", "sweep" and "master" run headless: no window, no tray, no application object.
    if (argc > 1 && vantry::cli::isCliCommand(argv[1]))
        return vantry::cli::runCli(argc, argv, streams);
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
        return vantry::cli::finishOutput(0, streams, stdout);
    }
    if (const auto text = vantry::cli::unknownOptionText(std::vector<std::string>(argv + 1, argv + argc))) {
        std::fputs(text->c_str(), stderr);
        return vantry::cli::ExitBadArguments;
    }

    QApplication app(argc, argv);
    // The desktop entry that Wayland compositors match the window to, for its icon and name.
    QGuiApplication::setDesktopFileName(QStringLiteral(VANTRY_APP_ID));
    vantry::setApplicationIdentity();
    // What is left once Qt took its own options.
    const auto window = vantry::cli::windowArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!window.options) {
        std::fputs(("vantry: " + window.error + "\n" + vantry::cli::programUsageText()).c_str(), stderr);
        return vantry::cli::ExitBadArguments;
    }
    const QString settingsFile = QString::fromLocal8Bit(window.options->settingsFile.value_or("").c_str());

    // A second copy brings the first one forward and ends before any settings are touched.
    vantry::SingleInstance instance(vantry::appTitle());
    if (instance.askRunningCopyToRestore()) {
        // Started from a terminal or a launcher, the user learns why no second window came.
        std::fputs("Vantry is already running: its window was brought forward.\n", stderr);
        return 0;
    }
    instance.listen();

    // The window texts are Russian; the desktop's language, or the settings file's, may choose
    // English. Chosen before the first window is made.
    {
        const vantry::IniFile stored(settingsFile.isEmpty() ? vantry::settingsFilePath() : settingsFile);
        vantry::installTranslation(
            vantry::languageSetting(stored).value_or(vantry::uiLanguageFromEnvironment()));
    }

    vantry::WidgetPrompter prompter;
    vantry::setPrompter(&prompter);

    vantry::Shell::Options options;
    options.settingsFile = settingsFile;

    int result = 0;
    {
        vantry::Shell shell(options);
        vantry::TForm1& form = shell.mainWindow();
        QObject::connect(&instance, &vantry::SingleInstance::restoreRequested, &form,
                         &vantry::TForm1::restoreFromSecondCopy);
        if (window.options->scan)
            QTimer::singleShot(400, &form, [&form] { form.guarded([&form] { form.SBScanAllClick(); }); });
        result = shell.run();
    }
    vantry::setPrompter(nullptr);
    return result;
}
