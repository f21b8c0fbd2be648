#pragma once

#include <QStringList>

namespace vantry {
class IniFile;
}

namespace vantry::options {

// Section "Watch": the watched players' names, "Count" and one key per name, "Player0" on.
// Names are kept as typed, without blanks around them; empty names and repeats (ignoring case)
// are dropped.
inline constexpr int MaxWatchedPlayers = 100;

QStringList loadWatchList(const IniFile& file);
// Rewrites the section; writes none when the list is empty and no section was there.
void writeWatchList(IniFile& file, const QStringList& names);
// The list as kept: trimmed, no empty names, no repeats ignoring case, at most MaxWatchedPlayers.
QStringList tidyWatchList(const QStringList& names);

} // namespace vantry::options
