#pragma once

#include "query/Records.h"

#include <QString>
#include <QStringList>

namespace vantry::launch {

// "+password " and the password: the password parameter's fixed beginning.
inline const QString PasswordPrefix = QStringLiteral("+password ");

// The game slot (0 to 5) of a game kind; -1 for Unknown ("?", whatever an old server reports).
int slotForKind(query::Game kind);

// The "Error" text for a slot whose game path is empty; empty for a slot outside 0..5.
QString missingPathMessage(int slot);
// The slot's label in the options' game list: "HL", "CS1.5", "CS1.6", "CZERO", "CSS", "HL2DM".
QString slotLabel(int slot);

// The game command line as one text: start parameters, then, when there is one, a blank and the
// password parameter, then " +connect ", address, ":", port and " ". The password comes before the
// connect command because that command carries none: the engine sends the server whatever
// `password` is set when it connects, so one set afterwards comes too late.
QString commandLine(const QString& startParams, const QString& address, const QString& port,
                    const QString& passwordParam);

struct GameArguments
{
    QStringList arguments;
    QString error; // why the start parameters cannot be split; no arguments then
};

// The same command line as the arguments the game is started with (no shell in between): the
// start parameters split as a shell splits words, "+password" and the password as one argument
// when there is a password parameter, then "+connect" and address ":" port as one argument.
// Nothing in the address, the port or the password can add an argument of its own.
GameArguments gameArguments(const QString& startParams, const QString& address, const QString& port,
                            const QString& passwordParam);

} // namespace vantry::launch
