#include "SettingsLocation.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantry {

namespace fs = std::filesystem;

namespace {

constexpr const char* FileName = "vantry.ini";

fs::path withoutTrailingSeparator(const fs::path& path)
{
    std::string text = path.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

// Where packages and administrators put programs for everyone: a copy there is installed even for
// the superuser, who could write beside it but must not leave settings among the programs.
bool isSystemProgramFolder(const fs::path& folder)
{
    std::error_code error;
    fs::path real = fs::weakly_canonical(folder, error);
    if (error)
        real = folder;
    real = withoutTrailingSeparator(real);
    for (const char* system : {"/bin", "/sbin", "/usr/bin", "/usr/sbin", "/usr/games", "/usr/local/bin",
                               "/usr/local/sbin", "/usr/local/games"}) {
        if (real == fs::path(system))
            return true;
    }
    return false;
}

// mkdir -p; what it makes is the owner's only, as the XDG base directory rules ask.
int makeFolders(const fs::path& folder)
{
    std::error_code error;
    if (fs::is_directory(folder, error))
        return 0;
    const fs::path parent = folder.parent_path();
    if (!parent.empty() && parent != folder) {
        if (const int e = makeFolders(parent))
            return e;
    }
    if (::mkdir(folder.c_str(), 0700) == 0)
        return 0;
    const int e = errno;
    if (e == EEXIST)
        return fs::is_directory(folder, error) ? 0 : ENOTDIR;
    return e;
}

int writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int copyBytes(int from, int to)
{
    std::array<char, 65536> buffer{};
    for (;;) {
        const ssize_t n = ::read(from, buffer.data(), buffer.size());
        if (n == 0)
            return 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (const int e = writeAll(to, buffer.data(), static_cast<std::size_t>(n)))
            return e;
    }
}

// The target appears whole or not at all: the bytes go to a temporary file beside it (owner-only,
// since the settings may hold a password), which is then renamed into place.
int copyWhole(const fs::path& from, const fs::path& to)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    std::string temporary = (to.parent_path() / ".vantry.ini.XXXXXX").string();
    const int out = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (out < 0) {
        const int e = errno;
        ::close(in);
        return e;
    }
    int error = copyBytes(in, out);
    if (error == 0 && ::fsync(out) != 0)
        error = errno;
    if (::close(out) != 0 && error == 0)
        error = errno;
    ::close(in);
    if (error == 0 && ::rename(temporary.c_str(), to.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temporary.c_str());
    return error;
}

bool isReadableFile(const fs::path& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), R_OK) == 0;
}

} // namespace

int createFileError(const fs::path& folder)
{
    std::string probe = (folder / ".vantry-write-test.XXXXXX").string();
    const int fd = ::mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    ::close(fd);
    ::unlink(probe.c_str());
    return 0;
}

SettingsPlaces currentSettingsPlaces(const fs::path& executableFolder)
{
    SettingsPlaces places;
    places.executableFolder = executableFolder;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"))
        places.xdgConfigHome = xdg;
    if (const char* home = std::getenv("HOME"); home && *home) {
        places.home = home;
    } else {
        std::array<char, 4096> buffer{};
        passwd entry{};
        passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
            found->pw_dir)
            places.home = found->pw_dir;
    }
    return places;
}

SettingsLocation locateSettingsFile(const SettingsPlaces& places)
{
    const fs::path beside = places.executableFolder / FileName;
    // A portable copy is one that brings its settings along; any other keeps them where the
    // desktop keeps every program's.
    if (isReadableFile(beside) && !isSystemProgramFolder(places.executableFolder) &&
        places.folderWriteError(places.executableFolder) == 0)
        return {beside, {}};

    fs::path config;
    if (!places.xdgConfigHome.empty() && fs::path(places.xdgConfigHome).is_absolute())
        config = places.xdgConfigHome;
    else if (!places.home.empty())
        config = fs::path(places.home) / ".config";
    if (config.empty())
        return {beside, "Unable to write to " + beside.string() +
                            ", and neither XDG_CONFIG_HOME nor HOME names a folder for the settings: "
                            "changes to the settings will not be kept"};

    const fs::path folder = withoutTrailingSeparator(config / "vantry");
    const fs::path file = folder / FileName;
    int error = makeFolders(folder);
    if (error == 0)
        error = places.folderWriteError(folder);
    std::error_code ignored;
    const bool exists = fs::exists(file, ignored);
    const bool carryOver = !exists && isReadableFile(beside);
    if (error == 0 && carryOver)
        error = copyWhole(beside, file);
    if (error == 0)
        return {file, {}};

    const std::string unable = "Unable to write to " + file.string() + " (" + std::strerror(error) + ")";
    if (carryOver)
        return {beside, unable + ": the settings are read from " + beside.string() +
                            " and changes to them will not be kept"};
    return {file, unable + ": changes to the settings will not be kept"};
}

} // namespace vantry
