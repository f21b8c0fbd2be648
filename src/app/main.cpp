#include "app/AppInfo.h"
#include "app/Prompter.h"
#include "app/ui/ScanGames.h"
#include "app/ui/Shell.h"
#include "app/ui/SingleInstance.h"
#include "app/ui/WidgetPrompter.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(vantry::productName());
    QApplication::setApplicationDisplayName(vantry::appTitle());
    QApplication::setApplicationVersion(QStringLiteral("1.98"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Browser for Half-Life family game servers."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption settingsOption(QStringList{QStringLiteral("settings")},
                                            QStringLiteral("Use FILE as the settings file."), QStringLiteral("FILE"));
    parser.addOption(settingsOption);
    parser.process(app);

    // A second copy brings the first one forward and ends before any settings are touched.
    vantry::SingleInstance instance(vantry::appTitle());
    if (instance.askRunningCopyToRestore())
        return 0;
    instance.listen();

    vantry::WidgetPrompter prompter;
    vantry::setPrompter(&prompter);

    int result = 0;
    {
        vantry::Shell::Options options;
        options.settingsFile = parser.value(settingsOption);
        vantry::Shell shell(options);
        QObject::connect(&instance, &vantry::SingleInstance::restoreRequested, &shell.mainWindow(),
                         &vantry::TForm1::restoreFromSecondCopy);
        shell.show();
        result = QApplication::exec();
    }
    vantry::setPrompter(nullptr);
    return result;
}
