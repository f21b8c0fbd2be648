#include "options/ui/IPv4Edit.h"

#include <QApplication>
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
