#include "launch/SteamLibrary.h"

#include "SteamFixtures.h"
#include "launch/ClientStart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using vantry::launch::SteamClient;
using vantry::launch::SteamCopy;
using vantry::launch::SteamFindings;
using vantry::launch::SteamFolders;
using vantry::test::SteamHome;

namespace {

QString canonical(const QString& path)
{
    return QFileInfo(path).canonicalFilePath();
}

QString folderOf(const SteamFindings& found, int appId)
{
    const std::optional<SteamCopy> copy = found.copy(appId);
    return copy ? copy->folder : QString();
}

} // namespace

TEST(SteamLibrary, LibrariesListedInEitherLayoutAreSearched)
{
    SteamHome tree;
    // Valve's package, reached through the ~/.steam/steam link, with the list Steam writes today.
    const QString native = tree.root(QStringLiteral(".local/share/Steam"));
    QDir().mkpath(tree.home() + QStringLiteral("/.steam"));
    QFile::link(native, tree.home() + QStringLiteral("/.steam/steam"));
    const QString ssd = tree.library(QStringLiteral("ssd"));
    tree.writeList(native, QStringLiteral("libraryfolders-new.vdf"), ssd);
    tree.writeManifest(native, 10, QStringLiteral("Half-Life"), QStringLiteral("4"),
                       QStringLiteral("Counter-Strike"));
    tree.writeManifest(ssd, 240, QStringLiteral("Counter-Strike Source"), QStringLiteral("1030"));
    // Debian's package with a list from before June 2021.
    const QString debian = tree.root(QStringLiteral(".steam/debian-installation"));
    const QString hdd = tree.library(QStringLiteral("hdd"));
    tree.writeList(debian, QStringLiteral("libraryfolders-old.vdf"), hdd);
    tree.writeManifest(hdd, 70, QStringLiteral("Half-Life"), QStringLiteral("4"),
                       QStringLiteral("Half-Life"));

    const SteamFindings found = SteamFolders(tree.home()).find();
    EXPECT_TRUE(found.steamFound);
    EXPECT_FALSE(found.flatpakFound);
    EXPECT_TRUE(found.problems.isEmpty()) << found.problems.join(u'\n').toStdString();
    EXPECT_EQ(folderOf(found, 10), canonical(native) + QStringLiteral("/steamapps/common/Half-Life"));
    EXPECT_EQ(folderOf(found, 240),
              canonical(ssd) + QStringLiteral("/steamapps/common/Counter-Strike Source"));
    EXPECT_EQ(folderOf(found, 70), canonical(hdd) + QStringLiteral("/steamapps/common/Half-Life"));
    ASSERT_TRUE(found.copy(240));
    EXPECT_EQ(found.copy(240)->name, QStringLiteral("Counter-Strike: Source"));
    EXPECT_EQ(found.copy(240)->client, SteamClient::Path);
    EXPECT_FALSE(found.copy(80));
    EXPECT_FALSE(found.copy(320));
}

TEST(SteamLibrary, SnapAndFlatpakCopiesAreFoundAndTheFlatpaksOwnPathsAreReadInsideIt)
{
    SteamHome tree;
    const QString snap = tree.root(QStringLiteral("snap/steam/common/.local/share/Steam"));
    tree.writeManifest(snap, 80, QStringLiteral("Half-Life"), QStringLiteral("4"),
                       QStringLiteral("Condition Zero"));
    // Steam inside the Flatpak writes its own root as the sandbox sees it: ~/.local/share/Steam,
    // which on the host is the Flatpak's folder (nothing lies at ~/.local/share/Steam here).
    const QString flatpak = tree.root(QStringLiteral(".var/app/com.valvesoftware.Steam/.local/share/Steam"));
    const QString sandboxRoot = tree.home() + QStringLiteral("/.local/share/Steam");
    QDir().mkpath(flatpak + QStringLiteral("/games2/steamapps"));
    tree.writeList(flatpak, QStringLiteral("libraryfolders-new.vdf"),
                   sandboxRoot + QStringLiteral("/games2"));
    tree.writeManifest(flatpak + QStringLiteral("/games2"), 320, QStringLiteral("Half-Life 2 Deathmatch"),
                       QStringLiteral("4"), QStringLiteral("Half-Life 2: Deathmatch"));

    const SteamFindings found = SteamFolders(tree.home()).find();
    EXPECT_TRUE(found.flatpakFound);
    EXPECT_TRUE(found.problems.isEmpty()) << found.problems.join(u'\n').toStdString();
    ASSERT_TRUE(found.copy(80));
    EXPECT_EQ(found.copy(80)->client, SteamClient::Path);
    EXPECT_EQ(found.copy(80)->folder, canonical(snap) + QStringLiteral("/steamapps/common/Half-Life"));
    ASSERT_TRUE(found.copy(320));
    EXPECT_EQ(found.copy(320)->client, SteamClient::Flatpak);
    EXPECT_EQ(found.copy(320)->folder,
              flatpak + QStringLiteral("/games2/steamapps/common/Half-Life 2 Deathmatch"));
}

