#pragma once

#include "query/Records.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QString>
#include <QVector>

#include <functional>

namespace vantry::browser {

// The server list: one row per answering server, appended in arrival order, never edited.
class ServerListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        Game,
        Name,
        Address,
        Port,
        Protocol,
        Map,
        Players,
        Os,
        Status,
        Ping,
        ColumnCount
    };
    enum Role
    {
        // Numbers as numbers (port, protocol, players, maximum), texts as texts: for sorting.
        RawValueRole = Qt::UserRole + 1,
        // The image list index shown in a cell, or -1.
        ImageIndexRole,
    };

    using IconProvider = std::function<QIcon(int imageIndex)>;

    explicit ServerListModel(QObject* parent = nullptr);

    void setIconProvider(IconProvider provider);

    // True when a row of the same server is listed (address and port, or address alone for
    // old info-string replies). Looks up an index, not the rows.
    bool contains(const query::ServerRow& row) const;
    enum class Shown
    {
        Now,
        // Views learn of the row with the others added after it, in one insertion, before the
        // event loop runs on or at the next showAdded(): a sweep's replies come in bursts, and
        // a view handles one insertion of many rows far faster than many of one.
        Later,
    };
    // Appends unless the server is listed; returns the new row's index or -1. The row is part
    // of count(), find() and the other lookups at once, whenever it is shown.
    int add(query::ServerRow row, Shown shown = Shown::Now);
    // Tells views of every row added for later.
    void showAdded();
    void clear();

    // Every row, shown or not; rowCount() is what views know of.
    int count() const { return static_cast<int>(m_rows.size()); }
    const query::ServerRow& server(int row) const { return m_rows.at(row).server; }
    const query::Endpoint& endpoint(int row) const { return m_rows.at(row).server.from; }
    // The texts of the row's cells.
    QString address(int row) const;
    QString port(int row) const;
    QString kind(int row) const;
    QString players(int row) const;
    // -1 when no such row.
    int find(const query::Endpoint& server) const;
    // A later round trip of a listed server: kept when it is lower.
    void lowerPing(const query::Endpoint& server, int pingMs);

    // Sorts the rows once, in place, by round trip, shortest first, unknown last; equal rows
    // keep their order. Rows added later are appended unsorted. Selections follow their rows.
    void sortByPing();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Row
    {
        query::ServerRow server;
    };

    int imageIndex(const Row& row, int column) const;
    // The game cell's tip: the engine, and so the client that joins.
    static QString engineTip(const query::ServerRow& row);

    QVector<Row> m_rows;
    int m_shown = 0; // rows views were told of
    bool m_showPosted = false;
    // address -> ports of its rows
    QHash<std::uint32_t, QVector<std::uint16_t>> m_byAddress;
    IconProvider m_icons;
};

} // namespace vantry::browser
