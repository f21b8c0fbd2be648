#include "ListLayout.h"

#include "browser/DetailsModels.h"
#include "browser/ServerListModel.h"
#include "browser/ui/ListView.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
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

// The columns whose texts vary are as wide as their widest text within their limits; a text
// wider than the limit is cut, and the cell's tooltip shows it whole. The name takes the room the
// other columns leave, but never less than its own width: in a narrow window the list scrolls
// sideways rather than hide the names.
class ColumnFitter : public QObject
{
public:
    explicit ColumnFitter(browser::ListView& list) : QObject(&list), m_list(list), m_viewport(list.viewport())
    {
        list.viewport()->installEventFilter(this);
        if (QAbstractItemModel* model = list.model()) {
            connect(model, &QAbstractItemModel::rowsInserted, this,
                    [this](const QModelIndex&, int first, int last) { fit(first, last); });
            connect(model, &QAbstractItemModel::modelReset, this, [this] { refit(); });
            connect(model, &QAbstractItemModel::layoutChanged, this, [this] { refit(); });
        }
    }

protected:
    // The viewport is compared as it was at the start: while the list is torn down its viewport
    // still sends events here, and the list may no longer be asked for anything.
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize && watched == m_viewport)
            fillName();
        return QObject::eventFilter(watched, event);
    }

private:
    struct Fitted
    {
        int column;
        int maximum;
    };
    static constexpr Fitted FittedColumns[] = {{browser::ServerListModel::Address, 110},
                                               {browser::ServerListModel::Map, 100},
                                               {browser::ServerListModel::Players, 50}};

    // Back to the design's widths, then wide enough for every row: an emptied list starts over.
    void refit()
    {
        for (const Fitted& f : FittedColumns)
            m_list.setColumnWidth(f.column, ColumnWidths[f.column]);
        fit(0, m_list.model()->rowCount() - 1);
    }

    void fit(int first, int last)
    {
        const QAbstractItemModel* model = m_list.model();
        const QFontMetrics metrics(m_list.font());
        // The margins the style puts on each side of a cell's text, and the grid line.
        const int margins =
            2 * (m_list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &m_list) + 1) + 2;
        bool changed = false;
        for (const Fitted& f : FittedColumns) {
            int width = m_list.columnWidth(f.column);
            for (int row = first; row <= last && width < f.maximum; ++row) {
                const QString text = model->index(row, f.column).data().toString();
                width = std::max(width, std::min(f.maximum, metrics.horizontalAdvance(text) + margins));
            }
            if (width != m_list.columnWidth(f.column)) {
                m_list.setColumnWidth(f.column, width);
                changed = true;
            }
        }
        if (changed)
            fillName();
    }

    void fillName()
    {
        QHeaderView* header = m_list.horizontalHeader();
        int others = 0;
        for (int c = 0; c < browser::ServerListModel::ColumnCount; ++c)
            if (c != browser::ServerListModel::Name)
                others += header->sectionSize(c);
        header->resizeSection(browser::ServerListModel::Name,
                              std::max(NameWidth, m_list.viewport()->width() - others));
    }

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
    new ColumnFitter(list);
    header->setSectionsClickable(true);
}

void layOutDetails(QTabWidget& tabs, browser::ListView& players, browser::ListView& rules)
{
    tabs.setMinimumWidth(168);
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
