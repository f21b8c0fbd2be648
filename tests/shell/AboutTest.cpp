#include "shell/About.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace vantry {
namespace {

QColor colour(const QLabel* l)
{
    return l->palette().color(QPalette::WindowText);
}

TEST(About, FixedBoxFitsItsLabelsAndAppliesTheShowHookAtEveryShowing)
{
    TFormAbout about;
    int hooked = 0;
    about.setShowHook([&](QWidget*) { ++hooked; });
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_EQ(about.size(), QSize(300, 230));
    EXPECT_EQ(about.minimumSize(), about.maximumSize()) << "the border is fixed";
    for (QLabel* l : about.findChildren<QLabel*>())
        EXPECT_TRUE(about.rect().contains(l->geometry())) << qPrintable(l->text()) << " lies outside the box";
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
    const QPoint inside = link->rect().center();
    QTest::mouseMove(link, inside);
    EXPECT_TRUE(link->font().underline());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(link, &leave);
    EXPECT_FALSE(link->font().underline());

    QTest::mousePress(link, Qt::LeftButton, {}, inside);
    EXPECT_EQ(colour(link), QColor(255, 0, 0));
    EXPECT_TRUE(opened.isEmpty()) << "pressing alone opens nothing";
    QTest::mouseRelease(link, Qt::LeftButton, {}, inside);
    EXPECT_EQ(colour(link), QColor(128, 0, 128));
    EXPECT_EQ(opened, QList<QUrl>{url});

    // Released away from the label: no click.
    QTest::mousePress(link, Qt::LeftButton, {}, inside);
    QTest::mouseRelease(link, Qt::LeftButton, {}, link->rect().bottomRight() + QPoint(20, 20));
    EXPECT_EQ(opened.size(), 1);
}

TEST(About, LinkFindsTheReadmeWhereverTheBuildFolderLies)
{
    // This very test program, run from a folder outside the source tree.
    QTemporaryDir elsewhere;
    const QString copy = elsewhere.filePath(QStringLiteral("test_shell"));
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationFilePath(), copy));
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setWorkingDirectory(elsewhere.path());
    child.start(copy,
                {QStringLiteral("--gtest_filter=About.LinkOpensTheLocalReadmeThroughTheOpenerOnlyOnAClick")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << output.constData();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.constData();
}

} // namespace
} // namespace vantry
