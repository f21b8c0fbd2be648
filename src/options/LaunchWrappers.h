#pragma once

#include "options/LiveSettings.h"

#include <QString>

#include <array>

namespace vantry {
class IniFile;
}

namespace vantry::options {

// Section "Launch": each game slot's launch wrapper, "Wrapper0" to "Wrapper5", as typed. Only the
// slots that have one are written, and no section at all when none has: a file of a user who never
// set one keeps its bytes.
using LaunchWrapperList = std::array<QString, GameSlotCount>;

LaunchWrapperList loadLaunchWrappers(const IniFile& file);
void writeLaunchWrappers(IniFile& file, const LaunchWrapperList& wrappers);

} // namespace vantry::options
