#pragma once

#include "base/UiLanguage.h"

namespace vantry {

// Puts the window texts into that language from the next window built on: English installs the
// translation built into the program, Russian (the texts' own language) removes any installed
// before. False when the translation could not be loaded; the texts then stay Russian.
bool installTranslation(UiLanguage language);

} // namespace vantry
