#include "WatchList.h"

#include "base/IniFile.h"

#include <QSet>

#include <algorithm>

namespace vantry::options {

namespace {

const QString Section = QStringLiteral("Watch");
const QString CountKey = QStringLiteral("Count");

QString playerKey(int index)
{
    return QStringLiteral("Player%1").arg(index);
}

} // namespace

QStringList tidyWatchList(const QStringList& names)
{
    QStringList kept;
    QSet<QString> seen;
    for (const QString& name : names) {
        const QString trimmed = name.trimmed();
        if (trimmed.isEmpty() || seen.contains(trimmed.toCaseFolded()))
            continue;
        seen.insert(trimmed.toCaseFolded());
        kept << trimmed;
        if (kept.size() == MaxWatchedPlayers)
            break;
    }
    return kept;
}

QStringList loadWatchList(const IniFile& file)
{
    // A hand-edited count may promise more keys than there are, or a huge number.
    const int count = std::clamp(file.readInteger(Section, CountKey, 0), 0, MaxWatchedPlayers);
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << file.readString(Section, playerKey(i), QString());
    return tidyWatchList(names);
}

void writeWatchList(IniFile& file, const QStringList& names)
{
    const QStringList kept = tidyWatchList(names);
    if (kept.isEmpty() && !file.sectionExists(Section))
        return;
    IniFile::Batch batch(file);
    file.eraseSection(Section);
    file.writeInteger(Section, CountKey, static_cast<int>(kept.size()));
    for (int i = 0; i < kept.size(); ++i)
        file.writeString(Section, playerKey(i), kept[i]);
    batch.commit();
}

} // namespace vantry::options
