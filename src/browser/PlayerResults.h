#pragma once

#include "query/Endpoint.h"

#include <QAbstractTableModel>
#include <QString>
#include <QVector>

namespace vantry::browser {

// One player found by the player search, with the server to join.
struct PlayerHit
{
    QString player;
    int score = 0;
    float seconds = 0;
    QString serverName;
    query::Endpoint server;
};

// Where the searched players are: player, score, time on the server, server name and address.
// Rows of one server stay together, in the order the servers answered.
class PlayerResults : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        Player,
        Score,
        Time,
        Server,
        Address,
        ColumnCount
    };

    explicit PlayerResults(QObject* parent = nullptr);

    // Replaces the rows of hits' server (hits may be empty: the player left).
    void setServer(const query::Endpoint& server, const QVector<PlayerHit>& hits);
    void clear();

    int count() const { return static_cast<int>(m_hits.size()); }
    const PlayerHit& hit(int row) const { return m_hits.at(row); }

    // "m:ss" or "h:mm:ss"; empty for a time no server could have meant.
    static QString timeText(float seconds);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QVector<PlayerHit> m_hits;
};

} // namespace vantry::browser
