#include "Controls.h"
#include "OptionsFixture.h"
#include "options/Rules.h"
#include "options/ui/IPv4Edit.h"
#include "options/ui/PortEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QImage>
#include <QPixmap>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <cstdlib>
#include <utility>

using namespace vantry::options;
using vantry::test::clickButton;
using vantry::test::control;
using vantry::test::OptionsFixture;

namespace {

class Pages : public OptionsFixture
{
protected:
    static void setAddress(IPv4Edit* field, int a, int b, int c, int d)
    {
        field->setOctet(0, a);
        field->setOctet(1, b);
        field->setOctet(2, c);
        field->setOctet(3, d);
    }
    void addRange(const std::array<int, 4>& from, const std::array<int, 4>& to)
    {
        setAddress(control<IPv4Edit>(dialog(), "IPE1"), from[0], from[1], from[2], from[3]);
        setAddress(control<IPv4Edit>(dialog(), "IPE2"), to[0], to[1], to[2], to[3]);
        clickButton(dialog(), "SBAdd");
    }
    void addFavourite(const std::array<int, 4>& address, const QString& port)
    {
        setAddress(control<IPv4Edit>(dialog(), "GHIP"), address[0], address[1], address[2], address[3]);
        control<PortEdit>(dialog(), "MEPort")->setText(port);
        clickButton(dialog(), "SpeedButton4");
    }
    QStringList rangeFroms() const
    {
        QStringList list;
        for (const AddressRange& range : m_dialog->ranges())
            list.append(range.from);
        return list;
    }
    QStringList favouriteAddresses() const
    {
        QStringList list;
        for (const Favourite& f : m_dialog->favourites())
            list.append(f.address + u':' + f.port);
        return list;
    }
    void select(QTreeWidget* list, int row) { list->setCurrentItem(list->topLevelItem(row)); }
    // A click on a header of the favourites, a little inside the column.
    void clickHeader(int column)
    {
        QHeaderView* header = control<QTreeWidget>(dialog(), "LVFav")->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, 5));
    }
};

} // namespace

TEST_F(Pages, RangeMessagesInErrorBoxesAndTheListUnchanged)
{
    TSettings& d = create();
    clickButton(d, "SBAdd");
    EXPECT_EQ(lastBox().caption, u"Error");
    EXPECT_EQ(lastBox().text, u"Incorrect IP range");
    EXPECT_EQ(lastBox().icon, vantry::BoxIcon::None);
    addRange({192, 168, 0, 1}, {192, 168, 20, 254});
    EXPECT_EQ(lastBox().text, u"IP range incorrect or very big");
    addRange({10, 0, 5, 10}, {10, 0, 5, 9});
    EXPECT_EQ(lastBox().text, u"IP range incorrect");
    EXPECT_EQ(d.rangeCount(), 0);
    EXPECT_FALSE(QFile::exists(path()));
    addRange({10, 0, 0, 1}, {10, 0, 0, 254});
    addRange({10, 0, 0, 1}, {10, 0, 0, 100});
    EXPECT_EQ(lastBox().text, u"IP range exist");
    EXPECT_EQ(d.rangeCount(), 1);
}

TEST_F(Pages, NewRangeIsAppendedCheckedAndStoredAtOnceItsCheckMarkOnlyAtExit)
{
    TSettings& d = create();
    addRange({10, 0, 0, 1}, {10, 0, 0, 254});
    addRange({10, 0, 0, 100}, {10, 0, 0, 200}); // overlapping ranges are allowed
    EXPECT_TRUE(m_prompter.boxes.empty());
    ASSERT_EQ(d.rangeCount(), 2);
    EXPECT_TRUE(d.ranges()[1].checked);
    // New keys go to the end of the section, after the "Checked" of the first write.
    EXPECT_EQ(readRaw(),
              QByteArray("[Ranges]\nRanges=2\nRangeFrom0=10.0.0.1\nRangeTo0=10.0.0.254\nChecked=11\n"
                         "RangeFrom1=10.0.0.100\nRangeTo1=10.0.0.200\n"));
    control<QTreeWidget>(d, "LWranges")->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    EXPECT_TRUE(readRaw().contains("Checked=11\n"));
    EXPECT_EQ(control<IPv4Edit>(d, "IPE1")->text(), u"10.0.0.100"); // the fields keep their contents
    destroy();
    EXPECT_TRUE(readRaw().contains("Checked=10\n"));
}

