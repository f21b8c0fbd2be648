// A favourite's last answer: kept in a section of its own, section "Favorites" byte for byte as
// it was, and shown on the favourites page.
#include "options/FavouriteNames.h"

#include "Controls.h"
#include "OptionsFixture.h"
#include "base/IniFile.h"

#include <QFile>
#include <QHelpEvent>
#include <QTabWidget>
#include <QToolTip>
#include <QTreeWidget>

using vantry::IniFile;
using vantry::options::FavouriteAnswer;
using vantry::options::FavouriteNames;
using vantry::query::Endpoint;
using vantry::test::control;

namespace {

const QByteArray Favourites = "[Favorites]\n192.168.0.5 0=27015\n010.0.0.9 1=27020\n10.0.0.9 2=27015\n";

Endpoint at(const std::string& text)
{
    return *Endpoint::parse(text);
}

QByteArray section(const QByteArray& file, const QByteArray& header)
{
    const qsizetype start = file.indexOf(header);
    if (start < 0)
        return {};
    const qsizetype next = file.indexOf("\n[", start + 1);
    return file.mid(start, next < 0 ? -1 : next + 1 - start);
}

struct Names : vantry::test::OptionsFixture
{
    QVector<vantry::options::Favourite> favourites() const
    {
        return {{QStringLiteral("192.168.0.5"), QStringLiteral("27015")},
                {QStringLiteral("010.0.0.9"), QStringLiteral("27020")},
                {QStringLiteral("10.0.0.9"), QStringLiteral("27015")}};
    }
};

} // namespace

TEST_F(Names, AnswersOfFavouritesAreKeptApartAndFavoritesKeepTheirBytes)
{
    writeRaw("[Settings]\nCSPort=27015\n" + Favourites + "[Params]\n-console=\n");
    const QByteArray before = readRaw();
    IniFile file(path());
    FavouriteNames names(file);

    EXPECT_FALSE(
        names.noteAnswer(favourites(), at("192.168.0.6:27015"), {QStringLiteral("Not ours"), {}, {}}));
    EXPECT_EQ(readRaw(), before) << "an answer of another server writes nothing";
    EXPECT_FALSE(
        names.noteAnswer(favourites(), at("192.168.0.5:27016"), {QStringLiteral("Other port"), {}, {}}));

    ASSERT_TRUE(names.noteAnswer(
        favourites(), at("192.168.0.5:27015"),
        {QStringLiteral("Dust, all day"), QStringLiteral("de_dust2"), QStringLiteral("12/32")}));
    // A favourite typed with a leading zero is the same server.
    ASSERT_TRUE(
        names.noteAnswer(favourites(), at("10.0.0.9:27020"),
                         {QStringLiteral("Zero"), QStringLiteral("cs_office"), QStringLiteral("0/16")}));
    const QByteArray after = readRaw();
    EXPECT_EQ(section(after, "[Favorites]"), Favourites);
    EXPECT_TRUE(after.startsWith("[Settings]\nCSPort=27015\n" + Favourites + "[Params]\n-console=\n"))
        << after.toStdString();

    // A new run reads them back by the favourite's own texts.
    IniFile again(path());
    FavouriteNames read(again);
    const auto dust = read.answer({QStringLiteral("192.168.0.5"), QStringLiteral("27015")});
    ASSERT_TRUE(dust);
    EXPECT_EQ(dust->name, QStringLiteral("Dust, all day"));
    EXPECT_EQ(dust->map, QStringLiteral("de_dust2"));
    EXPECT_EQ(dust->players, QStringLiteral("12/32"));
    ASSERT_TRUE(read.answer({QStringLiteral("010.0.0.9"), QStringLiteral("27020")}));
    EXPECT_FALSE(read.answer({QStringLiteral("10.0.0.9"), QStringLiteral("27015")}));
}

TEST_F(Names, TheSameAnswerAgainWritesNothingAndABrokenLineIsSkipped)
{
    writeRaw(Favourites + "[FavoriteNames]\n10.0.0.9:27015=no commas here\n192.168.0.5:27015=1/2,map,Old\n");
    IniFile file(path());
    FavouriteNames names(file);
    EXPECT_FALSE(names.answer({QStringLiteral("10.0.0.9"), QStringLiteral("27015")}));
    ASSERT_TRUE(names.answer({QStringLiteral("192.168.0.5"), QStringLiteral("27015")}));

    const FavouriteAnswer answer{QStringLiteral("New"), QStringLiteral("de_nuke"), QStringLiteral("3/10")};
    ASSERT_TRUE(names.noteAnswer(favourites(), at("192.168.0.5:27015"), answer));
    // Gone from the disk: a second write of the same answer would bring it back.
    ASSERT_TRUE(QFile::remove(path()));
    EXPECT_TRUE(names.noteAnswer(favourites(), at("192.168.0.5:27015"), answer));
    EXPECT_FALSE(QFile::exists(path())) << "an unchanged answer wrote the file";
    EXPECT_TRUE(names.noteAnswer(favourites(), at("192.168.0.5:27015"),
                                 {answer.name, answer.map, QStringLiteral("4/10")}));
    EXPECT_TRUE(QFile::exists(path())) << "a changed player count is written";
}

TEST_F(Names, TheFavouritesPageShowsTheLastAnswerInTheRowsToolTip)
{
    writeRaw("[Settings]\nCurPage=2\n" + Favourites +
             "[FavoriteNames]\n192.168.0.5:27015=12/32,de_dust2,Dust all day\n");
    vantry::options::TSettings& d = create();
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    ASSERT_EQ(control<QTabWidget>(d, "PageControl")->currentIndex(), 2);
    auto* list = control<QTreeWidget>(d, "LVFav");

    const auto tipAt = [&](int row) {
        // A tip still fading out would read as this row's.
        QToolTip::hideText();
        EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000));
        const QPoint at = list->visualItemRect(list->topLevelItem(row)).center();
        QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(list->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    const QString tip = tipAt(0);
    EXPECT_TRUE(tip.contains(QStringLiteral("Dust all day"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("de_dust2")));
    EXPECT_TRUE(tip.contains(QStringLiteral("12/32")));
    EXPECT_TRUE(tipAt(2).isEmpty()) << "a favourite that never answered has no tip";

    // An answer while the dialog is open shows at once.
    d.favouriteNames().noteAnswer(
        d.favourites(), at("10.0.0.9:27015"),
        {QStringLiteral("Fresh"), QStringLiteral("cs_italy"), QStringLiteral("1/8")});
    EXPECT_TRUE(tipAt(2).contains(QStringLiteral("Fresh")));
    QToolTip::hideText();

    // Shutdown writes section "Favorites" as it was.
    destroy();
    EXPECT_EQ(section(readRaw(), "[Favorites]"), Favourites);
}
