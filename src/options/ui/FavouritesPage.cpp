#include "FavouritesPage.h"

#include "base/IntervalTimer.h"
#include "options/FavouriteNames.h"
#include "options/Rules.h"
#include "options/SettingsHost.h"
#include "options/ui/ArrowSpinBox.h"
#include "options/ui/IPv4Edit.h"
#include "options/ui/OptionsWidgets.h"
#include "options/ui/PortEdit.h"
#include "options/ui/WatchSection.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>

namespace vantry::options {

using widgets::named;

FavouritesPage::FavouritesPage(SettingsHost& host, QWidget* parent) : QWidget(parent), m_host(host)
{
    LVFav = named(widgets::reportList({tr("IP - Адрес"), tr("Порт")}, this), "LVFav");
    LVFav->setColumnWidth(0, 103);
    LVFav->setColumnWidth(1, portColumnLimits().first + 5);
    LVFav->headerItem()->setTextAlignment(1, Qt::AlignCenter);
    LVFav->header()->setSectionsClickable(true);
    LVFav->header()->setSortIndicatorShown(false);
    CBAutoUpdate = named(widgets::boldCheckBox(tr("Автосканирование"), this), "CBAutoUpdate");
    SEUpdInterval = named(new ArrowSpinBox(5, 60, 10, this), "SEUpdInterval");
    GHIP = named(new IPv4Edit(this), "GHIP");
    MEPort = named(new PortEdit(this), "MEPort");
    MEPort->setText(QStringLiteral("27015"));
    SpeedButton5 = named(widgets::button(tr("Удалить"), this), "SpeedButton5");
    SpeedButton4 = named(widgets::button(tr("Добавить"), this), "SpeedButton4");

    auto* side = new QGridLayout;
    side->addWidget(CBAutoUpdate, 0, 0, 1, 2);
    side->addWidget(new QLabel(tr("Интервал (сек):"), this), 1, 0);
    side->addWidget(SEUpdInterval, 1, 1);
    side->addWidget(new QLabel(tr("IP - Адрес"), this), 2, 0, 1, 2);
    side->addWidget(GHIP, 3, 0, 1, 2);
    side->addWidget(new QLabel(tr("Порт"), this), 4, 0);
    side->addWidget(MEPort, 4, 1);
    side->addWidget(SpeedButton5, 5, 0);
    side->addWidget(SpeedButton4, 5, 1);
    m_watch = new WatchSection(this);
    side->addWidget(m_watch, 6, 0, 1, 2);
    side->setRowStretch(7, 1);
    auto* page = new QHBoxLayout(this);
    page->addWidget(LVFav, 1);
    page->addLayout(side);

    // Any change of the rows (added, deleted, sorted, loaded) makes the targets be read again.
    QAbstractItemModel* rows = LVFav->model();
    const auto forget = [this] { m_targets.reset(); };
    connect(rows, &QAbstractItemModel::rowsInserted, this, forget);
    connect(rows, &QAbstractItemModel::rowsRemoved, this, forget);
    connect(rows, &QAbstractItemModel::rowsMoved, this, forget);
    connect(rows, &QAbstractItemModel::dataChanged, this, forget);
    connect(rows, &QAbstractItemModel::layoutChanged, this, forget);
    connect(rows, &QAbstractItemModel::modelReset, this, forget);
    connect(SpeedButton4, &QPushButton::clicked, this, [this] { SpeedButton4Click(); });
    connect(SpeedButton5, &QPushButton::clicked, this, [this] { SpeedButton5Click(); });
    connect(LVFav->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { LVFavColumnClick(column); });
    connect(CBAutoUpdate, &QCheckBox::toggled, this, [this] { CBAutoUpdateClick(); });
    connect(SEUpdInterval, &QSpinBox::valueChanged, this, [this] { SEUpdIntervalChange(); });

    // The address column keeps to 70..110 pixels, the port column to 40..50.
    connect(LVFav->header(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        const int low = column == 0 ? 70 : portColumnLimits().first;
        const int high = column == 0 ? 110 : portColumnLimits().second;
        if (width < low || width > high)
            LVFav->header()->resizeSection(column, std::clamp(width, low, high));
    });
}

// The list's rows are removed after this object is gone (by QWidget's own destructor): they must
// not reach the cache any more.
FavouritesPage::~FavouritesPage()
{
    LVFav->model()->disconnect(this);
}

std::pair<int, int> FavouritesPage::portColumnLimits() const
{
    // 40..50 pixels at the design font; raised so that five digits always show.
    const int needed = fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 14;
    return {std::max(40, needed), std::max(50, needed + 10)};
}

void FavouritesPage::setNames(const FavouriteNames* names)
{
    if (m_names)
        disconnect(m_names, nullptr, this, nullptr);
    m_names = names;
    if (m_names)
        connect(m_names, &FavouriteNames::changed, this, [this] {
            for (int row = 0; row < LVFav->topLevelItemCount(); ++row)
                showAnswer(LVFav->topLevelItem(row));
        });
    for (int row = 0; row < LVFav->topLevelItemCount(); ++row)
        showAnswer(LVFav->topLevelItem(row));
}

void FavouritesPage::showAnswer(QTreeWidgetItem* item) const
{
    const std::optional<FavouriteAnswer> answer =
        m_names ? m_names->answer({item->text(0), item->text(1)}) : std::nullopt;
    const QString tip =
        answer ? tr("%1\nКарта: %2\nИгроки: %3").arg(answer->name, answer->map, answer->players) : QString();
    for (int column = 0; column < LVFav->columnCount(); ++column)
        item->setToolTip(column, tip);
}

void FavouritesPage::load(const StoredSettings& s)
{
    LVFav->setColumnWidth(0, s.favWidth);
    CBAutoUpdate->setChecked(s.favAutoScan); // runs CBAutoUpdateClick when it changes
    SEUpdInterval->setValue(s.updInterval);  // runs SEUpdIntervalChange when it changes
    if (CBAutoUpdate->isChecked()) {
        // The first favourites pass right after start-up; it then sets the user's interval.
        m_host.favouritesTimer().setInterval(200);
        m_host.favouritesTimer().setEnabled(true);
    }
    LVFav->clear();
    for (const Favourite& favourite : s.favourites)
        appendFavourite(favourite);
    m_watch->load(s.watchedPlayers);
}

void FavouritesPage::store(StoredSettings& s) const
{
    s.favWidth = LVFav->columnWidth(0);
    s.favAutoScan = CBAutoUpdate->isChecked();
    s.updInterval = SEUpdInterval->value();
    s.favourites = favourites();
    s.watchedPlayers = m_watch->names();
}

QStringList FavouritesPage::watchedPlayers() const
{
    return m_watch->names();
}

void FavouritesPage::appendFavourite(const Favourite& favourite)
{
    auto* item = new QTreeWidgetItem(LVFav);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setText(0, favourite.address);
    item->setText(1, favourite.port);
    item->setTextAlignment(1, Qt::AlignCenter);
    showAnswer(item);
}

QVector<Favourite> FavouritesPage::favourites() const
{
    QVector<Favourite> list;
    for (int row = 0; row < LVFav->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = LVFav->topLevelItem(row);
        list.append({item->text(0), item->text(1)});
    }
    return list;
}

const QVector<FavouriteTarget>& FavouritesPage::favouriteTargets() const
{
    if (!m_targets) {
        m_targets.emplace();
        for (const Favourite& favourite : favourites())
            m_targets->append(favouriteTarget(favourite));
    }
    return *m_targets;
}

int FavouritesPage::favouriteCount() const
{
    return LVFav->topLevelItemCount();
}

bool FavouritesPage::autoScan() const
{
    return CBAutoUpdate->isChecked();
}

int FavouritesPage::updateIntervalSec() const
{
    return SEUpdInterval->value();
}

bool FavouritesPage::addFavourite(const Favourite& favourite)
{
    if (containsFavourite(favourites(), favourite))
        return false;
    appendFavourite(favourite);
    return true;
}

void FavouritesPage::SpeedButton4Click()
{
    if (const QString problem = newFavouriteError(GHIP->value(), MEPort->text(), favourites());
        !problem.isEmpty()) {
        widgets::error(problem);
        return;
    }
    appendFavourite({GHIP->text(), MEPort->text()});
}

void FavouritesPage::SpeedButton5Click()
{
    const int row = widgets::selectedRow(LVFav);
    if (row < 0)
        return;
    delete LVFav->takeTopLevelItem(row);
    LVFav->clearSelection();
}

void FavouritesPage::LVFavColumnClick(int column)
{
    QTreeWidgetItem* selected = LVFav->selectedItems().value(0);
    QList<QTreeWidgetItem*> items;
    while (LVFav->topLevelItemCount() > 0)
        items.append(LVFav->takeTopLevelItem(0));
    std::stable_sort(items.begin(), items.end(),
                     [column](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
                         return column == 0 ? compareAddressText(a->text(0), b->text(0)) < 0
                                            : comparePortText(a->text(1), b->text(1)) < 0;
                     });
    LVFav->addTopLevelItems(items);
    if (selected) {
        LVFav->setCurrentItem(selected);
        selected->setSelected(true);
    }
}

void FavouritesPage::CBAutoUpdateClick()
{
    if (CBAutoUpdate->isChecked()) {
        m_host.favouritesTimer().setEnabled(true);
        m_host.setStatusText(2, QStringLiteral(" Autoscan enabled"));
    } else {
        m_host.favouritesTimer().setEnabled(false);
        m_host.setStatusText(0, QString());
        m_host.setStatusText(2, QStringLiteral(" Autoscan disabled"));
    }
}

void FavouritesPage::SEUpdIntervalChange()
{
    if (SEUpdInterval->value() >= 5)
        m_host.favouritesTimer().setInterval(SEUpdInterval->value() * 1000);
}

} // namespace vantry::options
