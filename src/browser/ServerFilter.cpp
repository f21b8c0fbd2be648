#include "ServerFilter.h"

#include "base/IniFile.h"

#include <array>

namespace vantry::browser {

namespace {

const QString FilterSection = QStringLiteral("Filter");
const QString ViewSection = QStringLiteral("View");

// Server texts are NUL-terminated on the wire, so no field holds this separator.
constexpr QChar Separator = QChar(0);

constexpr std::array<query::Game, 7> Games = {
    query::Game::HalfLife,      query::Game::CounterStrike15,     query::Game::CounterStrike16,
    query::Game::ConditionZero, query::Game::CounterStrikeSource, query::Game::HalfLife2,
    query::Game::Unknown};

QString fromUtf8(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

bool fullServer(const query::ServerRow& row)
{
    return row.playerCount && row.maxPlayerCount ? *row.playerCount >= *row.maxPlayerCount
                                                 : row.status == query::Image::Full;
}

bool passworded(const query::ServerRow& row)
{
    return row.passwordRequired ? *row.passwordRequired : row.status == query::Image::Password;
}

} // namespace

ServerFilter::ServerFilter(const FilterSettings& settings)
    : m_settings(settings), m_text(settings.text.toCaseFolded()), m_textMatcher(m_text),
      m_textImpossible(m_text.contains(Separator)), m_map(settings.map.toCaseFolded()),
      m_name(settings.name.toCaseFolded())
{
    FilterSettings rest = settings;
    rest.text.clear();
    m_beyondText = !rest.isEmpty();
}

QString ServerFilter::searchText(const query::ServerRow& row)
{
    QString text = fromUtf8(row.name);
    text += Separator;
    text += fromUtf8(row.map);
    text += Separator;
    text += QString::fromStdString(query::endpointText(row.from));
    text += Separator;
    text += QLatin1String(query::gameText(row.kind));
    return text.toCaseFolded();
}

bool ServerFilter::textMatches(QStringView searchText) const
{
    // A matcher made once: the list asks this of every row at each keystroke.
    return m_text.isEmpty() || (!m_textImpossible && m_textMatcher.indexIn(searchText) >= 0);
}

bool ServerFilter::looksBeyondText() const
{
    return m_beyondText;
}

bool ServerFilter::matches(const query::ServerRow& row) const
{
    return matches(row, m_text.isEmpty() ? QString() : searchText(row));
}

bool ServerFilter::matches(const query::ServerRow& row, QStringView searchText) const
{
    const FilterSettings& s = m_settings;
    if (s.notFull && fullServer(row))
        return false;
    if (s.notEmpty && row.playerCount.value_or(1) <= 0)
        return false;
    if (s.noPassword && passworded(row))
        return false;
    if (s.game && row.kind != *s.game)
        return false;
    if (s.maxPingMs > 0 && (!row.pingMs || *row.pingMs > s.maxPingMs))
        return false;
    if (!m_map.isEmpty() && !fromUtf8(row.map).toCaseFolded().contains(m_map))
        return false;
    if (!m_name.isEmpty() && !fromUtf8(row.name).toCaseFolded().contains(m_name))
        return false;
    if (s.joinable && m_canJoin && !m_canJoin(row))
        return false;
    return textMatches(searchText);
}

std::optional<query::Game> gameFromText(const QString& text)
{
    for (query::Game game : Games)
        if (text == QLatin1String(query::gameText(game)))
            return game;
    return std::nullopt;
}

FilterSettings loadFilter(const IniFile& file)
{
    FilterSettings s;
    s.text = file.readString(FilterSection, QStringLiteral("Text"), {});
    s.notFull = file.readBool(FilterSection, QStringLiteral("NotFull"), false);
    s.notEmpty = file.readBool(FilterSection, QStringLiteral("NotEmpty"), false);
    s.noPassword = file.readBool(FilterSection, QStringLiteral("NoPassword"), false);
    s.game = gameFromText(file.readString(FilterSection, QStringLiteral("Game"), {}));
    s.map = file.readString(FilterSection, QStringLiteral("Map"), {});
    const int ping = file.readInteger(FilterSection, QStringLiteral("MaxPing"), 0);
    s.maxPingMs = ping >= 0 && ping <= MaxFilterPingMs ? ping : 0;
    s.joinable = file.readBool(FilterSection, QStringLiteral("CanJoin"), false);
    return s;
}

void saveFilter(IniFile& file, const FilterSettings& s)
{
    IniFile::Batch batch(file);
    file.writeString(FilterSection, QStringLiteral("Text"), s.text);
    file.writeBool(FilterSection, QStringLiteral("NotFull"), s.notFull);
    file.writeBool(FilterSection, QStringLiteral("NotEmpty"), s.notEmpty);
    file.writeBool(FilterSection, QStringLiteral("NoPassword"), s.noPassword);
    file.writeString(FilterSection, QStringLiteral("Game"),
                     s.game ? QLatin1String(query::gameText(*s.game)) : QString());
    file.writeString(FilterSection, QStringLiteral("Map"), s.map);
    file.writeInteger(FilterSection, QStringLiteral("MaxPing"), s.maxPingMs);
    file.writeBool(FilterSection, QStringLiteral("CanJoin"), s.joinable);
    batch.commit();
}

SortChoice loadSort(const IniFile& file, int columnCount)
{
    SortChoice sort;
    const int column = file.readInteger(ViewSection, QStringLiteral("SortColumn"), -1);
    if (column < 0 || column >= columnCount)
        return sort;
    sort.column = column;
    sort.descending = file.readInteger(ViewSection, QStringLiteral("SortOrder"), 0) == 1;
    return sort;
}

void saveSort(IniFile& file, const SortChoice& sort)
{
    IniFile::Batch batch(file);
    file.writeInteger(ViewSection, QStringLiteral("SortColumn"), sort.column);
    file.writeInteger(ViewSection, QStringLiteral("SortOrder"), sort.descending ? 1 : 0);
    batch.commit();
}

} // namespace vantry::browser
