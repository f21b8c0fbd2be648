#include "ListLayout.h"

#include "browser/DetailsModels.h"
#include "browser/ServerListModel.h"
#include "browser/ui/ListView.h"

#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>
#include <iterator>

namespace vantry {

namespace {

// Every column shows in the default window, the round-trip column included: the name takes what
// the others leave, down to this.
constexpr int NameWidth = 70;
constexpr int ColumnWidths[] = {55, NameWidth, 90, 46, 22, 60, 42, 54, 20, 31};
static_assert(std::size(ColumnWidths) == browser::ServerListModel::ColumnCount);

// Tabs as wide as their icon and text and little more: the details panel is narrow, and a desktop
// style's own padding would push "Правила" out of sight.
class CompactTabStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        return metric == PM_TabBarTabHSpace ? std::min(value, 8) : value;
    }
};

// Cells and headers with a pixel of margin instead of a desktop style's three or four: ten columns
// share the default window, and "CSS", "WIN" and "Пинг" must still read whole.
class CompactListStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        if (metric == PM_FocusFrameHMargin)
            return 0;
        if (metric == PM_HeaderMargin)
            return std::min(value, 1);
        return value;
    }
    // Behaviour (single-click activation and the like) stays the application style's.
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        return QApplication::style()->styleHint(hint, option, widget, returnData);
    }
};

// The name takes the room the other columns leave, but never less than its own width: in a
// narrow window the list scrolls sideways rather than hide the names.
class NameColumnFiller : public QObject
{
public:
    explicit NameColumnFiller(browser::ListView& list)
        : QObject(&list), m_list(list), m_viewport(list.viewport())
    {}

protected:
    // The viewport is compared as it was at the start: while the list is torn down its viewport
    // still sends events here, and the list may no longer be asked for anything.
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize && watched == m_viewport) {
            QHeaderView* header = m_list.horizontalHeader();
            int others = 0;
            for (int c = 0; c < browser::ServerListModel::ColumnCount; ++c)
                if (c != browser::ServerListModel::Name)
                    others += header->sectionSize(c);
            header->resizeSection(browser::ServerListModel::Name,
                                  std::max(NameWidth, m_list.viewport()->width() - others));
        }
        return QObject::eventFilter(watched, event);
    }

private:
    browser::ListView& m_list;
    const QObject* m_viewport;
};

} // namespace

void layOutServerList(browser::ListView& list)
{
    QHeaderView* header = list.horizontalHeader();
    header->setMinimumSectionSize(10);
    auto* listStyle = new CompactListStyle(QStyleFactory::create(QApplication::style()->name()));
    listStyle->setParent(&list);
    list.setStyle(listStyle);
    header->setStyle(listStyle);
    for (int c = 0; c < browser::ServerListModel::ColumnCount; ++c)
        list.setColumnWidth(c, ColumnWidths[c]);
    list.viewport()->installEventFilter(new NameColumnFiller(list));
    header->setSectionsClickable(true);
}

void layOutDetails(QTabWidget& tabs, browser::ListView& players, browser::ListView& rules)
{
    tabs.setFixedWidth(168);
    auto* tabStyle = new CompactTabStyle(QStyleFactory::create(QApplication::style()->name()));
    tabStyle->setParent(tabs.tabBar());
    tabs.tabBar()->setStyle(tabStyle);

    QHeaderView* playersHeader = players.horizontalHeader();
    playersHeader->setSectionsClickable(true);
    playersHeader->setSectionResizeMode(browser::PlayersModel::Name, QHeaderView::Stretch);
    // "Убийства" is shown whole: the kills column is as wide as its header, the names take the rest.
    players.setColumnWidth(browser::PlayersModel::Kills,
                           std::max(40, playersHeader->sectionSizeHint(browser::PlayersModel::Kills)));
    rules.setColumnWidth(browser::RulesModel::Name, 98);
    rules.horizontalHeader()->setSectionResizeMode(browser::RulesModel::Value, QHeaderView::Stretch);
}

} // namespace vantry
