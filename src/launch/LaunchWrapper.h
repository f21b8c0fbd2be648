#pragma once

#include <QString>

namespace vantry::launch {

struct ClientStart;

// The word of a launch wrapper that stands for the game's own command, as in Steam's launch options.
inline const QString CommandPlaceholder = QStringLiteral("%command%");

// Puts a start inside the user's launch wrapper for its game ("gamemoderun %command%",
// "prime-run %command%", "env FOO=1 %command%", "FOO=1 %command%"): the wrapper's words as a shell
// would split them, with the word %command% replaced by the program and its arguments, or the
// program and its arguments appended when no word is %command%. Leading NAME=value words are given
// to `env`. The wrapper's program is looked up on PATH; the working directory stays the game's.
// An empty wrapper leaves the start as it is; a failed start passes through.
ClientStart wrapClientStart(const ClientStart& start, const QString& wrapper);

} // namespace vantry::launch
