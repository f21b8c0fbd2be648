#pragma once

#include "SettingsLocation.h"

#include <QString>

namespace vantry {

// The settings file: the command line's --settings FILE when given; otherwise "vantry.ini" beside
// the executable when its folder is writable, else in the user's configuration folder
// (locateSettingsFile), decided once, on first use.
QString settingsFilePath();
// An empty path returns to the default.
void setSettingsFilePath(const QString& path);
// Not empty when changes to the default settings file cannot be kept: the text for the user.
QString settingsFileProblem();
// The default is decided again from these places (tests stand in for the executable's folder and
// the environment).
void setSettingsPlaces(const SettingsPlaces& places);

} // namespace vantry
