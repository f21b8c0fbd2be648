#include "ServerListProxy.h"

#include "ServerListModel.h"

#include <algorithm>
#include <array>
#include <limits>
#include <numeric>

namespace vantry::browser {

namespace {

constexpr std::int64_t Unknown = std::numeric_limits<std::int64_t>::max();

QString fromUtf8(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

bool isTextColumn(int column)
{
    return column == ServerListModel::Name || column == ServerListModel::Map;
}

// Whether every row the new filter lets through passed the old one too, so that only the rows
// shown need a look.
bool narrows(const FilterSettings& was, const FilterSettings& now)
{
    return now.text.toCaseFolded().contains(was.text.toCaseFolded()) &&
           now.map.toCaseFolded().contains(was.map.toCaseFolded()) &&
           now.name.toCaseFolded().contains(was.name.toCaseFolded()) && (now.notFull || !was.notFull) &&
           (now.notEmpty || !was.notEmpty) && (now.noPassword || !was.noPassword) &&
           (!was.game || was.game == now.game) &&
           (was.maxPingMs == 0 || (now.maxPingMs > 0 && now.maxPingMs <= was.maxPingMs)) &&
           (now.joinable || !was.joinable);
}

// `added` (in order) merged into `rows` (in order): a binary search each, so that a burst of a
// few rows costs few comparisons however long the list, then one copy.
template <class Less>
std::vector<int> merged(const std::vector<int>& rows, const std::vector<int>& added, Less less)
{
    std::vector<int> out;
    out.reserve(rows.size() + added.size());
    auto from = rows.begin();
    for (int r : added) {
        const auto at = std::upper_bound(from, rows.end(), r, less);
        out.insert(out.end(), from, at);
        out.push_back(r);
        from = at;
    }
    out.insert(out.end(), from, rows.end());
    return out;
}

} // namespace

ServerListProxy::ServerListProxy(ServerListModel& source, QObject* parent)
    : QAbstractProxyModel(parent), m_source(source)
{
    // The C locale's collation is a plain comparison of code points: such a system gets the
    // common rules of the Latin and Cyrillic alphabets instead.
    if (m_collator.locale().language() == QLocale::C)
        m_collator.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    m_collator.setNumericMode(true);
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    QAbstractProxyModel::setSourceModel(&source);
    connect(&source, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { sourceRowsInserted(first, last); });
    // The list is only ever appended to, emptied, or (by older callers) reordered as a whole.
    const auto begin = [this] { beginResetModel(); };
    const auto end = [this] { sourceReset(); };
    connect(&source, &QAbstractItemModel::modelAboutToBeReset, this, begin);
    connect(&source, &QAbstractItemModel::modelReset, this, end);
    connect(&source, &QAbstractItemModel::layoutAboutToBeChanged, this, begin);
    connect(&source, &QAbstractItemModel::layoutChanged, this, end);
    connect(&source, &QAbstractItemModel::rowsAboutToBeRemoved, this, begin);
    connect(&source, &QAbstractItemModel::rowsRemoved, this, end);
    connect(&source, &QAbstractItemModel::dataChanged, this, &ServerListProxy::sourceDataChanged);
    connect(&source, &QAbstractItemModel::headerDataChanged, this, &QAbstractItemModel::headerDataChanged);
    beginResetModel();
    sourceReset();
}

int ServerListProxy::sourceRow(int row) const
{
    return row >= 0 && row < shownCount() ? m_rows[static_cast<std::size_t>(row)] : -1;
}

int ServerListProxy::shownRow(int sourceRow) const
{
    return sourceRow >= 0 && sourceRow < listedCount() ? m_shownRow[static_cast<std::size_t>(sourceRow)] : -1;
}

void ServerListProxy::setFilter(const FilterSettings& settings)
{
    if (settings == m_filter.settings())
        return;
    applyFilter(settings, narrows(m_filter.settings(), settings));
}

void ServerListProxy::setCanJoin(ServerFilter::CanJoin canJoin)
{
    m_canJoin = std::move(canJoin);
    clientsChanged();
}

void ServerListProxy::clientsChanged()
{
    if (m_filter.settings().joinable)
        applyFilter(m_filter.settings(), false);
    else
        m_filter.setCanJoin(m_canJoin);
}

void ServerListProxy::applyFilter(const FilterSettings& settings, bool narrower)
{
    m_filter = ServerFilter(settings);
    m_filter.setCanJoin(m_canJoin);
    // Rows in the source's order, which is the order of their texts in memory; then the order shown.
    std::vector<char> pass(m_order.size());
    for (int r = 0; r < listedCount(); ++r)
        pass[static_cast<std::size_t>(r)] =
            (!narrower || m_shownRow[static_cast<std::size_t>(r)] >= 0) && accepted(r);
    std::vector<int> rows;
    rows.reserve(narrower ? m_rows.size() : m_order.size());
    for (int r : narrower ? m_rows : m_order)
        if (pass[static_cast<std::size_t>(r)])
            rows.push_back(r);
    showRows(std::move(rows));
}

QStringView ServerListProxy::searchText(int sourceRow) const
{
    const auto r = static_cast<std::size_t>(sourceRow);
    return QStringView(m_search).sliced(m_searchStart[r], m_searchStart[r + 1] - m_searchStart[r]);
}

void ServerListProxy::appendSearch(int sourceRow)
{
    m_search += ServerFilter::searchText(m_source.server(sourceRow));
    m_searchStart.push_back(m_search.size());
}

bool ServerListProxy::accepted(int sourceRow) const
{
    if (!m_filter.textMatches(searchText(sourceRow)))
        return false;
    return !m_filter.looksBeyondText() || m_filter.matches(m_source.server(sourceRow), searchText(sourceRow));
}

void ServerListProxy::setSort(const SortChoice& sort)
{
    const SortChoice wanted =
        sort.column >= 0 && sort.column < ServerListModel::ColumnCount ? sort : SortChoice{};
    if (wanted == m_sort)
        return;
    m_sort = wanted;
    rebuildKeys();
    std::iota(m_order.begin(), m_order.end(), 0);
    if (m_sort.column >= 0)
        std::sort(m_order.begin(), m_order.end(), [this](int a, int b) { return less(a, b); });
    std::vector<int> rows;
    rows.reserve(m_rows.size());
    for (int r : m_order)
        if (m_shownRow[static_cast<std::size_t>(r)] >= 0)
            rows.push_back(r);
    showRows(std::move(rows));
}

void ServerListProxy::sort(int column, Qt::SortOrder order)
{
    setSort({column, order == Qt::DescendingOrder});
}

bool ServerListProxy::less(int a, int b) const
{
    const auto ia = static_cast<std::size_t>(a);
    const auto ib = static_cast<std::size_t>(b);
    if (!m_texts.empty()) {
        const int c = m_texts[ia].compare(m_texts[ib]);
        if (c != 0)
            return m_sort.descending ? c > 0 : c < 0;
    } else if (!m_numbers.empty() && m_numbers[ia] != m_numbers[ib]) {
        return m_numbers[ia] < m_numbers[ib];
    }
    return a < b; // equal rows keep their order of arrival
}

void ServerListProxy::rebuildKeys()
{
    m_numbers.clear();
    m_texts.clear();
    if (!m_order.empty())
        appendKeys(0, listedCount() - 1);
}

void ServerListProxy::appendKeys(int first, int last)
{
    const int column = m_sort.column;
    if (column < 0)
        return;
    if (isTextColumn(column)) {
        m_texts.reserve(static_cast<std::size_t>(last) + 1);
        for (int r = first; r <= last; ++r) {
            const query::ServerRow& s = m_source.server(r);
            m_texts.push_back(m_collator.sortKey(fromUtf8(column == ServerListModel::Name ? s.name : s.map)));
        }
        return;
    }
    // The game column's few texts ranked once by the collation.
    std::array<std::int64_t, 7> gameRank{};
    if (column == ServerListModel::Game) {
        std::array<int, 7> games{};
        std::iota(games.begin(), games.end(), 0);
        std::sort(games.begin(), games.end(), [this](int a, int b) {
            return m_collator.compare(QLatin1String(query::gameText(static_cast<query::Game>(a))),
                                      QLatin1String(query::gameText(static_cast<query::Game>(b)))) < 0;
        });
        for (std::size_t i = 0; i < games.size(); ++i)
            gameRank[static_cast<std::size_t>(games[i])] = static_cast<std::int64_t>(i);
    }
    m_numbers.reserve(static_cast<std::size_t>(last) + 1);
    for (int r = first; r <= last; ++r) {
        const query::ServerRow& s = m_source.server(r);
        std::int64_t key = 0;
        switch (column) {
        case ServerListModel::Game:
            key = gameRank[static_cast<std::size_t>(s.kind)];
            break;
        case ServerListModel::Address:
            key = s.from.address;
            break;
        case ServerListModel::Port:
            key = s.from.port;
            break;
        case ServerListModel::Os:
            key = s.windows ? 1 : 0; // "LIN" before "WIN"
            break;
        case ServerListModel::Ping:
            key = s.pingMs ? *s.pingMs : Unknown;
            break;
        default: // protocol, players and status as the list's raw values
            key = m_source.data(m_source.index(r, column), ServerListModel::RawValueRole).toLongLong();
            break;
        }
        m_numbers.push_back(key == Unknown || !m_sort.descending ? key : -key);
    }
}

void ServerListProxy::sourceRowsInserted(int first, int last)
{
    if (first != listedCount() || last < first) {
        beginResetModel();
        sourceReset();
        return;
    }
    for (int r = first; r <= last; ++r) {
        appendSearch(r);
        m_shownRow.push_back(-1);
    }
    appendKeys(first, last);
    std::vector<int> added(static_cast<std::size_t>(last - first + 1));
    std::iota(added.begin(), added.end(), first);
    const bool sorted = m_sort.column >= 0;
    const auto byOrder = [this](int a, int b) { return less(a, b); };
    if (sorted)
        std::sort(added.begin(), added.end(), byOrder);
    m_order = merged(m_order, added, byOrder);

    std::vector<int> accepted;
    for (int r : added)
        if (this->accepted(r))
            accepted.push_back(r);
    if (accepted.empty()) {
        emit countsChanged();
        return;
    }
    const auto at = std::upper_bound(m_rows.begin(), m_rows.end(), accepted.front(), byOrder);
    const int position = static_cast<int>(at - m_rows.begin());
    // One insertion when they land together (always so in the order of arrival); a scattered
    // burst is one layout change, not one insertion each.
    const bool together =
        !sorted || accepted.size() == 1 || (at == m_rows.end() || !less(*at, accepted.back()));
    if (together) {
        beginInsertRows({}, position, position + static_cast<int>(accepted.size()) - 1);
        m_rows.insert(at, accepted.begin(), accepted.end());
        for (std::size_t i = static_cast<std::size_t>(position); i < m_rows.size(); ++i)
            m_shownRow[static_cast<std::size_t>(m_rows[i])] = static_cast<int>(i);
        endInsertRows();
    } else {
        showRows(merged(m_rows, accepted, byOrder));
    }
    emit countsChanged();
}

void ServerListProxy::showRows(std::vector<int> rows)
{
    const bool sameCount = rows.size() == m_rows.size();
    emit layoutAboutToBeChanged({}, sameCount ? QAbstractItemModel::VerticalSortHint
                                              : QAbstractItemModel::NoLayoutChangeHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> sources;
    sources.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& i : before)
        sources.push_back(sourceRow(i.row()));
    for (int r : m_rows)
        m_shownRow[static_cast<std::size_t>(r)] = -1;
    m_rows = std::move(rows);
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        m_shownRow[static_cast<std::size_t>(m_rows[i])] = static_cast<int>(i);
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        const int row = shownRow(sources[static_cast<std::size_t>(i)]);
        after.append(row < 0 ? QModelIndex() : index(row, before[i].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, sameCount ? QAbstractItemModel::VerticalSortHint
                                     : QAbstractItemModel::NoLayoutChangeHint);
    emit countsChanged();
}

// Ends the reset begun when the source announced it: everything is made again from the source.
void ServerListProxy::sourceReset()
{
    const int n = m_source.rowCount();
    m_search.clear();
    m_searchStart.assign(1, 0);
    for (int r = 0; r < n; ++r)
        appendSearch(r);
    m_order.resize(static_cast<std::size_t>(n));
    std::iota(m_order.begin(), m_order.end(), 0);
    m_shownRow.assign(static_cast<std::size_t>(n), -1);
    rebuildKeys();
    if (m_sort.column >= 0)
        std::sort(m_order.begin(), m_order.end(), [this](int a, int b) { return less(a, b); });
    m_rows.clear();
    for (int r : m_order)
        if (accepted(r)) {
            m_shownRow[static_cast<std::size_t>(r)] = static_cast<int>(m_rows.size());
            m_rows.push_back(r);
        }
    endResetModel();
    emit countsChanged();
}

void ServerListProxy::sourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                        const QList<int>& roles)
{
    if (m_rows.empty())
        return;
    // Only whole-list changes (icons) happen; a row's numbers never change after it is added.
    emit dataChanged(index(0, topLeft.column()), index(shownCount() - 1, bottomRight.column()), roles);
}

QModelIndex ServerListProxy::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || row < 0 || row >= shownCount() || column < 0 || column >= columnCount())
        return {};
    return createIndex(row, column);
}

