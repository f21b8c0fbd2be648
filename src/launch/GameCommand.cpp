#include "GameCommand.h"

#include "ShellWords.h"

#include <array>

namespace vantry::launch {

namespace {

struct GameKind
{
    QStringView kind;
    int slot;
    QStringView missingPath;
};

// In the order the kinds are tested; the comparison is exact, so at most one matches.
constexpr std::array<GameKind, 6> Kinds{{
    {u"1.6", 2, u"CS 1.6 .exe path not set"},
    {u"CSS", 4, u"CSS .exe path not set"},
    {u"CZ", 3, u"CZero .exe path not set"},
    {u"1.5", 1, u"CS1.5 .exe path not set"},
    {u"HL", 0, u"HL .exe path not set"},
    {u"HL2", 5, u"HL2 .exe path not set"},
}};

} // namespace

int slotForKind(const QString& kind)
{
    for (const GameKind& k : Kinds)
        if (kind == k.kind)
            return k.slot;
    return -1;
}

QString missingPathMessage(int slot)
{
    for (const GameKind& k : Kinds)
        if (k.slot == slot)
            return k.missingPath.toString();
    return {};
}

QString commandLine(const QString& startParams, const QString& address, const QString& port,
                    const QString& passwordParam)
{
    QString line = startParams;
    if (!passwordParam.isEmpty())
        line += u' ' + passwordParam;
    return line + QStringLiteral(" +connect ") + address + u':' + port + u' ';
}

GameArguments gameArguments(const QString& startParams, const QString& address, const QString& port,
                            const QString& passwordParam)
{
    ShellWords params = splitShellWords(startParams);
    if (!params.error.isEmpty())
        return {{}, QStringLiteral("the start parameters cannot be read: ") + params.error};
    QStringList args = std::move(params.words);
    if (passwordParam.startsWith(PasswordPrefix))
        args << PasswordPrefix.trimmed() << passwordParam.mid(PasswordPrefix.size());
    else if (!passwordParam.isEmpty())
        args << passwordParam;
    args << QStringLiteral("+connect") << address + u':' + port;
    return {args, {}};
}

} // namespace vantry::launch
