#pragma once

#include "ServerFilter.h"

#include <QAbstractProxyModel>
#include <QCollator>
#include <QCollatorSortKey>

#include <cstdint>
#include <vector>

namespace vantry::browser {

class ServerListModel;

// The server list as the window shows it: the rows the filter lets through, in the order of a
// column or of arrival. Hidden rows stay in the source model, which is what the scan engine, the
// refresh and auto-connect read. Rows that arrive take their place in the order.
//
// Sized for lists of 100,000 servers: every source row's folded search text and sort key are
// made once, on arrival; the order of all rows is kept, so a filter change is one pass without
// sorting, and a burst of arrivals one merge.
class ServerListProxy : public QAbstractProxyModel
{
    Q_OBJECT
public:
    explicit ServerListProxy(ServerListModel& source, QObject* parent = nullptr);

    void setFilter(const FilterSettings& settings);
    // Which servers a client is set for; the rows are filtered again at once, and again at each
    // clientsChanged() (the user set a client).
    void setCanJoin(ServerFilter::CanJoin canJoin);
    void clientsChanged();
    const FilterSettings& filter() const { return m_filter.settings(); }
    // Numbers by value (unknown round trips last either way), texts by the locale's collation.
    void setSort(const SortChoice& sort);
    const SortChoice& sortChoice() const { return m_sort; }

    // Rows shown, and rows listed in the source model (as its views know them).
    int shownCount() const { return static_cast<int>(m_rows.size()); }
    int listedCount() const { return static_cast<int>(m_order.size()); }
    // The source row of a shown row, and back (-1: hidden or no such row).
    int sourceRow(int row) const;
    int shownRow(int sourceRow) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

signals:
    // The shown or listed count changed.
    void countsChanged();

private:
    void sourceRowsInserted(int first, int last);
    void sourceReset();
    void sourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                           const QList<int>& roles);
    void rebuildKeys();
    void appendKeys(int first, int last);
    bool less(int a, int b) const;
    // Makes `rows` the shown rows (a subsequence of m_order), moving persistent indexes along.
    void showRows(std::vector<int> rows);
    QStringView searchText(int sourceRow) const;
    void appendSearch(int sourceRow);
    bool accepted(int sourceRow) const;
    void applyFilter(const FilterSettings& settings, bool narrower);

    ServerListModel& m_source;
    ServerFilter m_filter;
    ServerFilter::CanJoin m_canJoin;
    SortChoice m_sort;
    QCollator m_collator;
    std::vector<int> m_order;    // every source row, in the list's order
    std::vector<int> m_rows;     // shown row -> source row
    std::vector<int> m_shownRow; // source row -> shown row or -1
    // Every source row's folded search text, one after another in one buffer (a pass over all
    // rows then reads memory in order): row r's is from m_searchStart[r] to m_searchStart[r + 1].
    QString m_search;
    std::vector<qsizetype> m_searchStart{0};
    // The sort column's keys by source row: numbers with the direction applied, or texts.
    std::vector<std::int64_t> m_numbers;
    std::vector<QCollatorSortKey> m_texts;
};

} // namespace vantry::browser