TEST(SteamLibrary, BrokenOrUnreadableFilesAreNamedAndTheOtherCopiesStillFound)
{
    SteamHome tree;
    const QString root = tree.root(QStringLiteral(".local/share/Steam"));
    SteamHome::write(root + QStringLiteral("/steamapps/libraryfolders.vdf"),
                     "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/mnt/gam");
    tree.writeManifest(root, 10, QStringLiteral("Half-Life"), QStringLiteral("4"),
                       QStringLiteral("Counter-Strike"));
    // A folder where the manifest belongs cannot be read, even by the superuser.
    QDir().mkpath(root + QStringLiteral("/steamapps/appmanifest_240.acf"));
    tree.writeManifest(root, 80, QString());
    tree.writeManifest(root, 320, QStringLiteral("../../.."));
    // Being downloaded: not offered, and nothing wrong with it.
    tree.writeManifest(root, 70, QStringLiteral("Half-Life"), QStringLiteral("1026"));

    const SteamFindings found = SteamFolders(tree.home()).find();
    EXPECT_EQ(folderOf(found, 10), canonical(root) + QStringLiteral("/steamapps/common/Half-Life"));
    EXPECT_FALSE(found.copy(240));
    EXPECT_FALSE(found.copy(80));
    EXPECT_FALSE(found.copy(320));
    EXPECT_FALSE(found.copy(70));
    const QString apps = canonical(root) + QStringLiteral("/steamapps/");
    ASSERT_EQ(found.problems.size(), 4) << found.problems.join(u'\n').toStdString();
    EXPECT_EQ(found.problems[0],
              QStringLiteral("Steam's library list ") + apps +
                  QStringLiteral("libraryfolders.vdf is broken at line 5: a quoted text is not "
                                 "closed."));
    EXPECT_EQ(found.problems[1], QStringLiteral("Steam's manifest ") + apps +
                                     QStringLiteral("appmanifest_80.acf names no game folder (installdir)."));
    // The reason is the system's own.
    EXPECT_TRUE(found.problems[2].startsWith(QStringLiteral("Steam's manifest ") + apps +
                                             QStringLiteral("appmanifest_240.acf cannot be read: ")))
        << found.problems[2].toStdString();
    EXPECT_EQ(found.problems[3],
              QStringLiteral("Steam's manifest ") + apps +
                  QStringLiteral("appmanifest_320.acf names a game folder outside its library: "
                                 "../../..."));
}

TEST(SteamLibrary, WithoutSteamNothingIsFoundNothingIsSaidAndNothingIsOffered)
{
    SteamHome tree;
    QDir().mkpath(tree.home() + QStringLiteral("/.steam")); // a leftover without steamapps
    const SteamFolders steam(tree.home());
    const SteamFindings found = steam.find();
    EXPECT_FALSE(found.steamFound);
    EXPECT_TRUE(found.copies.isEmpty());
    EXPECT_TRUE(found.problems.isEmpty());
    QStringList problems{QStringLiteral("stale")};
    for (int slot = 0; slot < 6; ++slot)
        EXPECT_TRUE(vantry::launch::offeredClients(steam, slot, &problems).isEmpty()) << slot;
}

TEST(SteamLibrary, BrowseOffersSteamsCopyOfTheSlotsOwnGameAndTheProblemsMet)
{
    SteamHome tree;
    const QString root = tree.root(QStringLiteral(".local/share/Steam"));
    tree.writeManifest(root, 240, QStringLiteral("Counter-Strike Source"));
    SteamHome::write(root + QStringLiteral("/steamapps/appmanifest_10.acf"),
                     "\"AppState\" { \"StateFlags\" ");
    const SteamFolders steam(tree.home());

    QStringList problems;
    const auto css = vantry::launch::offeredClients(steam, 4, &problems);
    ASSERT_EQ(css.size(), 1);
    EXPECT_EQ(css[0].first, QStringLiteral("Steam: Counter-Strike: Source (") + canonical(root) +
                                QStringLiteral("/steamapps/common/Counter-Strike Source)"));
    EXPECT_EQ(css[0].second, QStringLiteral("steam://240"));
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems[0].contains(QStringLiteral("appmanifest_10.acf is broken at line 1")))
        << problems[0].toStdString();
    // CS 1.5 is not on Steam, and the other slots' games are not installed.
    for (int slot : {0, 1, 2, 3, 5})
        EXPECT_TRUE(vantry::launch::offeredClients(steam, slot, nullptr).isEmpty()) << slot;
}
