#pragma once

#include <QString>

namespace vantry {

// The settings file: "vantry.ini" in the executable's folder, unless set otherwise (the command
// line's --settings FILE).
QString settingsFilePath();
// An empty path returns to the default.
void setSettingsFilePath(const QString& path);

} // namespace vantry
