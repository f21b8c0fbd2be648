#pragma once

#include "options/LiveSettings.h"
#include "query/Endpoint.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QVector>

#include <optional>

namespace vantry {
class IniFile;
}

namespace vantry::options {

// What a favourite said when it last answered.
struct FavouriteAnswer
{
    QString name;
    QString map;
    QString players; // "current/maximum" as the list shows it
};

// The last answer of each favourite, in a section of its own ("FavoriteNames"), so that section
// "Favorites" keeps exactly its bytes:
//
//   [FavoriteNames]
//   10.0.0.5:27015=12/32,de_dust2,Name, commas allowed
//
// keyed by the favourite's address and port texts. The file is written only when an answer
// differs from the one kept; entries of servers no longer favourites stay until overwritten.
class FavouriteNames : public QObject
{
    Q_OBJECT
public:
    explicit FavouriteNames(IniFile& file, QObject* parent = nullptr);

    void reload();
    std::optional<FavouriteAnswer> answer(const Favourite& favourite) const;

    // A listed server answered: kept when it is one of the favourites (address and port read as
    // the sweep reads them, so "010.0.0.5" or a hand-edited port of "027015" still match). True
    // when kept.
    // Throws StoreWriteError; nothing is kept then.
    bool noteAnswer(const QVector<FavouriteTarget>& favourites, const query::Endpoint& server,
                    const FavouriteAnswer& answer);
    bool noteAnswer(const QVector<Favourite>& favourites, const query::Endpoint& server,
                    const FavouriteAnswer& answer);

signals:
    void changed();

private:
    IniFile& m_file;
    QHash<QString, FavouriteAnswer> m_answers; // by "address:port" as the favourite's texts
};

// "address:port" of the favourite's texts: the key of its answer.
QString favouriteAnswerKey(const Favourite& favourite);

} // namespace vantry::options
