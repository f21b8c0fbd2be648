#include "DetailsModels.h"

#include <algorithm>

namespace vantry::browser {

namespace {

QString fromUtf8(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

unsigned char folded(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return (b >= 'a' && b <= 'z') ? static_cast<unsigned char>(b - 'a' + 'A') : b;
}

} // namespace

bool nameLess(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return folded(x) < folded(y); });
}

PlayersModel::PlayersModel(QObject* parent) : QAbstractTableModel(parent) {}

void PlayersModel::setPlayers(std::vector<query::PlayerRow> players)
{
    beginResetModel();
    m_players = std::move(players);
    endResetModel();
}

void PlayersModel::clear()
{
    if (m_players.empty())
        return;
    beginResetModel();
    m_players.clear();
    endResetModel();
}

void PlayersModel::sortByName()
{
    emit layoutAboutToBeChanged();
    std::stable_sort(
        m_players.begin(), m_players.end(),
        [](const query::PlayerRow& a, const query::PlayerRow& b) { return nameLess(a.name, b.name); });
    emit layoutChanged();
}

void PlayersModel::sortByKills()
{
    emit layoutAboutToBeChanged();
    std::stable_sort(m_players.begin(), m_players.end(),
                     [](const query::PlayerRow& a, const query::PlayerRow& b) { return a.kills > b.kills; });
    emit layoutChanged();
}

int PlayersModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_players.size());
}

int PlayersModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PlayersModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const query::PlayerRow& player = m_players[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole)
        return index.column() == Name ? fromUtf8(player.name) : QString::number(player.kills);
    if (role == Qt::TextAlignmentRole && index.column() == Kills)
        return int(Qt::AlignCenter);
    return {};
}

QVariant PlayersModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == Name ? tr("Ник") : tr("Убийства");
}

RulesModel::RulesModel(QObject* parent) : QAbstractTableModel(parent) {}

void RulesModel::clear()
{
    if (m_rules.empty())
        return;
    beginResetModel();
    m_rules.clear();
    endResetModel();
}

void RulesModel::append(const std::vector<query::RuleRow>& rules)
{
    if (rules.empty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(rules.size()) - 1);
    m_rules.insert(m_rules.end(), rules.begin(), rules.end());
    endInsertRows();
}

int RulesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rules.size());
}

int RulesModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RulesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const query::RuleRow& rule = m_rules[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole)
        return fromUtf8(index.column() == Name ? rule.name : rule.value);
    if (role == Qt::TextAlignmentRole && index.column() == Value)
        return int(Qt::AlignCenter);
    return {};
}

QVariant RulesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == Name ? tr("Правило") : tr("Значение");
}

} // namespace vantry::browser
