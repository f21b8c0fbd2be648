#pragma once

#include "query/Records.h"

#include <QAbstractTableModel>
#include <QVector>

namespace vantry::browser {

// Players of the selected server: "Ник" and "Убийства".
class PlayersModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        Name,
        Kills,
        ColumnCount
    };

    explicit PlayersModel(QObject* parent = nullptr);

    // Replaces the rows, keeping the order given (the decoder has sorted them by kills).
    void setPlayers(std::vector<query::PlayerRow> players);
    void clear();

    // One-off sorts, in place; rows set later are not kept sorted.
    void sortByName();  // ascending, a-z taken as A-Z, byte by byte, a prefix first
    void sortByKills(); // highest first

    const std::vector<query::PlayerRow>& players() const { return m_players; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<query::PlayerRow> m_players;
};

// Rules of the selected server: "Правило" and "Значение", in reply order.
class RulesModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        Name,
        Value,
        ColumnCount
    };

    explicit RulesModel(QObject* parent = nullptr);

    void clear();
    void append(const std::vector<query::RuleRow>& rules);

    const std::vector<query::RuleRow>& rules() const { return m_rules; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<query::RuleRow> m_rules;
};

// Byte order with a-z folded to A-Z; a name that is the beginning of another sorts first.
bool nameLess(const std::string& a, const std::string& b);

} // namespace vantry::browser
