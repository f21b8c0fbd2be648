// A stand-in for a game client: writes its working directory and its arguments, each ended by a
// NUL byte, to the file named by VANTRY_LAUNCH_PROBE_OUT. The file appears whole (written beside
// it, then renamed), so a reader never sees half of it. When VANTRY_LAUNCH_PROBE_STARTS names a
// file, each start also appends one line to it, so that starts can be counted. When
// VANTRY_LAUNCH_PROBE_ENV names variables (separated by ':'), those it was given are written as
// NAME=value, each ended by a NUL byte, to the record's name with ".env" added, before the record.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    const char* out = std::getenv("VANTRY_LAUNCH_PROBE_OUT");
    if (!out || !*out)
        return 2;
    if (const char* starts = std::getenv("VANTRY_LAUNCH_PROBE_STARTS"); starts && *starts) {
        // One write of a few bytes to a file opened for appending: lines of starts never mix.
        const int fd = open(starts, O_WRONLY | O_APPEND | O_CREAT, 0600);
        if (fd < 0 || write(fd, "started\n", 8) != 8)
            return 7;
        close(fd);
    }
    std::string record;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd))
        return 3;
    record.append(cwd).push_back('\0');
    for (int i = 1; i < argc; ++i)
        record.append(argv[i]).push_back('\0');

    if (const char* names = std::getenv("VANTRY_LAUNCH_PROBE_ENV"); names && *names) {
        std::string variables;
        std::string list = names;
        for (std::size_t from = 0; from <= list.size();) {
            const std::size_t to = std::min(list.find(':', from), list.size());
            const std::string name = list.substr(from, to - from);
            if (const char* value = name.empty() ? nullptr : std::getenv(name.c_str()))
                variables.append(name).append("=").append(value).push_back('\0');
            from = to + 1;
        }
        std::FILE* env = std::fopen((std::string(out) + ".env").c_str(), "wb");
        if (!env)
            return 8;
        const bool written = std::fwrite(variables.data(), 1, variables.size(), env) == variables.size();
        if (std::fclose(env) != 0 || !written)
            return 9;
    }

    const std::string part = std::string(out) + ".part";
    std::FILE* file = std::fopen(part.c_str(), "wb");
    if (!file)
        return 4;
    const bool written = std::fwrite(record.data(), 1, record.size(), file) == record.size();
    if (std::fclose(file) != 0 || !written)
        return 5;
    return std::rename(part.c_str(), out) == 0 ? 0 : 6;
}
