#include "LaunchWrapper.h"

#include "ClientStart.h"
#include "ShellWords.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace vantry::launch {

namespace {

bool isAssignment(const QString& word)
{
    static const QRegularExpression name(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*="));
    return name.match(word).hasMatch();
}

ClientStart failed(const QString& reason)
{
    ClientStart start;
    start.failure = reason;
    return start;
}

} // namespace

ClientStart wrapClientStart(const ClientStart& start, const QString& wrapper)
{
    if (!start.failure.isEmpty())
        return start;
    ShellWords split = splitShellWords(wrapper);
    if (!split.error.isEmpty())
        return failed(QStringLiteral("the launch wrapper cannot be read: ") + split.error);
    QStringList words = std::move(split.words);
    if (words.isEmpty())
        return start;
    if (isAssignment(words.constFirst()))
        words.prepend(QStringLiteral("env"));

    const QStringList command = QStringList{start.program} + start.arguments;
    QStringList line;
    bool placed = false;
    for (const QString& word : std::as_const(words)) {
        if (word == CommandPlaceholder) {
            line += command;
            placed = true;
        } else {
            line << word;
        }
    }
    if (!placed)
        line += command;
    if (words.constFirst() == CommandPlaceholder)
        return start; // "%command%" alone: nothing around the game

    const QString name = line.takeFirst();
    const QString program =
        name.contains(u'/') ? QFileInfo(name).absoluteFilePath() : QStandardPaths::findExecutable(name);
    if (program.isEmpty() || !QFileInfo(program).isExecutable())
        return failed(QStringLiteral("the launch wrapper's program \"%1\" is not found").arg(name));
    return {program, line, start.workingDirectory, {}, start.environment};
}

} // namespace vantry::launch
