#pragma once

#include "options/LiveSettings.h"
#include "options/StoredSettings.h"

#include <QWidget>

#include <optional>
#include <utility>

class QCheckBox;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace vantry::options {

class FavouriteNames;
class IPv4Edit;
class PortEdit;
class SettingsHost;
class WatchSection;

// The options dialog's favourites page: the favourite servers and the switch and interval of
// their re-scan, which drive the main window's favourites timer.
class FavouritesPage : public QWidget
{
    Q_OBJECT
public:
    FavouritesPage(SettingsHost& host, QWidget* parent);
    ~FavouritesPage() override;

    // The last answers shown in each row's tool tip; kept up to date as answers come.
    void setNames(const FavouriteNames* names);

    void load(const StoredSettings& s);
    void store(StoredSettings& s) const;

    QVector<Favourite> favourites() const;
    // Read again only after the list changed.
    const QVector<FavouriteTarget>& favouriteTargets() const;
    int favouriteCount() const;
    bool autoScan() const;
    int updateIntervalSec() const;
    bool addFavourite(const Favourite& favourite);
    QStringList watchedPlayers() const;

    void SpeedButton4Click();
    void SpeedButton5Click();
    void LVFavColumnClick(int column);
    void CBAutoUpdateClick();
    void SEUpdIntervalChange();

private:
    std::pair<int, int> portColumnLimits() const;
    void appendFavourite(const Favourite& favourite);
    void showAnswer(QTreeWidgetItem* item) const;

    SettingsHost& m_host;
    const FavouriteNames* m_names = nullptr;
    QTreeWidget* LVFav = nullptr;
    QCheckBox* CBAutoUpdate = nullptr;
    QSpinBox* SEUpdInterval = nullptr;
    IPv4Edit* GHIP = nullptr;
    PortEdit* MEPort = nullptr;
    QPushButton* SpeedButton5 = nullptr;
    QPushButton* SpeedButton4 = nullptr;
    WatchSection* m_watch = nullptr;
    mutable std::optional<QVector<FavouriteTarget>> m_targets; // none: the list changed since
};

} // namespace vantry::options
