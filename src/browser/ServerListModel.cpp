#include "ServerListModel.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace vantry::browser {

namespace {

QString fromUtf8(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString addressText(const query::Endpoint& e)
{
    return QString::fromStdString(query::addressText(e.address));
}

// Unknown round trips sort after every known one.
int pingOrder(const query::ServerRow& server)
{
    return server.pingMs ? *server.pingMs : std::numeric_limits<int>::max();
}

} // namespace

ServerListModel::ServerListModel(QObject* parent) : QAbstractTableModel(parent) {}

void ServerListModel::setIconProvider(IconProvider provider)
{
    m_icons = std::move(provider);
    showAdded();
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, 0), index(count() - 1, ColumnCount - 1), {Qt::DecorationRole});
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

bool ServerListModel::contains(const query::ServerRow& row) const
{
    const auto it = m_byAddress.constFind(row.from.address);
    if (it == m_byAddress.cend())
        return false;
    if (row.identity == query::Identity::AddressOnly)
        return true;
    return it->contains(row.from.port);
}

int ServerListModel::add(query::ServerRow server, Shown shown)
{
    if (contains(server))
        return -1;
    Row row;
    m_byAddress[server.from.address].append(server.from.port);
    row.server = std::move(server);

    const int at = count();
    m_rows.append(std::move(row));
    if (shown == Shown::Now) {
        showAdded();
    } else if (!m_showPosted) {
        m_showPosted = true;
        QMetaObject::invokeMethod(this, &ServerListModel::showAdded, Qt::QueuedConnection);
    }
    return at;
}

void ServerListModel::showAdded()
{
    m_showPosted = false;
    if (m_shown == count())
        return;
    beginInsertRows({}, m_shown, count() - 1);
    m_shown = count();
    endInsertRows();
}

void ServerListModel::clear()
{
    if (m_rows.isEmpty())
        return;
    beginResetModel();
    m_rows.clear();
    m_byAddress.clear();
    m_shown = 0;
    endResetModel();
}

QString ServerListModel::address(int row) const
{
    return addressText(m_rows.at(row).server.from);
}

QString ServerListModel::port(int row) const
{
    return QString::number(m_rows.at(row).server.from.port);
}

QString ServerListModel::kind(int row) const
{
    return QString::fromLatin1(query::gameText(m_rows.at(row).server.kind));
}

QString ServerListModel::players(int row) const
{
    return fromUtf8(query::playersText(m_rows.at(row).server));
}

int ServerListModel::find(const query::Endpoint& server) const
{
    if (!m_byAddress.contains(server.address))
        return -1;
    for (int i = 0; i < count(); ++i)
        if (m_rows[i].server.from == server)
            return i;
    return -1;
}

void ServerListModel::lowerPing(const query::Endpoint& server, int pingMs)
{
    const int row = find(server);
    if (row < 0)
        return;
    std::optional<int>& kept = m_rows[row].server.pingMs;
    if (kept && *kept <= pingMs)
        return;
    kept = pingMs;
    if (row < m_shown)
        emit dataChanged(index(row, Ping), index(row, Ping), {Qt::DisplayRole});
}

void ServerListModel::sortByPing()
{
    showAdded();
    std::vector<int> order(m_rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        return pingOrder(m_rows[a].server) < pingOrder(m_rows[b].server);
    });
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QVector<Row> sorted;
    sorted.reserve(m_rows.size());
    std::vector<int> newRow(m_rows.size());
    for (int i = 0; i < static_cast<int>(order.size()); ++i) {
        sorted.append(std::move(m_rows[order[i]]));
        newRow[order[i]] = i;
    }
    m_rows = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before)
        after.append(index(newRow[i.row()], i.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int ServerListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

int ServerListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

int ServerListModel::imageIndex(const Row& row, int column) const
{
    switch (column) {
    case Game:
        return static_cast<int>(row.server.kindImage);
    case Os:
        return static_cast<int>(row.server.windows ? query::Image::Windows : query::Image::Linux);
    case Status:
        return row.server.status ? static_cast<int>(*row.server.status) : -1;
    default:
        return -1;
    }
}

QVariant ServerListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown || index.column() >= ColumnCount)
        return {};
    const Row& row = m_rows[index.row()];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case Game:
            return QString::fromLatin1(query::gameText(row.server.kind));
        case Name:
            return fromUtf8(row.server.name);
        case Address:
            return addressText(row.server.from);
        case Port:
            return QString::number(row.server.from.port);
        case Protocol:
            return row.server.oldTexts ? fromUtf8(row.server.oldTexts->protocol)
                                       : QString::number(row.server.protocol);
        case Map:
            return fromUtf8(row.server.map);
        case Players:
            return fromUtf8(query::playersText(row.server));
        case Os:
            return row.server.windows ? QStringLiteral("WIN") : QStringLiteral("LIN");
        case Ping:
            return row.server.pingMs ? QString::number(*row.server.pingMs) : QString();
        default:
            return QString();
        }
    case RawValueRole:
        switch (column) {
        case Port:
            return int(row.server.from.port);
        // The decoder's numbers, also for an old reply's texts: nothing shown is read back.
        case Protocol:
            return row.server.protocol;
        case Players:
            return row.server.playerCount.value_or(0);
        case Status:
            return imageIndex(row, column);
        case Ping:
            return pingOrder(row.server);
        default:
            return data(index, Qt::DisplayRole);
        }
    case ImageIndexRole:
        return imageIndex(row, column);
    case Qt::DecorationRole: {
        const int image = imageIndex(row, column);
        if (image < 0 || !m_icons)
            return {};
        return m_icons(image);
    }
    case Qt::ToolTipRole:
        if (column == Game)
            return engineTip(row.server);
        return {};
    case Qt::TextAlignmentRole:
        return column == Game ? QVariant(Qt::AlignLeft | Qt::AlignVCenter) : QVariant(Qt::AlignCenter);
    default:
        return {};
    }
}

QString ServerListModel::engineTip(const query::ServerRow& row)
{
    // Two engines answer with the same games; only the protocol tells which client can join.
    if (query::needsXashClient(row.kind, row.protocol))
        return tr("Xash3D FWGS (протокол 49): подключается клиентом Xash3D FWGS");
    if (query::isGoldSrcGame(row.kind))
        return tr("GoldSrc: подключается клиентом игры (hl_linux)");
    if (row.kind == query::Game::Unknown)
        return {};
    return tr("Source: подключается клиентом игры");
}

QVariant ServerListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole) {
        switch (section) {
        case Game:
            return tr("Игра");
        case Name:
            return tr("Имя");
        case Address:
            return tr("Адрес");
        case Port:
            return tr("Порт");
        case Protocol:
            return QStringLiteral("PT");
        case Map:
            return tr("Карта");
        case Os:
            return tr("ОС");
        case Status:
            return QStringLiteral("A");
        case Ping:
            return tr("Пинг");
        default:
            return QString();
        }
    }
    if (role == Qt::DecorationRole && m_icons) {
        switch (section) {
        case Name:
            return m_icons(static_cast<int>(query::Image::NameHeader));
        case Address:
            return m_icons(static_cast<int>(query::Image::AddressHeader));
        case Map:
            return m_icons(static_cast<int>(query::Image::MapHeader));
        case Players:
            return m_icons(static_cast<int>(query::Image::PlayersHeader));
        case Os:
            return m_icons(static_cast<int>(query::Image::OsHeader));
        default:
            return {};
        }
    }
    return {};
}

} // namespace vantry::browser
