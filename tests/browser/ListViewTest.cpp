#include "browser/ui/ListView.h"

#include "browser/ServerListModel.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>
#include <utility>

using vantry::browser::ListView;
using vantry::browser::ServerListModel;
using vantry::query::ServerRow;

namespace {

ServerRow server(int i, int ping)
{
    ServerRow r;
    r.kind = vantry::query::Game::CounterStrike16;
    r.name = "Server " + std::to_string(i);
    r.from = {(127u << 24) | (std::uint32_t(i / 250) << 8) | std::uint32_t(i % 250 + 1), 27015};
    r.playerCount = i % 17;
    r.maxPlayerCount = 16;
    r.map = i % 2 ? "de_dust2" : "cs_office";
    r.pingMs = ping;
    return r;
}

// What the viewport was asked to paint since the last take().
class PaintedRegion : public QObject
{
public:
    QRegion painted;
    int paints = 0;
    QRegion take() { return std::exchange(painted, QRegion()); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(event)->region();
            ++paints;
        }
        return QObject::eventFilter(watched, event);
    }
};

struct ShownList
{
    ServerListModel model;
    ListView view;
    PaintedRegion region;

    explicit ShownList(int rows)
    {
        for (int i = 0; i < rows; ++i)
            model.add(server(i, 100 - i));
        view.setModel(&model);
        view.resize(420, 260);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
        view.viewport()->installEventFilter(&region);
        settle();
        region.take();
    }
    // Runs the loop until the delayed layout and the paints it asked for are done: the layout,
    // the queued showing of rows and the paints each asks for come at the next pass, so two
    // passes that paint nothing end it.
    void settle()
    {
        for (int pass = 0, quiet = 0; quiet < 2 && pass < 1000; ++pass) {
            const int before = region.paints;
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
            quiet = region.paints == before ? quiet + 1 : 0;
        }
    }
    QImage onScreen() { return view.screen()->grabWindow(view.winId()).toImage(); }
    QImage repaintedWhole()
    {
        view.viewport()->update();
        settle();
        return onScreen();
    }
};

} // namespace

TEST(ListView, RowsAppendedOutOfSightRepaintNothingOfTheRowsShown)
{
    ShownList list(200);
    const QRect firstRow = list.view.visualRect(list.model.index(0, 1));
    ASSERT_TRUE(list.view.viewport()->rect().intersects(firstRow));
    for (int i = 200; i < 260; ++i)
        list.model.add(server(i, 5));
    list.settle();
    EXPECT_FALSE(list.region.take().intersects(firstRow));
    EXPECT_GT(list.view.verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(list.onScreen(), list.repaintedWhole());
}

TEST(ListView, WhatIsShownAfterAppendsSortsAndClearsMatchesAWholeRepaint)
{
    ShownList list(2);
    // Rows appended into sight, one by one and many at a time, are painted where they belong.
    list.model.add(server(2, 50));
    list.settle();
    for (int i = 3; i < 7; ++i)
        list.model.add(server(i, 40 + i), ServerListModel::Shown::Later);
    list.settle();
    EXPECT_EQ(list.model.rowCount(), 7);
    EXPECT_FALSE(list.region.take().isEmpty());
    EXPECT_EQ(list.onScreen(), list.repaintedWhole());

    // A sort moves the rows already shown: they are all painted again.
    list.model.sortByPing();
    list.settle();
    const QRect firstRow = list.view.visualRect(list.model.index(0, 1));
    EXPECT_TRUE(list.region.take().intersects(firstRow));
    EXPECT_EQ(list.onScreen(), list.repaintedWhole());

    // Rows appended and then sorted before the list is laid out again.
    list.model.add(server(7, 2));
    list.model.sortByPing();
    list.settle();
    EXPECT_EQ(list.onScreen(), list.repaintedWhole());

    // Appends after a sort, and after the list was emptied, still match.
    list.model.add(server(8, 1));
    list.settle();
    EXPECT_EQ(list.onScreen(), list.repaintedWhole());
    list.model.clear();
    list.model.add(server(9, 1));
    list.settle();
    EXPECT_EQ(list.onScreen(), list.repaintedWhole());
}
