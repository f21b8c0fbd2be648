#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace vantry {

// 0 when a new file can be made in the folder, else the error (errno) of the attempt. A real
// attempt: it answers for read-only mounts and special file systems, and for the superuser, as
// well as for permission bits.
int createFileError(const std::filesystem::path& folder);

// What decides where the window keeps its settings when the command line names no file.
struct SettingsPlaces
{
    std::filesystem::path executableFolder;
    std::string xdgConfigHome; // $XDG_CONFIG_HOME; used only when absolute
    std::string home;          // $HOME, or the account's home folder
    std::function<int(const std::filesystem::path&)> folderWriteError = &createFileError;
};

// The places of this process: the environment and the account.
SettingsPlaces currentSettingsPlaces(const std::filesystem::path& executableFolder);

struct SettingsLocation
{
    std::filesystem::path file;
    // Not empty when changes to the settings cannot be kept: the text for the user.
    std::string problem;
};

// A copy with a "vantry.ini" beside itself, in a folder that takes new files, keeps it there
// (portable use). Every other copy (one without that file, one in a system program folder or in any
// folder it cannot write) uses <config>/vantry/vantry.ini, <config> being $XDG_CONFIG_HOME or
// ~/.config: the folders are made when missing, and a "vantry.ini" found beside the executable is
// copied there byte for byte the first time. No file is ever removed or overwritten on the way: when the copy
// cannot be made, the file beside the executable is the one read.
SettingsLocation locateSettingsFile(const SettingsPlaces& places);

} // namespace vantry
