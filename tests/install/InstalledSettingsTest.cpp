// The program as installed, started without --settings: its folder takes no files and its
// configuration folder cannot be made.
#include "../shell/RecordingPrompter.h"
#include "base/AppInfo.h"
#include "base/SettingsFile.h"
#include "options/ui/Options.h"
#include "shell/Shell.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <gtest/gtest.h>

namespace vantry {
namespace {

TEST(InstalledCopy, ConfigFolderThatTakesNoFilesIsSaidAtStartAndTheProgramRunsOn)
{
    test::RecordingPrompter boxes;
    QTemporaryDir exeDir, home;
    // A file where the configuration folder should be: nothing can be made below it, by anyone.
    const QString blocked = home.filePath(QStringLiteral("blocked"));
    QFile file(blocked);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("mine");
    file.close();
    const QString config = blocked + QStringLiteral("/vantry/vantry.ini");

    SettingsPlaces places;
    places.executableFolder = exeDir.path().toStdString();
    places.xdgConfigHome = blocked.toStdString();
    places.home = home.path().toStdString();
    // Root could write the executable's folder: the seam says that it cannot.
    places.folderWriteError = [exe = places.executableFolder](const std::filesystem::path& f) {
        return f == exe ? EACCES : createFileError(f);
    };
    setSettingsPlaces(places);

    Shell::Options options; // no settings file named
    options.localPort = 0;
    options.hotKey = false;
    auto shell = std::make_unique<Shell>(options);
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].caption, appTitle());
    EXPECT_EQ(boxes.boxes[0].icon, BoxIcon::Error);
    EXPECT_EQ(boxes.boxes[0].text.toStdString(),
              "Unable to write to " + config.toStdString() +
                  " (Not a directory): changes to the settings will not be kept.");
    EXPECT_EQ(shell->settings().gamePort(), QStringLiteral("27015")) << "the defaults, loaded";
    shell.reset();

    // The saves at exit (the password prompt's section, then the rest) meet the same refusal:
    // their boxes, and no crash.
    ASSERT_GT(boxes.boxes.size(), 1);
    for (qsizetype i = 1; i < boxes.boxes.size(); ++i)
        EXPECT_EQ(boxes.boxes[i].text.toStdString(), "Unable to write to " + config.toStdString() + ".");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("mine"));
    setSettingsPlaces(currentSettingsPlaces(QCoreApplication::applicationDirPath().toStdString()));
}

} // namespace
} // namespace vantry
