#pragma once

#include <QString>
#include <QStringList>

namespace vantry::launch {

// "+password " and the password: the password parameter's fixed beginning.
inline const QString PasswordPrefix = QStringLiteral("+password ");

// The game slot (0 to 5) of a game kind, compared exactly and case-sensitively; -1 for any other
// kind ("?" and whatever an old server reports).
int slotForKind(const QString& kind);

// The "Error" text for a slot whose game path is empty; empty for a slot outside 0..5.
QString missingPathMessage(int slot);

// The game command line as one text: start parameters, " +connect ", address, ":", port, " " and
// the password parameter, with no other separators.
QString commandLine(const QString& startParams, const QString& address, const QString& port,
                    const QString& passwordParam);

// The same command line as the argument list the client is started with (no shell in between):
// the start parameters split at blanks, "+connect", address ":" port as one argument, and, when
// there is a password parameter, "+password" and the password as one argument, blanks and all.
// Nothing in the address, the port or the password can add an argument of its own.
QStringList commandArguments(const QString& startParams, const QString& address, const QString& port,
                             const QString& passwordParam);

} // namespace vantry::launch
