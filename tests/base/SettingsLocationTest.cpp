#include "base/SettingsLocation.h"

#include "base/SettingsFile.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cerrno>
#include <fstream>
#include <gtest/gtest.h>
#include <sched.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vantry;
namespace fs = std::filesystem;

namespace {

std::string bytesOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

unsigned modeOf(const fs::path& path)
{
    struct stat st
    {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777u : 0u;
}

// A temporary executable's folder and home. The tests run as root, who may write anywhere: the
// seam tells whether the executable's folder takes files; real refusals come from paths that
// fail for root too.
struct Places
{
    Places()
    {
        places.executableFolder = exeDir.path().toStdString();
        places.xdgConfigHome = (home() / "xdg").string();
        places.home = home().string();
    }
    fs::path home() const { return homeDir.path().toStdString(); }
    fs::path exe() const { return places.executableFolder; }
    std::string beside() const { return (exe() / "vantry.ini").string(); }
    std::string configFile() const { return (home() / "xdg" / "vantry" / "vantry.ini").string(); }
    // An installed copy: its folder takes no files.
    void exeFolderReadOnly()
    {
        const fs::path folder = exe();
        places.folderWriteError = [folder](const fs::path& f) {
            return f == folder ? EACCES : createFileError(f);
        };
    }

    QTemporaryDir exeDir;
    QTemporaryDir homeDir;
    SettingsPlaces places;
};

// A file carried over from Windows: CRLF, a comment, Windows-1251 bytes, keys in no usual order,
// a key the program does not know and a password.
const std::string CarriedFile =
    "; my servers\r\n[Favorites]\r\n10.0.0.9 4=27016\r\n10.0.0.1 0=27015\r\n"
    "[Settings]\r\nZed=1\r\nCSPort=27016\r\nExePath2=C:\\Games\\\xCA\xD1\\hl.exe\r\n"
    "[Password]\r\nLastPass=secret\r\n";

} // namespace

TEST(SettingsLocation, PortableCopyKeepsItsFileBesideItAndInstalledCopyUsesTheConfigFolder)
{
    Places p; // the real write attempt: a temporary folder takes files
    // A copy that brought its settings along keeps them beside itself.
    writeBytes(p.beside(), CarriedFile);
    SettingsLocation where = locateSettingsFile(p.places);
    EXPECT_EQ(where.file.string(), p.beside());
    EXPECT_FALSE(fs::exists(p.home() / "xdg")) << "no configuration folder for a portable copy";
    fs::remove(p.beside());

    // Without one, even a folder that takes files is not where settings belong: the desktop's is.
    where = locateSettingsFile(p.places);
    EXPECT_EQ(where.file.string(), p.configFile());
    EXPECT_FALSE(fs::exists(p.beside())) << "nothing is made beside the program";
    fs::remove_all(p.home() / "xdg");

    p.exeFolderReadOnly();
    where = locateSettingsFile(p.places);
    EXPECT_EQ(where.file.string(), p.configFile());
    EXPECT_EQ(where.problem, "");
    EXPECT_EQ(modeOf(p.home() / "xdg"), 0700u);
    EXPECT_EQ(modeOf(p.home() / "xdg" / "vantry"), 0700u);
    EXPECT_FALSE(fs::exists(where.file)) << "the file is made by the first write";

    // Without XDG_CONFIG_HOME, or with a relative one (which the XDG rules say to ignore): ~/.config.
    for (const std::string xdg : {"", "relative/config"}) {
        p.places.xdgConfigHome = xdg;
        EXPECT_EQ(locateSettingsFile(p.places).file.string(),
                  (p.home() / ".config/vantry/vantry.ini").string());
    }

    // The superuser can write among the system's programs, but settings do not belong there.
    p.places.xdgConfigHome = (p.home() / "xdg").string();
    p.places.folderWriteError = [](const fs::path&) { return 0; };
    for (const char* system : {"/usr/bin", "/usr/local/bin/", "/usr/games"}) {
        p.places.executableFolder = system;
        EXPECT_EQ(locateSettingsFile(p.places).file.string(), p.configFile()) << system;
    }
}

TEST(SettingsLocation, FileBesideAnInstalledCopyIsCarriedOverWholeOnceAndKeptWhereItWas)
{
    Places p;
    p.exeFolderReadOnly();
    writeBytes(p.beside(), CarriedFile);

    const SettingsLocation where = locateSettingsFile(p.places);
    ASSERT_EQ(where.file.string(), p.configFile());
    EXPECT_EQ(where.problem, "");
    EXPECT_EQ(bytesOf(where.file), CarriedFile) << "every byte, so every key in its order";
    EXPECT_EQ(modeOf(where.file), 0600u) << "it holds a password";
    EXPECT_EQ(bytesOf(p.beside()), CarriedFile) << "the original stays";
    for (const fs::directory_entry& entry : fs::directory_iterator(where.file.parent_path()))
        EXPECT_EQ(entry.path().filename().string(), "vantry.ini") << "no temporary file left";

    // Once the user's own file exists, the file beside the program never replaces it again.
    writeBytes(where.file, "[Settings]\nCSPort=27020\n");
    EXPECT_EQ(locateSettingsFile(p.places).file.string(), p.configFile());
    EXPECT_EQ(bytesOf(p.configFile()), "[Settings]\nCSPort=27020\n");
}

TEST(SettingsLocation, ConfigFolderThatTakesNoFilesIsSaidAndNoFileIsLost)
{
    // A file where the configuration folder should be: no one can make folders below it.
    Places p;
    p.exeFolderReadOnly();
    writeBytes(p.home() / "blocked", "not a folder");
    p.places.xdgConfigHome = (p.home() / "blocked").string();
    const std::string configFile = (p.home() / "blocked" / "vantry" / "vantry.ini").string();

    SettingsLocation where = locateSettingsFile(p.places);
    EXPECT_EQ(where.file.string(), configFile) << "nothing to read anywhere: the place it should be";
    EXPECT_EQ(where.problem, "Unable to write to " + configFile +
                                 " (Not a directory): changes to the settings will not be kept");

    // With a file beside the program, that file is read rather than nothing, and kept as it is.
    writeBytes(p.beside(), CarriedFile);
    where = locateSettingsFile(p.places);
    EXPECT_EQ(where.file.string(), p.beside());
    EXPECT_EQ(where.problem, "Unable to write to " + configFile +
                                 " (Not a directory): the settings are read from " + p.beside() +
                                 " and changes to them will not be kept");
    EXPECT_EQ(bytesOf(p.beside()), CarriedFile);
    EXPECT_EQ(bytesOf(p.home() / "blocked"), "not a folder");
}

TEST(SettingsLocation, RealWriteAttemptSeesFoldersThatRefuseNewFiles)
{
    // access() says yes to the superuser for /proc; only an attempt shows that it takes no files.
    EXPECT_NE(createFileError("/proc"), 0);
    QTemporaryDir dir;
    EXPECT_EQ(createFileError(dir.path().toStdString()), 0);
    EXPECT_TRUE(fs::is_empty(dir.path().toStdString())) << "the attempt leaves nothing behind";

    // Permission bits, as a process without the superuser's override sees them: a child in a user
    // namespace of its own, where the files' owners are not mapped.
    Places p;
    ASSERT_EQ(::chmod(p.exe().c_str(), 0555), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::unshare(CLONE_NEWUSER) != 0)
            ::_exit(77);
        const bool refused = createFileError(p.exe()) == EACCES;
        ::_exit(refused && locateSettingsFile(p.places).file.string() == p.configFile() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod(p.exe().c_str(), 0700);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no user namespaces here";
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "a folder of mode 0555 takes no files: the settings go to the config folder";
}

TEST(SettingsLocation, SettingsOptionWinsAndOtherwiseTheInstalledCopyUsesTheConfigFolder)
{
    Places p;
    p.exeFolderReadOnly();
    setSettingsPlaces(p.places);
    const QString chosen = QString::fromStdString((p.home() / "chosen.ini").string());
    setSettingsFilePath(chosen);
    EXPECT_EQ(settingsFilePath().toStdString(), chosen.toStdString());
    EXPECT_EQ(settingsFileProblem().toStdString(), "");
    EXPECT_FALSE(fs::exists(p.home() / "xdg")) << "no configuration folder is made for nothing";

    setSettingsFilePath(QString());
    EXPECT_EQ(settingsFilePath().toStdString(), p.configFile());
    EXPECT_EQ(settingsFileProblem().toStdString(), "");
    setSettingsPlaces(currentSettingsPlaces(QCoreApplication::applicationDirPath().toStdString()));
}
