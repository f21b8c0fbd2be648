#include "app/ui/About.h"

#include "app/AppInfo.h"

#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace vantry {
namespace {

QColor colour(const QLabel* l)
{
    return l->palette().color(QPalette::WindowText);
}

TEST(About, FixedWindowWithItsTextsAndAShowHookAtEveryShowing)
{
    TFormAbout about;
    int hooked = 0;
    about.setShowHook([&](QWidget* w) {
        EXPECT_EQ(w, &about);
        ++hooked;
    });
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("О программе..."));
    EXPECT_EQ(about.size(), QSize(300, 230));
    EXPECT_EQ(about.minimumSize(), about.maximumSize()) << "the border is fixed";
    EXPECT_FALSE(about.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(about.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(about.font().family(), QStringLiteral("Times New Roman"));
    EXPECT_EQ(about.Label1->text(), productName());
    EXPECT_EQ(about.Label1->font().pixelSize(), 27);
    EXPECT_EQ(about.Label3->text(), QStringLiteral("версия 1.98"));
    EXPECT_EQ(about.Label2->text(), QStringLiteral("Быстрый поиск игровых серверов"));
    EXPECT_EQ(about.Label12->text(), QStringLiteral("Half-Life, CS1.5,  CS 1.6,  CS:Source"));
    EXPECT_EQ(about.Label13->text(), QStringLiteral("HL2DM,  Condition-Zero"));
    EXPECT_EQ(about.Label9->text(), QStringLiteral("Страница в интернете:"));
    for (QLabel* l : about.findChildren<QLabel*>())
        EXPECT_TRUE(about.rect().contains(l->geometry())) << qPrintable(l->text()) << " lies outside the box";

    // Closing only hides it; every showing applies the transparency again.
    about.close();
    EXPECT_FALSE(about.isVisible());
    about.show();
    EXPECT_EQ(hooked, 2);
}

TEST(About, LinkOpensTheLocalReadmeThroughTheOpenerOnlyOnAClick)
{
    TFormAbout about;
    QList<QUrl> opened;
    about.setOpener([&](const QUrl& url) {
        opened.append(url);
        return true;
    });
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));

    const QUrl url = about.linkUrl();
    EXPECT_TRUE(url.isLocalFile()) << "no network address behind the link";
    EXPECT_TRUE(QFileInfo(url.toLocalFile()).isFile()) << qPrintable(url.toString());
    QLabel* link = about.Label10;
    EXPECT_EQ(colour(link), QColor(0, 0, 255));

    QTest::mouseMove(link, link->rect().center());
    EXPECT_TRUE(link->font().underline());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(link, &leave);
    EXPECT_FALSE(link->font().underline());

    QTest::mousePress(link, Qt::LeftButton, {}, link->rect().center());
    EXPECT_EQ(colour(link), QColor(255, 0, 0));
    EXPECT_TRUE(opened.isEmpty()) << "pressing alone opens nothing";
    QTest::mouseRelease(link, Qt::LeftButton, {}, link->rect().center());
    EXPECT_EQ(colour(link), QColor(128, 0, 128));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], url);

    // Released away from the label: no click, and it stays purple.
    QTest::mousePress(link, Qt::LeftButton, {}, link->rect().center());
    QTest::mouseRelease(link, Qt::LeftButton, {}, link->rect().bottomRight() + QPoint(20, 20));
    EXPECT_EQ(colour(link), QColor(128, 0, 128));
    EXPECT_EQ(opened.size(), 1);
}

} // namespace
} // namespace vantry