TEST_F(Pages, DeletingSelectsTheRowAboveOrTheNewFirstRow)
{
    TSettings& d = create();
    addRange({10, 0, 0, 1}, {10, 0, 0, 2});
    addRange({10, 0, 1, 1}, {10, 0, 1, 2});
    addRange({10, 0, 2, 1}, {10, 0, 2, 2});
    clickButton(d, "SBDel"); // no selection: nothing
    EXPECT_EQ(d.rangeCount(), 3);
    select(control<QTreeWidget>(d, "LWranges"), 0);
    clickButton(d, "SBDel");
    EXPECT_EQ(rangeFroms(), (QStringList{QStringLiteral("10.0.1.1"), QStringLiteral("10.0.2.1")}));
    EXPECT_EQ(control<QTreeWidget>(d, "LWranges")->selectedItems().value(0),
              control<QTreeWidget>(d, "LWranges")->topLevelItem(0));
    select(control<QTreeWidget>(d, "LWranges"), 1);
    clickButton(d, "SBDel");
    EXPECT_EQ(control<QTreeWidget>(d, "LWranges")->selectedItems().value(0),
              control<QTreeWidget>(d, "LWranges")->topLevelItem(0));
    clickButton(d, "SBDel");
    EXPECT_EQ(d.rangeCount(), 0);
    EXPECT_TRUE(readRaw().startsWith("[Ranges]\nRanges=0\n"));
    EXPECT_TRUE(readRaw().contains("Checked=\n"));
}

TEST_F(Pages, UpAndDownMoveTheWholeRowWithItsSelection)
{
    TSettings& d = create();
    addRange({10, 0, 0, 1}, {10, 0, 0, 2});
    addRange({10, 0, 1, 1}, {10, 0, 1, 2});
    control<QTreeWidget>(d, "LWranges")->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    const QByteArray stored = readRaw();
    clickButton(d, "SpeedButton1"); // no selection
    select(control<QTreeWidget>(d, "LWranges"), 0);
    clickButton(d, "SpeedButton1"); // first row: nothing
    EXPECT_EQ(rangeFroms().first(), u"10.0.0.1");
    select(control<QTreeWidget>(d, "LWranges"), 1);
    clickButton(d, "SpeedButton2"); // last row: nothing
    clickButton(d, "SpeedButton1");
    EXPECT_EQ(rangeFroms(), (QStringList{QStringLiteral("10.0.1.1"), QStringLiteral("10.0.0.1")}));
    EXPECT_FALSE(d.ranges()[0].checked);
    EXPECT_TRUE(d.ranges()[1].checked);
    EXPECT_EQ(d.ranges()[0].to, u"10.0.1.2");
    EXPECT_EQ(control<QTreeWidget>(d, "LWranges")->selectedItems().value(0),
              control<QTreeWidget>(d, "LWranges")->topLevelItem(0));
    clickButton(d, "SpeedButton2");
    EXPECT_EQ(rangeFroms().first(), u"10.0.0.1");
    EXPECT_EQ(readRaw(), stored); // moves reach the file only at exit
}

TEST_F(Pages, ReadersHoldCopiesThatOutliveDeletedRows)
{
    TSettings& d = create();
    addRange({10, 0, 0, 1}, {10, 0, 0, 2});
    addFavourite({10, 0, 0, 5}, QStringLiteral("27015"));
    const QVector<AddressRange> ranges = d.ranges();
    const QVector<Favourite> favourites = d.favourites();
    select(control<QTreeWidget>(d, "LWranges"), 0);
    clickButton(d, "SBDel");
    select(control<QTreeWidget>(d, "LVFav"), 0);
    clickButton(d, "SpeedButton5");
    ASSERT_EQ(ranges.size(), 1);
    EXPECT_EQ(ranges[0].to, u"10.0.0.2");
    EXPECT_EQ(favourites[0].address, u"10.0.0.5");
}

TEST_F(Pages, FillLastAddressToTheEndOfItsBlock)
{
    TSettings& d = create();
    clickButton(d, "SpeedButton3");
    EXPECT_TRUE(control<IPv4Edit>(d, "IPE2")->text().isEmpty());
    setAddress(control<IPv4Edit>(d, "IPE1"), 172, 16, 4, 10);
    clickButton(d, "SpeedButton3");
    EXPECT_EQ(control<IPv4Edit>(d, "IPE2")->text(), u"172.16.4.255");
}

