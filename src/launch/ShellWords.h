#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace vantry::launch {

struct ShellWords
{
    QStringList words;
    QString error; // empty when the text splits; otherwise why not, and no words
};

// Splits a text into words as a POSIX shell splits a simple command's words, without running
// one: blanks separate words; '…' keeps everything literally; "…" keeps everything but \" \\ \$ \`
// and a backslash-newline; outside quotes a backslash keeps the next character. Nothing is
// expanded: $, ~, *, ; and | are plain characters. "" and '' give an empty word.
ShellWords splitShellWords(QStringView text);

} // namespace vantry::launch
