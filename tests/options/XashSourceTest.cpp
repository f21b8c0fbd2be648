// The community lists on the scanning page: on for a settings file the program has never written,
// off for a file of an earlier version (whose bytes stay as they were), set with mouse and keys.
#include "Controls.h"
#include "OptionsFixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

using namespace vantry::options;
using vantry::test::clickButton;
using vantry::test::control;

namespace {

const QStringList Preset = {QStringLiteral("mentality.rip:27010"), QStringLiteral("ms2.mentality.rip:27010"),
                            QStringLiteral("ms3.mentality.rip:27010")};

class XashPage : public vantry::test::OptionsFixture
{
protected:
    void showScanPage()
    {
        dialog().show();
        QTabBar* tabs = control<QTabWidget>(dialog(), "PageControl")->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        ASSERT_TRUE(control<QCheckBox>(dialog(), "CBXash")->isVisible());
    }
    void type(const char* name, const QString& text)
    {
        QLineEdit* edit = control<QLineEdit>(dialog(), name);
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }
    void clickBox(const char* name)
    {
        auto* box = control<QCheckBox>(dialog(), name);
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        QTest::mouseClick(box, Qt::LeftButton, {},
                          box->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &option, box).center());
    }
    void clickRow(int row)
    {
        auto* list = control<QTreeWidget>(dialog(), "LWXash");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->topLevelItem(row)).center());
    }
    XashSource xash() { return dialog().masterSource().xash; }
};

TEST_F(XashPage, ANewFileAsksTheProjectsMastersAndKeepsThemOn)
{
    TSettings& d = create();
    showScanPage();
    EXPECT_TRUE(control<QCheckBox>(d, "CBXash")->isChecked());
    EXPECT_FALSE(control<QCheckBox>(d, "CBMaster")->isChecked()) << "the Steam list stays off";
    EXPECT_EQ(xash().masters, Preset);
    EXPECT_TRUE(xash().listUrl.isEmpty());
    EXPECT_TRUE(d.masterSource().listsOn());
    // How to get a key for the Steam list, in one line on the page.
    auto* hint = control<QLabel>(d, "LabelKeyHint");
    EXPECT_TRUE(hint->isVisible());
    EXPECT_TRUE(hint->text().contains(QStringLiteral("steamcommunity.com/dev/apikey")));
    destroy();
    EXPECT_TRUE(readRaw().contains("[Xash]\nEnabled=1\nMasters=3\nMaster0=mentality.rip:27010\n"))
        << readRaw().toStdString();
    TSettings& again = create();
    EXPECT_TRUE(again.masterSource().xash.enabled) << "a written file keeps what it says";
    EXPECT_EQ(again.masterSource().xash.masters, Preset);
}

TEST_F(XashPage, AnOlderFileKeepsTheSourceOffAndItsBytes)
{
    const QByteArray older = "[Settings]\nDelay=9\n[Master]\nEnabled=0\nSteamKey=\n"
                             "ApiUrl=https://api.steampowered.com\nRegion=255\nPace=3000\nMasters=0\n";
    writeRaw(older);
    TSettings& d = create();
    EXPECT_FALSE(d.masterSource().xash.enabled);
    EXPECT_FALSE(d.masterSource().listsOn()) << "a sweep asks no list it did not ask before";
    EXPECT_EQ(d.masterSource().xash.masters, Preset) << "ready for a tick";
    destroy();
    EXPECT_FALSE(readRaw().contains("[Xash]")) << readRaw().toStdString();
    EXPECT_TRUE(readRaw().endsWith(older.mid(older.indexOf("[Master]"))));

    // Ticked by the user: written, and on after a restart.
    create();
    showScanPage();
    clickBox("CBXash");
    destroy();
    EXPECT_TRUE(readRaw().contains("[Xash]\nEnabled=1\n"));
    EXPECT_TRUE(create().masterSource().xash.enabled);
}

TEST_F(XashPage, AFileNamingOnlyItsMastersHasTheSourceOnWithThem)
{
    writeRaw("[Xash]\nMasters=1\nMaster0=127.0.0.1:27999\n");
    const XashSource s = create().masterSource().xash;
    EXPECT_TRUE(s.enabled);
    EXPECT_EQ(s.masters, QStringList{QStringLiteral("127.0.0.1:27999")});
}

TEST_F(XashPage, MastersAndTheListAddressAreSetWithMouseAndKeys)
{
    TSettings& d = create();
    showScanPage();
    // The preset's first and second go; the row above a deleted one is selected next.
    clickRow(1);
    clickButton(d, "SBXashDel");
    clickButton(d, "SBXashDel");
    EXPECT_EQ(xash().masters, QStringList{QStringLiteral("ms3.mentality.rip:27010")});
    type("EditXash", QStringLiteral("127.0.0.9"));
    clickButton(d, "SBXashAdd");
    type("EditXash", QStringLiteral("127.0.0.10:27011"));
    QTest::keyClick(control<QLineEdit>(d, "EditXash"), Qt::Key_Return);
    type("EditXash", QStringLiteral("127.0.0.9:27010"));
    clickButton(d, "SBXashAdd");
    EXPECT_EQ(lastBox().text, QStringLiteral("This master server is already in the list"));
    type("EditXash", QStringLiteral("127.0.0.1:0"));
    clickButton(d, "SBXashAdd");
    EXPECT_EQ(lastBox().text, QStringLiteral("Incorrect master server: use host:port"));
    // The community masters' own port when none is typed.
    EXPECT_EQ(xash().masters,
              (QStringList{QStringLiteral("ms3.mentality.rip:27010"), QStringLiteral("127.0.0.9:27010"),
                           QStringLiteral("127.0.0.10:27011")}));
    type("EditListUrl", QStringLiteral(" http://127.0.0.1:8080/list "));
    clickBox("CBXash");
    destroy();

    const XashSource s = create().masterSource().xash;
    EXPECT_FALSE(s.enabled);
    EXPECT_EQ(s.masters.size(), 3);
    EXPECT_EQ(s.listUrl, QStringLiteral("http://127.0.0.1:8080/list"));
}

TEST_F(XashPage, TurnedOffWithThePresetAFileReadsOffAgain)
{
    create();
    showScanPage();
    clickBox("CBXash");
    destroy();
    EXPECT_FALSE(create().masterSource().xash.enabled);
}

} // namespace
