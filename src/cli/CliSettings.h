#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vantry::cli {

// The defaults a settings file gives the command line. The file is read, never written.
struct SettingsDefaults
{
    std::uint16_t port = 0; // "CSPort" of section "Settings"
    int delayMs = 0;        // "Delay" of section "Settings"
};

// None, with the reason in `error`, when the file cannot be read or holds unusable values.
std::optional<SettingsDefaults> readSettingsDefaults(const std::string& path, std::string& error);

} // namespace vantry::cli
