#include "ListFinder.h"

#include "browser/ServerFilter.h"
#include "browser/ServerListModel.h"
#include "browser/ServerListProxy.h"
#include "browser/ui/FilterBar.h"
#include "browser/ui/ListView.h"

#include <QHeaderView>
#include <QLabel>
#include <QShortcut>
#include <QStatusBar>

namespace vantry {

ListFinder::ListFinder(browser::ServerListModel& servers, browser::ListView& list, QStatusBar& status,
                       QWidget& window)
    : QObject(&list), m_list(list), m_bar(*new browser::FilterBar(list.parentWidget())),
      m_proxy(new browser::ServerListProxy(servers, this))
{
    browser::FilterBar& bar = m_bar;
    list.setModel(m_proxy);
    list.horizontalHeader()->setSortIndicatorShown(false);

    m_counts = new QLabel(&status);
    m_counts->setObjectName(QStringLiteral("SBarShown"));
    m_counts->setToolTip(tr("Показано / в списке"));
    status.addPermanentWidget(m_counts);
    connect(m_proxy, &browser::ServerListProxy::countsChanged, this, &ListFinder::showCounts);
    showCounts();

    connect(&bar, &browser::FilterBar::changed, m_proxy, &browser::ServerListProxy::setFilter);
    auto* find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), &window);
    connect(find, &QShortcut::activated, &bar, &browser::FilterBar::focusText);

    // A model's layout change does not always tell the selection's watchers that a row they
    // selected went away.
    connect(m_proxy, &QAbstractItemModel::layoutAboutToBeChanged, this,
            [this] { m_selectedBefore = m_list.selectedRow(); });
    connect(m_proxy, &QAbstractItemModel::layoutChanged, this, [this] {
        if (m_selectedBefore >= 0 && m_list.selectedRow() < 0)
            emit selectionLost();
        m_selectedBefore = -1;
    });
}

ListFinder::~ListFinder() = default;

QWidget& ListFinder::barWidget()
{
    return m_bar;
}

void ListFinder::columnClicked(int column)
{
    browser::SortChoice sort = m_proxy->sortChoice();
    if (sort.column == column)
        sort.descending = !sort.descending;
    else
        sort = {column, false};
    m_proxy->setSort(sort);
    showSortIndicator();
}

void ListFinder::showSortIndicator()
{
    QHeaderView* header = m_list.horizontalHeader();
    const browser::SortChoice& sort = m_proxy->sortChoice();
    header->setSortIndicatorShown(sort.column >= 0);
    header->setSortIndicator(sort.column, sort.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void ListFinder::load(const IniFile& file)
{
    m_proxy->setSort(browser::loadSort(file, browser::ServerListModel::ColumnCount));
    showSortIndicator();
    m_bar.setSettings(browser::loadFilter(file));
}

void ListFinder::save(IniFile& file) const
{
    browser::saveSort(file, m_proxy->sortChoice());
    browser::saveFilter(file, m_bar.settings());
}

void ListFinder::showCounts()
{
    m_counts->setText(QStringLiteral(" %1 / %2 ").arg(m_proxy->shownCount()).arg(m_proxy->listedCount()));
}

} // namespace vantry
