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

// Section "Clients", key "Xash3D": the Xash3D FWGS client, which joins the servers of protocol 49
// whatever their game. A file path, or the path that stands for its Flatpak; written only when set,
// as the wrappers are.
QString loadXashClient(const IniFile& file);
void writeXashClient(IniFile& file, const QString& client);

} // namespace vantry::options
