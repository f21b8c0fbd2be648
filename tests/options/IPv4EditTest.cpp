#include "options/ui/IPv4Edit.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using vantry::options::IPv4Edit;

namespace {

class IPv4EditTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_field.show();
        QApplication::setActiveWindow(&m_field);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_field));
        m_field.setFocus();
    }

    QWidget* focused() const { return QApplication::focusWidget(); }
    int focusedBox() const
    {
        for (int i = 0; i < 4; ++i) {
            if (m_field.box(i) == focused())
                return i;
        }
        return -1;
    }
    // Keys go where the focus is, as a user's would.
    void type(const QString& keys)
    {
        for (QChar c : keys)
            QTest::keyClick(focused(), c.toLatin1());
    }
    void press(Qt::Key key) { QTest::keyClick(focused(), key); }

    IPv4Edit m_field;
};

} // namespace

TEST_F(IPv4EditTest, TypingWithDotsAndThirdDigitsMovesThroughTheBoxes)
{
    QSignalSpy changed(&m_field, &IPv4Edit::changed);
    EXPECT_TRUE(m_field.text().isEmpty());
    type(QStringLiteral("192168.0.1"));
    EXPECT_EQ(m_field.text(), u"192.168.0.1");
    EXPECT_TRUE(m_field.entered());
    EXPECT_EQ(focusedBox(), 3);
    EXPECT_GT(changed.count(), 0);
    // Nothing moves past the fourth box; a fourth digit does not get in.
    type(QStringLiteral("23.4"));
    EXPECT_EQ(m_field.box(3)->text(), u"123");
    EXPECT_EQ(m_field.octet(3), 123);
    EXPECT_EQ(focusedBox(), 3);
}

TEST_F(IPv4EditTest, OtherCharactersAreIgnoredAndADotInAnEmptyBoxStays)
{
    type(QStringLiteral(".x-"));
    EXPECT_EQ(focusedBox(), 0);
    EXPECT_TRUE(m_field.box(0)->text().isEmpty());
    EXPECT_TRUE(m_field.text().isEmpty());
    type(QStringLiteral("1a0"));
    EXPECT_EQ(m_field.box(0)->text(), u"10");
    EXPECT_EQ(m_field.octet(0), 10);
}

TEST_F(IPv4EditTest, ANumberAbove255IsSetBackAndAnEmptiedBoxKeepsItsOctet)
{
    type(QStringLiteral("30"));
    type(QStringLiteral("0")); // "300"
    EXPECT_EQ(m_field.box(0)->text(), u"30");
    EXPECT_EQ(m_field.octet(0), 30);
    EXPECT_EQ(focusedBox(), 0);
    press(Qt::Key_Backspace); // "3" is a number: it sets the octet
    EXPECT_EQ(m_field.octet(0), 3);
    press(Qt::Key_Backspace);
    EXPECT_TRUE(m_field.box(0)->text().isEmpty());
    EXPECT_EQ(m_field.octet(0), 3);
    EXPECT_EQ(m_field.text(), u"3.0.0.0");
}

TEST_F(IPv4EditTest, ArrowsCrossBoxesOnlyAtTheirEdges)
{
    type(QStringLiteral("10.20"));
    EXPECT_EQ(focusedBox(), 1);
    press(Qt::Key_Left); // caret between 2 and 0
    EXPECT_EQ(focusedBox(), 1);
    press(Qt::Key_Left); // caret at the start
    EXPECT_EQ(focusedBox(), 1);
    press(Qt::Key_Left);
    EXPECT_EQ(focusedBox(), 0);
    EXPECT_EQ(m_field.box(0)->cursorPosition(), 2); // at the end of the previous box
    press(Qt::Key_Right);
    EXPECT_EQ(focusedBox(), 1);
    EXPECT_EQ(m_field.box(1)->cursorPosition(), 0);
    press(Qt::Key_Up);
    EXPECT_EQ(focusedBox(), 0);
    press(Qt::Key_Down);
    EXPECT_EQ(focusedBox(), 1);
    press(Qt::Key_End);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    EXPECT_EQ(focusedBox(), 3);
    press(Qt::Key_Left); // empty box: the caret is at its start
    EXPECT_EQ(focusedBox(), 2);
    press(Qt::Key_Up);
    EXPECT_EQ(focusedBox(), 1);
    press(Qt::Key_Up); // the caret is at the end of "20"
    EXPECT_EQ(focusedBox(), 1);
    press(Qt::Key_Home);
    press(Qt::Key_Up);
    EXPECT_EQ(focusedBox(), 0);
}

