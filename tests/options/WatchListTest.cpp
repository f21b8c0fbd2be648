// The watched players as the user edits them on the favourites page, by keys and clicks, and as
// section "Watch" keeps them between runs; hand-edited sections load without surprises.
#include "Controls.h"
#include "OptionsFixture.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

using vantry::options::TSettings;
using vantry::test::clickButton;
using vantry::test::control;
using vantry::test::OptionsFixture;

namespace {

struct WatchList : OptionsFixture
{
    // Types as a keyboard does, the character as the event's text (QTest's keyClicks is ASCII only).
    static void type(QWidget* widget, const QString& text)
    {
        for (const QChar c : text) {
            const auto key = static_cast<Qt::Key>(c.toUpper().unicode());
            QTest::sendKeyEvent(QTest::Press, widget, key, QString(c), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, widget, key, QString(c), Qt::NoModifier);
        }
    }

    QStringList shown()
    {
        QStringList out;
        auto* list = control<QListWidget>(dialog(), "LBWatch");
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }
};

} // namespace

TEST_F(WatchList, NamesTypedAndRemovedOnTheFavouritesPageAreKeptInTheirOwnSection)
{
    writeRaw("[Favorites]\n10.0.0.9 0=27015\n");
    TSettings& d = create();
    d.show();
    QTabBar* tabs = control<QTabWidget>(d, "PageControl")->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
    ASSERT_EQ(control<QTabWidget>(d, "PageControl")->currentIndex(), 2);
    auto* edit = control<QLineEdit>(d, "EditWatch");

    QTest::mouseClick(edit, Qt::LeftButton);
    type(edit, QStringLiteral("  Игрок "));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(d.isVisible()) << "Enter in the field closed the dialog";
    type(edit, QStringLiteral("Bob"));
    clickButton(d, "SBWatchAdd");
    type(edit, QStringLiteral("иГРОК")); // the same name in other case: not twice
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Return); // nothing typed: nothing added
    type(edit, QStringLiteral("gone"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(shown(), (QStringList{QStringLiteral("Игрок"), QStringLiteral("Bob"), QStringLiteral("gone")}));
    EXPECT_EQ(d.watchedPlayers(), shown()) << "what the rest of the program reads";

    auto* list = control<QListWidget>(d, "LBWatch");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
    QTest::keyClick(list, Qt::Key_Delete);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    clickButton(d, "SBWatchDel");
    EXPECT_EQ(shown(), QStringList{QStringLiteral("Игрок")});

    destroy();
    const QByteArray file = readRaw();
    EXPECT_TRUE(file.contains("[Watch]\nCount=1\nPlayer0=\xD0\x98\xD0\xB3\xD1\x80\xD0\xBE\xD0\xBA\n") ||
                file.contains("[Watch]\r\nCount=1\r\nPlayer0=\xD0\x98\xD0\xB3\xD1\x80\xD0\xBE\xD0\xBA\r\n"))
        << file.toStdString();
    EXPECT_TRUE(file.indexOf("[Favorites]") < file.indexOf("[Watch]")) << "the older sections first";

    create();
    EXPECT_EQ(shown(), QStringList{QStringLiteral("Игрок")});
}

TEST_F(WatchList, HandEditedSectionsLoadWithinBounds)
{
    writeRaw("[Watch]\nCount=1000000\nPlayer0=a\nPlayer1=\nPlayer2=A\nPlayer3= b \n");
    create();
    EXPECT_EQ(shown(), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    destroy();

    writeRaw("[Watch]\nCount=-5\nPlayer0=a\n");
    create();
    EXPECT_TRUE(shown().isEmpty());
    destroy();
    EXPECT_TRUE(readRaw().contains("[Watch]")) << "a section that was there is written back";

    // No names and no section: none is added to the file.
    writeRaw("[Settings]\nDelay=0\n");
    create();
    destroy();
    EXPECT_FALSE(readRaw().contains("[Watch]")) << readRaw().toStdString();
}
