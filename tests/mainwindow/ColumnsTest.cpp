// The server list's columns as texts of every length meet them: the address, map and players
// columns take their texts' widths within their limits, a cell still too narrow tells its whole
// text in a tooltip, and the user can widen the players and rules panel beside the list.
#include "MainWindowFixture.h"
#include "browser/ServerListModel.h"
#include "browser/ui/ListView.h"
#include "shell/ScanGames.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QSplitter>
#include <QStyleOptionViewItem>
#include <QTabWidget>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

namespace vantry::test {

using browser::ListView;
using browser::ServerListModel;

namespace {

struct Columns : MainWindowFixture
{
    Columns() : MainWindowFixture({}) {}

    // Over no settings file, on a desktop that is asked for its tray.
    TForm1& start() { return MainWindowFixture::start({.noFile = true, .tray = std::nullopt}); }
    ListView& list() { return listView(); }

    void add(std::uint32_t address, const std::string& name, const std::string& map, int players, int maximum)
    {
        vantry::query::ServerRow row;
        row.kind = vantry::query::Game::CounterStrike16;
        row.name = name;
        row.map = map;
        row.from = {address, 27015};
        row.playerCount = players;
        row.maxPlayerCount = maximum;
        row.status = vantry::query::Image::Open;
        form().servers().add(row);
    }

    // The width the cell's text needs, as the list's own item painting measures it.
    int needed(const QModelIndex& index)
    {
        QStyleOptionViewItem option;
        option.initFrom(list().viewport());
        option.widget = &list();
        option.font = list().font();
        option.features |= QStyleOptionViewItem::HasDisplay;
        option.text = index.data().toString();
        option.displayAlignment = Qt::AlignCenter;
        option.rect = list().visualRect(index);
        return list().itemDelegateForIndex(index)->sizeHint(option, index).width();
    }

    // The tooltip shown after the mouse rests on the cell; empty when none.
    QString tipAt(const QModelIndex& index)
    {
        QToolTip::hideText();
        EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000));
        list().scrollTo(index);
        const QPoint at = list().visualRect(index).center();
        QHelpEvent help(QEvent::ToolTip, at, list().viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(list().viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }
};

TEST_F(Columns, TextsWidenTheirColumnsWithinLimitsAndACutCellShowsItsWholeText)
{
    TForm1& form = start();
    const int mapBefore = list().columnWidth(ServerListModel::Map);
    add((127u << 24) | 2, "Short", "de_dust2", 3, 20);
    // A map name wider than the design's 60 pixels and narrower than the limit of 100.
    add((127u << 24) | 3, "Medium", "de_inferno_x", 12, 32);
    // Longer than any limit: cut, and told in full by the tooltip.
    add((127u << 24) | (200 << 16) | (200 << 8) | 200,
        "A server name far too long for its column in the default window, with more after it",
        "awp_india_very_long_map_name_v2_final", 100, 128);

    const auto* model = list().model();
    struct Limit
    {
        int column, minimum, maximum;
    };
    for (const Limit& l : {Limit{ServerListModel::Address, 90, 110}, Limit{ServerListModel::Map, 60, 100},
                           Limit{ServerListModel::Players, 40, 50}}) {
        EXPECT_GE(list().columnWidth(l.column), l.minimum) << "column " << l.column;
        EXPECT_LE(list().columnWidth(l.column), l.maximum) << "column " << l.column;
    }
    int cut = 0;
    for (int row = 0; row < model->rowCount(); ++row)
        for (int column : {int(ServerListModel::Name), int(ServerListModel::Address),
                           int(ServerListModel::Map), int(ServerListModel::Players)}) {
            const QModelIndex index = model->index(row, column);
            const QString text = index.data().toString();
            if (needed(index) <= list().columnWidth(column)) {
                EXPECT_TRUE(tipAt(index).isEmpty()) << text.toStdString() << " shows whole and needs no tip";
                continue;
            }
            ++cut;
            EXPECT_EQ(tipAt(index), text) << text.toStdString() << " is cut and its tooltip does not tell it";
        }
    EXPECT_GE(cut, 2) << "the long name and the long map are cut";
    const QModelIndex medium = model->index(1, ServerListModel::Map);
    ASSERT_EQ(medium.data().toString(), QStringLiteral("de_inferno_x"));
    EXPECT_GT(needed(medium), mapBefore) << "the test's medium map name must need more than the design width";
    EXPECT_GE(list().columnWidth(ServerListModel::Map), needed(medium))
        << "the map column did not grow to fit";

    // A wider window gives the room to the name; the fitted columns keep their widths.
    const int address = list().columnWidth(ServerListModel::Address);
    const int map = list().columnWidth(ServerListModel::Map);
    const int name = list().columnWidth(ServerListModel::Name);
    const int wider = form.width() + 200;
    form.resize(wider, form.height());
    ASSERT_TRUE(QTest::qWaitFor([&] { return list().columnWidth(ServerListModel::Name) > name; }, 2000))
        << "the name column did not take the room";
    ASSERT_EQ(form.width(), wider);
    EXPECT_EQ(list().columnWidth(ServerListModel::Address), address);
    EXPECT_EQ(list().columnWidth(ServerListModel::Map), map);
    EXPECT_GT(list().columnWidth(ServerListModel::Name), name);

    // An emptied list starts over from the design's widths.
    form.servers().clear();
    EXPECT_EQ(list().columnWidth(ServerListModel::Map), mapBefore);
}

TEST_F(Columns, TheDetailsPanelCanBeWidenedByDraggingItsEdge)
{
    TForm1& form = start();
    auto* splitter = control<QSplitter>(form, "Splitter1");
    auto* details = control<QTabWidget>(form, "PageControl1");
    ASSERT_EQ(splitter->count(), 2);
    EXPECT_EQ(details->width(), 168) << "the design's width at start";

    // The handle dragged 80 pixels to the left.
    QSplitterHandle* handle = splitter->handle(1);
    const QPoint grip = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    QTest::mouseMove(handle, grip - QPoint(40, 0));
    QTest::mouseMove(handle, grip - QPoint(80, 0));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grip - QPoint(80, 0));
    EXPECT_GE(details->width(), 168 + 70) << "the panel did not widen";

    // A wider window widens the list, not the panel.
    const int panel = details->width();
    const int wider = form.width() + 150;
    const int listWidth = list().width();
    form.resize(wider, form.height());
    ASSERT_TRUE(QTest::qWaitFor([&] { return list().width() > listWidth; }, 2000))
        << "the list did not widen";
    EXPECT_EQ(details->width(), panel);
}

} // namespace

} // namespace vantry::test