TEST_F(IPv4EditTest, OctetsSetFromCodeRebuildTheTextAndThePastedJunkStaysOut)
{
    m_field.setOctet(0, 172);
    m_field.setOctet(1, 16);
    m_field.setOctet(2, 4);
    m_field.setOctet(3, 300);
    EXPECT_EQ(m_field.text(), u"172.16.4.255");
    EXPECT_EQ(m_field.box(3)->text(), u"255");
    m_field.box(1)->selectAll();
    m_field.box(1)->insert(QStringLiteral("ab")); // what a paste does
    EXPECT_EQ(m_field.box(1)->text(), u"16");
    EXPECT_EQ(m_field.octet(1), 16);
}

TEST_F(IPv4EditTest, AWholeAddressPastedIntoAnyBoxFillsAllFourAndAWrongOneChangesNothing)
{
    QApplication::clipboard()->setText(QStringLiteral("10.1.2.3"));
    // After a click on the second box of an empty field, with Ctrl+V.
    QTest::mouseClick(m_field.box(1), Qt::LeftButton);
    QTest::keyClick(focused(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(m_field.text(), u"10.1.2.3");
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(m_field.box(i)->text(), QString::number(QList<int>{10, 1, 2, 3}[i]));

    // Into the middle of a box that holds digits: the address replaces all four, not "1" + paste.
    QApplication::clipboard()->setText(QStringLiteral(" 192.168.0.77 \n"));
    QTest::mouseClick(m_field.box(2), Qt::LeftButton);
    m_field.box(2)->setCursorPosition(1);
    QTest::keyClick(focused(), Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(m_field.text(), u"192.168.0.77");

    // The edit menu's paste goes past the keys: a whole address still fills the field.
    m_field.box(3)->clear();
    m_field.box(3)->paste();
    EXPECT_EQ(m_field.text(), u"192.168.0.77");
    m_field.box(0)->selectAll();
    QApplication::clipboard()->setText(QStringLiteral("172.16.5.4"));
    m_field.box(0)->paste();
    EXPECT_EQ(m_field.text(), u"172.16.5.4");

    // No address: an octet out of range, or not four of them.
    for (const QString& junk :
         {QStringLiteral("300.1.2.3"), QStringLiteral("1.2.3"), QStringLiteral("a.b.c.d")}) {
        QApplication::clipboard()->setText(junk);
        QTest::mouseClick(m_field.box(1), Qt::LeftButton);
        QTest::keyClick(focused(), Qt::Key_V, Qt::ControlModifier);
        m_field.box(2)->selectAll();
        m_field.box(2)->paste();
        EXPECT_EQ(m_field.text(), u"172.16.5.4") << junk.toStdString();
        EXPECT_EQ(m_field.box(1)->text(), u"16") << junk.toStdString();
        EXPECT_EQ(m_field.box(2)->text(), u"5") << junk.toStdString();
    }
}

TEST_F(IPv4EditTest, TypingAfterAClickAnywhereInAnEmptyFieldStartsAtTheFirstBox)
{
    for (int clicked = 1; clicked < 4; ++clicked) {
        IPv4Edit field;
        field.show();
        QApplication::setActiveWindow(&field);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&field));
        QTest::mouseClick(field.box(clicked), Qt::LeftButton, {}, field.box(clicked)->rect().center());
        ASSERT_EQ(QApplication::focusWidget(), field.box(0)) << "clicked box " << clicked;
        for (QChar c : QStringLiteral("192.168.10.1"))
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
        EXPECT_EQ(field.text(), u"192.168.10.1") << "clicked box " << clicked;
    }

    // On a dot between boxes of a filled field: the box nearest to the click.
    QApplication::setActiveWindow(&m_field);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_field));
    m_field.setOctet(0, 10);
    m_field.setOctet(1, 0);
    m_field.setOctet(2, 0);
    m_field.setOctet(3, 1);
    const QWidget* dot = m_field.childAt(m_field.box(3)->geometry().left() - 2, m_field.height() / 2);
    const QPoint between(m_field.box(3)->geometry().left() - 2, m_field.height() / 2);
    QTest::mouseClick(&m_field, Qt::LeftButton, {}, between);
    EXPECT_TRUE(focused() == m_field.box(2) || focused() == m_field.box(3))
        << "a click on the dot before the last box went to box " << focusedBox()
        << " (under it: " << (dot ? dot->metaObject()->className() : "nothing") << ")";
    // Typed after a click in the middle of a box's digits: in at the caret.
    QTest::mouseClick(m_field.box(3), Qt::LeftButton, {}, m_field.box(3)->rect().center());
    m_field.box(3)->setCursorPosition(0);
    type(QStringLiteral("2"));
    EXPECT_EQ(m_field.text(), u"10.0.0.21");
}