QModelIndex ServerListProxy::parent(const QModelIndex&) const
{
    return {};
}

int ServerListProxy::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : shownCount();
}

int ServerListProxy::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ServerListModel::ColumnCount;
}

bool ServerListProxy::hasChildren(const QModelIndex& parent) const
{
    return !parent.isValid() && shownCount() > 0;
}

QModelIndex ServerListProxy::mapToSource(const QModelIndex& proxyIndex) const
{
    if (!proxyIndex.isValid() || proxyIndex.model() != this)
        return {};
    const int row = sourceRow(proxyIndex.row());
    return row < 0 ? QModelIndex() : m_source.index(row, proxyIndex.column());
}

QModelIndex ServerListProxy::mapFromSource(const QModelIndex& sourceIndex) const
{
    if (!sourceIndex.isValid() || sourceIndex.model() != &m_source)
        return {};
    const int row = shownRow(sourceIndex.row());
    return row < 0 ? QModelIndex() : index(row, sourceIndex.column());
}

QVariant ServerListProxy::headerData(int section, Qt::Orientation orientation, int role) const
{
    // The columns' headers stay when the filter hides every row.
    if (orientation == Qt::Vertical)
        return role == Qt::DisplayRole ? QVariant(section + 1) : QVariant();
    return m_source.headerData(section, orientation, role);
}

} // namespace vantry::browser
