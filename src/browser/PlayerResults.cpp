#include "PlayerResults.h"

#include <cmath>

namespace vantry::browser {

PlayerResults::PlayerResults(QObject* parent) : QAbstractTableModel(parent) {}

void PlayerResults::setServer(const query::Endpoint& server, const QVector<PlayerHit>& hits)
{
    int first = -1;
    int last = -1;
    for (int i = 0; i < count(); ++i) {
        if (m_hits[i].server == server) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    if (first >= 0) {
        beginRemoveRows({}, first, last);
        m_hits.remove(first, last - first + 1);
        endRemoveRows();
    }
    if (hits.isEmpty())
        return;
    const int at = first >= 0 ? first : count();
    beginInsertRows({}, at, at + static_cast<int>(hits.size()) - 1);
    for (int i = 0; i < hits.size(); ++i)
        m_hits.insert(at + i, hits[i]);
    endInsertRows();
}

void PlayerResults::clear()
{
    if (m_hits.isEmpty())
        return;
    beginResetModel();
    m_hits.clear();
    endResetModel();
}

QString PlayerResults::timeText(float seconds)
{
    // A day is more than any server keeps a player; beyond it the number is noise.
    if (!std::isfinite(seconds) || seconds < 0 || seconds > 86400.0f * 30)
        return {};
    const auto total = static_cast<long>(seconds);
    const long h = total / 3600;
    const long m = total / 60 % 60;
    const long s = total % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QChar(u'0')).arg(s, 2, 10, QChar(u'0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QChar(u'0'));
}

int PlayerResults::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

int PlayerResults::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PlayerResults::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    const PlayerHit& h = m_hits[index.row()];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case Player:
            return h.player;
        case Score:
            return QString::number(h.score);
        case Time:
            return timeText(h.seconds);
        case Server:
            return h.serverName;
        case Address:
            return QString::fromStdString(query::endpointText(h.server));
        default:
            return {};
        }
    }
    if (role == Qt::TextAlignmentRole && (index.column() == Score || index.column() == Time))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant PlayerResults::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Player:
        return tr("Игрок");
    case Score:
        return tr("Счёт");
    case Time:
        return tr("Время");
    case Server:
        return tr("Сервер");
    case Address:
        return tr("Адрес");
    default:
        return {};
    }
}

} // namespace vantry::browser
