#include "launch/ShellWords.h"

#include <QProcess>

#include <gtest/gtest.h>

using vantry::launch::splitShellWords;

namespace {

// The words /bin/sh makes of the text, each printed with a NUL after it.
QStringList shellWords(const QString& text)
{
    // `set --` makes the shell split the text as the words of a command.
    QProcess split;
    split.start(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), QStringLiteral("set -- ") + text +
                                   QStringLiteral("; for w in \"$@\"; do printf '%s\\0' \"$w\"; done")});
    if (!split.waitForFinished(10000) || split.exitCode() != 0)
        return {QStringLiteral("<shell failed>")};
    QList<QByteArray> parts = split.readAllStandardOutput().split('\0');
    parts.removeLast();
    QStringList words;
    for (const QByteArray& p : parts)
        words << QString::fromUtf8(p);
    return words;
}

} // namespace

TEST(ShellWords, StartParametersSplitExactlyAsTheShellSplitsThem)
{
    // Texts without expansions, so the shell's words are the words the user meant.
    const char* texts[] = {
        "-game cstrike -console",
        "  -game\tcstrike   ",
        "-game cstrike +name \"Big Joe\" +cl_updaterate 101",
        "+exec 'my config.cfg' -w 1024",
        "-nojoy +bind \"F1\" \"say \\\"gg\\\"\"",
        "a\\ b c\\\\d \\'e\\'",
        "\"\" '' x\"\"y",
        "mi\"x\"'e'd w\"or\"ds",
        "\"keep \\n and \\q\" 'no \\\" escapes here'",
        "line\\\ncontinued \"in\\\nquotes\"",
        "Игрок \"Вася Пупкин\"",
    };
    for (const char* t : texts) {
        const QString text = QString::fromUtf8(t);
        const auto split = splitShellWords(text);
        EXPECT_TRUE(split.error.isEmpty()) << t;
        EXPECT_EQ(split.words, shellWords(text)) << t;
    }
    EXPECT_TRUE(splitShellWords(u"").words.isEmpty());
    EXPECT_TRUE(splitShellWords(u" \t ").words.isEmpty());
}

TEST(ShellWords, ShellSyntaxStaysPlainTextBecauseNoShellRuns)
{
    const auto split = splitShellWords(u"$HOME ~ *.cfg a;b c|d `id` $(id) && x > y");
    EXPECT_TRUE(split.error.isEmpty());
    EXPECT_EQ(split.words, (QStringList{QStringLiteral("$HOME"), QStringLiteral("~"), QStringLiteral("*.cfg"),
                                        QStringLiteral("a;b"), QStringLiteral("c|d"), QStringLiteral("`id`"),
                                        QStringLiteral("$(id)"), QStringLiteral("&&"), QStringLiteral("x"),
                                        QStringLiteral(">"), QStringLiteral("y")}));
    // A backslash at the very end stands for itself, as it does in the shell.
    EXPECT_EQ(splitShellWords(u"-path C:\\").words,
              (QStringList{QStringLiteral("-path"), QStringLiteral("C:\\")}));
}

TEST(ShellWords, AnUnclosedQuoteIsRefusedWithItsPlaceInsteadOfGuessed)
{
    auto split = splitShellWords(u"-game cstrike +name \"Big Joe");
    EXPECT_TRUE(split.words.isEmpty());
    EXPECT_EQ(split.error, QStringLiteral("the double quote at character 21 is not closed"));
    split = splitShellWords(u"+exec 'its.cfg");
    EXPECT_TRUE(split.words.isEmpty());
    EXPECT_EQ(split.error, QStringLiteral("the single quote at character 7 is not closed"));
    // Quotes that close and open again are balanced: 'it''s' is "its".
    EXPECT_EQ(splitShellWords(u"'it''s'").words, QStringList{QStringLiteral("its")});
    // An escaped quote opens nothing.
    split = splitShellWords(u"say \\\"hi");
    EXPECT_TRUE(split.error.isEmpty());
    EXPECT_EQ(split.words, (QStringList{QStringLiteral("say"), QStringLiteral("\"hi")}));
}
