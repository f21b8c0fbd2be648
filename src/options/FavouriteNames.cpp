#include "FavouriteNames.h"

#include "base/IniFile.h"
#include "options/SettingsTable.h"

namespace vantry::options {

namespace {

const QString Section = settings::SectionFavoriteNames.toString();

std::optional<FavouriteAnswer> parseAnswer(const QString& value)
{
    const qsizetype first = value.indexOf(u',');
    const qsizetype second = first < 0 ? -1 : value.indexOf(u',', first + 1);
    if (second < 0)
        return std::nullopt;
    return FavouriteAnswer{value.mid(second + 1), value.mid(first + 1, second - first - 1),
                           value.left(first)};
}

QString oneLine(QString text)
{
    return text.replace(u'\r', u' ').replace(u'\n', u' ');
}

} // namespace

QString favouriteAnswerKey(const Favourite& favourite)
{
    return favourite.address + u':' + favourite.port;
}

FavouriteNames::FavouriteNames(IniFile& file, QObject* parent) : QObject(parent), m_file(file)
{
    reload();
}

void FavouriteNames::reload()
{
    m_answers.clear();
    for (const auto& [key, value] : m_file.entries(Section))
        if (const std::optional<FavouriteAnswer> answer = parseAnswer(value))
            m_answers.insert(key, *answer);
    emit changed();
}

std::optional<FavouriteAnswer> FavouriteNames::answer(const Favourite& favourite) const
{
    const auto found = m_answers.constFind(favouriteAnswerKey(favourite));
    if (found == m_answers.cend())
        return std::nullopt;
    return *found;
}

bool FavouriteNames::noteAnswer(const QVector<Favourite>& favourites, const query::Endpoint& server,
                                const FavouriteAnswer& answer)
{
    QVector<FavouriteTarget> targets;
    for (const Favourite& favourite : favourites)
        targets.append(favouriteTarget(favourite));
    return noteAnswer(targets, server, answer);
}

bool FavouriteNames::noteAnswer(const QVector<FavouriteTarget>& favourites, const query::Endpoint& server,
                                const FavouriteAnswer& given)
{
    // Commas only in the name, which comes last.
    const FavouriteAnswer answer{oneLine(given.name).trimmed(), oneLine(given.map).remove(u',').trimmed(),
                                 oneLine(given.players).remove(u',').trimmed()};
    QStringList keys;
    for (const FavouriteTarget& favourite : favourites)
        if (favourite.endpoint() == server)
            keys.append(favouriteAnswerKey(favourite.text));
    if (keys.isEmpty())
        return false;
    QStringList changedKeys;
    for (const QString& key : keys) {
        const auto kept = m_answers.constFind(key);
        if (kept == m_answers.cend() || kept->name != answer.name || kept->map != answer.map ||
            kept->players != answer.players)
            changedKeys.append(key);
    }
    if (changedKeys.isEmpty())
        return true;
    const QString value = answer.players + u',' + answer.map + u',' + answer.name;
    IniFile::Batch batch(m_file);
    for (const QString& key : changedKeys)
        m_file.writeString(Section, key, value);
    batch.commit();
    for (const QString& key : changedKeys)
        m_answers.insert(key, answer);
    emit changed();
    return true;
}

} // namespace vantry::options
