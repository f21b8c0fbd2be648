#include "RecentServers.h"

#include "base/IniFile.h"
#include "options/SettingsTable.h"

#include <QRegularExpression>

#include <algorithm>
#include <map>

namespace vantry::launch {

namespace {

const QString Section = settings::SectionRecent.toString();
const QString CountKey = QStringLiteral("Count");

QString serverKey(int index)
{
    return QStringLiteral("Server") + QString::number(index);
}

std::optional<RecentServer> parseLine(const QString& value)
{
    const QStringList parts = value.split(u',');
    if (parts.size() < 4)
        return std::nullopt;
    const std::optional<query::Endpoint> server = query::Endpoint::parse(parts[0].trimmed().toStdString());
    if (!server || server->port == 0)
        return std::nullopt;
    // "1.6" or "1.6/49": the protocol only where it picks another client than the game's.
    const QString gameField = parts[1].trimmed();
    const qsizetype slash = gameField.indexOf(u'/');
    const std::optional<query::Game> game = RecentServers::gameOfText(gameField.left(slash));
    if (!game)
        return std::nullopt;
    int protocol = 0;
    if (slash >= 0) {
        bool ok = false;
        protocol = gameField.mid(slash + 1).toInt(&ok);
        if (!ok || protocol < 0 || protocol > 255)
            return std::nullopt;
    }
    const QDateTime when = QDateTime::fromString(parts[2].trimmed(), Qt::ISODate);
    if (!when.isValid())
        return std::nullopt;
    // The name is the rest of the line, its commas included.
    const qsizetype nameStart = parts[0].size() + parts[1].size() + parts[2].size() + 3;
    return RecentServer{*server, *game, value.mid(nameStart), when, protocol};
}

QString lineOf(const RecentServer& entry)
{
    QString name = entry.name;
    name.replace(u'\r', u' ').replace(u'\n', u' ');
    return QString::fromStdString(query::endpointText(entry.server)) + u',' +
           QString::fromLatin1(query::gameText(entry.game)) +
           (query::needsXashClient(entry.game, entry.protocol) ? QStringLiteral("/%1").arg(entry.protocol)
                                                               : QString()) +
           u',' + entry.when.toUTC().toString(Qt::ISODate) + u',' + name;
}

} // namespace

RecentServers::RecentServers(IniFile& file, QObject* parent) : QObject(parent), m_file(file)
{
    reload();
}

std::optional<query::Game> RecentServers::gameOfText(const QString& text)
{
    for (const query::Game game :
         {query::Game::HalfLife, query::Game::CounterStrike15, query::Game::CounterStrike16,
          query::Game::ConditionZero, query::Game::CounterStrikeSource, query::Game::HalfLife2})
        if (text == QLatin1String(query::gameText(game)))
            return game;
    return std::nullopt;
}

void RecentServers::reload()
{
    static const QRegularExpression pattern(QStringLiteral("^server(0|[1-9][0-9]{0,8})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    int count = -1;
    if (!IniFile::parseInteger(m_file.readString(Section, CountKey, QString()), count) || count < 0 ||
        count > MaxCount)
        count = -1;
    // By index, not by file order: a hand-edited file may hold the lines in any order.
    std::map<int, QString> lines;
    for (const auto& [key, value] : m_file.entries(Section)) {
        const QRegularExpressionMatch match = pattern.match(key);
        if (!match.hasMatch())
            continue;
        const int index = match.captured(1).toInt();
        if (count < 0 || index < count)
            lines.emplace(index, value);
    }
    m_entries.clear();
    for (const auto& [index, value] : lines) {
        if (m_entries.size() >= MaxCount)
            break;
        const std::optional<RecentServer> entry = parseLine(value);
        if (!entry)
            continue;
        const bool repeated = std::any_of(m_entries.cbegin(), m_entries.cend(),
                                          [&](const RecentServer& e) { return e.server == entry->server; });
        if (!repeated)
            m_entries.append(*entry);
    }
    emit changed();
}

void RecentServers::record(const RecentServer& start)
{
    QVector<RecentServer> entries = m_entries;
    entries.removeIf([&](const RecentServer& e) { return e.server == start.server; });
    entries.prepend(start);
    if (entries.size() > MaxCount)
        entries.resize(MaxCount);

    IniFile::Batch batch(m_file);
    m_file.eraseSection(Section);
    m_file.writeInteger(Section, CountKey, static_cast<int>(entries.size()));
    for (int i = 0; i < entries.size(); ++i)
        m_file.writeString(Section, serverKey(i), lineOf(entries[i]));
    batch.commit();

    m_entries = entries;
    emit changed();
}

} // namespace vantry::launch
