#include "GameCommand.h"

#include "ShellWords.h"

#include <array>

namespace vantry::launch {

namespace {

struct GameKind
{
    query::Game kind;
    int slot;
    QStringView missingPath;
};

// In the order the kinds are tested; at most one matches.
constexpr std::array<GameKind, 6> Kinds{{
    {query::Game::CounterStrike16, 2, u"CS 1.6 .exe path not set"},
    {query::Game::CounterStrikeSource, 4, u"CSS .exe path not set"},
    {query::Game::ConditionZero, 3, u"CZero .exe path not set"},
    {query::Game::CounterStrike15, 1, u"CS1.5 .exe path not set"},
    {query::Game::HalfLife, 0, u"HL .exe path not set"},
    {query::Game::HalfLife2, 5, u"HL2 .exe path not set"},
}};

} // namespace

int slotForKind(query::Game kind)
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

QString slotLabel(int slot)
{
    static constexpr std::array<QStringView, 6> Labels{u"HL", u"CS1.5", u"CS1.6", u"CZERO", u"CSS", u"HL2DM"};
    return slot >= 0 && slot < 6 ? Labels[static_cast<std::size_t>(slot)].toString() : QString();
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