TEST_F(Pages, PortFieldsTakeDigitsOnlyWithABeepAndAtMostFive)
{
    TSettings& d = create();
    d.show();
    PortEdit* port = control<PortEdit>(d, "CSport");
    port->clear();
    port->setFocus();
    QTest::keyClicks(port, QStringLiteral("27a15"));
    EXPECT_EQ(port->text(), u"2715");
    EXPECT_EQ(m_prompter.beeps, 1);
    QTest::keyClicks(port, QStringLiteral("01"));
    EXPECT_EQ(port->text(), u"27150");
    QTest::keyClick(port, Qt::Key_Backspace);
    EXPECT_EQ(port->text(), u"2715");
    // Pasted text passes no key filter; it gets in only as digits.
    port->clear();
    QApplication::clipboard()->setText(QStringLiteral("12ab"));
    port->paste();
    EXPECT_EQ(port->text(), QString());
    QApplication::clipboard()->setText(QStringLiteral("123456"));
    port->paste();
    EXPECT_EQ(port->text(), QString());
    QApplication::clipboard()->setText(QStringLiteral("27016"));
    port->paste();
    EXPECT_EQ(port->text(), u"27016");
    QTest::keyClicks(control<PortEdit>(d, "MEPort"), QStringLiteral("x"));
    EXPECT_EQ(m_prompter.beeps, 2);
}

TEST_F(Pages, HandEditedPortsLoadAsTheyAre)
{
    writeRaw("[Settings]\nCSPort=270150\nHLTVPort=abc\n");
    TSettings& d = create();
    EXPECT_EQ(d.gamePort(), u"270150");
    EXPECT_EQ(d.hltvPort(), u"abc");
}

TEST_F(Pages, FavouriteRulesDuplicatesAndPortsOutsideTheUdpRange)
{
    TSettings& d = create();
    addFavourite({192, 168, 0, 5}, QStringLiteral("27015"));
    addFavourite({192, 168, 0, 5}, QStringLiteral("27015"));
    EXPECT_EQ(lastBox().caption, u"Error");
    EXPECT_EQ(lastBox().text, u"This address is already exist");
    addFavourite({192, 168, 0, 5}, QStringLiteral("27020"));
    addFavourite({0, 1, 2, 3}, QStringLiteral("27015"));
    EXPECT_EQ(lastBox().text, u"Bad address");
    addFavourite({192, 168, 0, 6}, QString());
    EXPECT_EQ(lastBox().text, u"Bad address");
    addFavourite({192, 168, 0, 6}, QStringLiteral("0"));
    EXPECT_EQ(lastBox().text, QString::fromUtf16(BadPortMessage));
    addFavourite({192, 168, 0, 6}, QStringLiteral("70000"));
    EXPECT_EQ(lastBox().text, QString::fromUtf16(BadPortMessage));
    EXPECT_EQ(favouriteAddresses(),
              (QStringList{QStringLiteral("192.168.0.5:27015"), QStringLiteral("192.168.0.5:27020")}));
    EXPECT_FALSE(d.addFavourite({QStringLiteral("192.168.0.5"), QStringLiteral("27020")}));
    EXPECT_TRUE(d.addFavourite({QStringLiteral("192.168.0.7"), QStringLiteral("27020")}));
    EXPECT_FALSE(QFile::exists(path())); // favourites reach the file at exit
}

TEST_F(Pages, DeletingAFavouriteLeavesNoSelection)
{
    TSettings& d = create();
    addFavourite({10, 0, 0, 1}, QStringLiteral("1"));
    addFavourite({10, 0, 0, 2}, QStringLiteral("2"));
    addFavourite({10, 0, 0, 3}, QStringLiteral("3"));
    control<QTreeWidget>(d, "LVFav")->clearSelection();
    clickButton(d, "SpeedButton5");
    EXPECT_EQ(d.favouriteCount(), 3);
    select(control<QTreeWidget>(d, "LVFav"), 1);
    clickButton(d, "SpeedButton5");
    EXPECT_EQ(favouriteAddresses(),
              (QStringList{QStringLiteral("10.0.0.1:1"), QStringLiteral("10.0.0.3:3")}));
    EXPECT_TRUE(control<QTreeWidget>(d, "LVFav")->selectedItems().isEmpty());
}

TEST_F(Pages, HeaderClicksSortAscendingAndTheOrderIsStored)
{
    writeRaw("[Favorites]\n10.0.0.9 0=27015\n192.168.0.5 1=27005\n10.0.0.10 2=junk\n");
    TSettings& d = create();
    d.show();
    clickHeader(0);
    EXPECT_EQ(favouriteAddresses(),
              (QStringList{QStringLiteral("10.0.0.10:junk"), QStringLiteral("10.0.0.9:27015"),
                           QStringLiteral("192.168.0.5:27005")}));
    clickHeader(1);
    clickHeader(1); // no reversal
    EXPECT_EQ(favouriteAddresses(),
              (QStringList{QStringLiteral("10.0.0.10:junk"), QStringLiteral("192.168.0.5:27005"),
                           QStringLiteral("10.0.0.9:27015")}));
    destroy();
    EXPECT_TRUE(readRaw().contains("[Favorites]\n10.0.0.10 0=junk\n192.168.0.5 1=27005\n10.0.0.9 2=27015\n"));
}

TEST_F(Pages, HandEditedRangesAndFavouritesSurviveTheNextShutdown)
{
    writeRaw("[Ranges]\nRanges=x\nRangeFrom0=10.0.0.1\nRangeTo0=10.0.0.9\nChecked=\n[Favorites]\n10.0.0.1 "
             "0=27015\n");
    TSettings& d = create();
    ASSERT_EQ(d.rangeCount(), 1);
    EXPECT_FALSE(d.ranges()[0].checked);
    destroy();
    EXPECT_TRUE(readRaw().contains("RangeFrom0=10.0.0.1\n"));
    EXPECT_TRUE(readRaw().contains("[Favorites]\n10.0.0.1 0=27015\n"));
}

TEST_F(Pages, FavouriteAddressColumnKeepsToItsLimits)
{
    writeRaw("[Settings]\nFavWidth=20\n");
    TSettings& d = create();
    EXPECT_EQ(control<QTreeWidget>(d, "LVFav")->columnWidth(0), 70);
    control<QTreeWidget>(d, "LVFav")->header()->resizeSection(0, 300);
    EXPECT_EQ(control<QTreeWidget>(d, "LVFav")->columnWidth(0), 110);
    // The port column keeps at least its design 40 pixels, more when five digits need them.
    control<QTreeWidget>(d, "LVFav")->header()->resizeSection(1, 10);
    EXPECT_GE(control<QTreeWidget>(d, "LVFav")->columnWidth(1), 40);
    control<QTreeWidget>(d, "LVFav")->header()->resizeSection(1, 300);
    EXPECT_LT(control<QTreeWidget>(d, "LVFav")->columnWidth(1), 100);
}

namespace {

int luminance(QColor c)
{
    return (299 * c.red() + 587 * c.green() + 114 * c.blue()) / 1000;
}

// The colours of the selected row's ground, read from the list as it is painted at a point of the
// row where no text or line lies, and of its text, as the palette gives it.
QColor selectedGround(QTreeWidget* list, int row)
{
    const QRect item = list->visualItemRect(list->topLevelItem(row));
    const QImage image = list->viewport()->grab().toImage();
    // Inside the last column, left of its text's end and right of the cell's border.
    const int column = list->columnCount() - 1;
    const int x = list->header()->sectionViewportPosition(column) + list->header()->sectionSize(column) - 3;
    return image.pixelColor(x, item.top() + 2);
}

} // namespace

TEST_F(Pages, TheSelectedRowOfBothListsReadsWhetherTheDialogIsActiveOrNot)
{
    writeRaw("[Ranges]\nRanges=1\nRangeFrom0=10.0.0.1\nRangeTo0=10.0.0.254\nChecked=1\n"
             "[Favorites]\n10.0.0.5 0=27015\n");
    TSettings& d = create();
    d.show();
    QApplication::setActiveWindow(&d);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    const std::pair<const char*, int> lists[] = {{"LWranges", 1}, {"LVFav", 2}};
    for (const auto& [name, page] : lists) {
        auto* list = control<QTreeWidget>(d, name);
        QTabBar* tabs = control<QTabWidget>(d, "PageControl")->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(page).center());
        ASSERT_TRUE(QTest::qWaitFor([&] { return list->isVisible(); }, 2000));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->topLevelItem(0)).center());
        ASSERT_TRUE(list->topLevelItem(0)->isSelected()) << name;
        const QColor text = list->palette().color(QPalette::Active, QPalette::HighlightedText);
        const QColor ground = selectedGround(list, 0);
        EXPECT_GE(std::abs(luminance(ground) - luminance(text)), 90)
            << name << ": selected text " << text.name().toStdString() << " on "
            << ground.name().toStdString();

        // Another window takes the focus: the selection stays readable.
        QWidget other;
        other.show();
        QApplication::setActiveWindow(&other);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
        const QColor inactiveText = list->palette().color(QPalette::Inactive, QPalette::HighlightedText);
        const QColor inactiveGround = selectedGround(list, 0);
        EXPECT_GE(std::abs(luminance(inactiveGround) - luminance(inactiveText)), 90)
            << name << " inactive: selected text " << inactiveText.name().toStdString() << " on "
            << inactiveGround.name().toStdString();
        other.hide();
        QApplication::setActiveWindow(&d);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    }
}
