// Servers of protocol 49 and the Xash3D FWGS client: which client a server is joined with, what
// that client is given (its game folder, the password, Steam's Half-Life as its game data), the
// Flatpak, the clients the browse button finds, and one GoldSrc client for every GoldSrc game. Real
// client starts (the stand-in client records its arguments and environment), a Steam home in a
// temporary folder.
#include "launch/XashClient.h"

#include "LaunchFixtures.h"
#include "SteamFixtures.h"
#include "browser/StaticSettings.h"
#include "launch/GameClients.h"
#include "launch/Launcher.h"
#include "launch/SteamLibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using vantry::browser::StaticSettings;
using vantry::launch::JoinTarget;
using vantry::launch::Launcher;
using vantry::launch::SteamFolders;
using vantry::query::Endpoint;
using vantry::query::Game;
using vantry::test::FakeHost;
using vantry::test::PathOverride;
using vantry::test::Probe;
using vantry::test::RecordingPrompter;
using vantry::test::SteamHome;
using Outcome = Launcher::Outcome;

namespace {

const QString ReadOnlyDir = QStringLiteral("XASH3D_RODIR");

Endpoint at(const char* text)
{
    return *Endpoint::parse(text);
}

QStringList words(std::initializer_list<const char*> list)
{
    QStringList out;
    for (const char* w : list)
        out << QString::fromUtf8(w);
    return out;
}

// Steam's Counter-Strike in Half-Life's shared folder of a temporary home; the user's own
// XASH3D_RODIR put aside for the test's life.
struct XashJoin : ::testing::Test
{
    XashJoin() : m_savedDir(qgetenv("XASH3D_RODIR")), m_hadDir(qEnvironmentVariableIsSet("XASH3D_RODIR"))
    {
        qunsetenv("XASH3D_RODIR");
        root = steamHome.root(QStringLiteral(".local/share/Steam"));
        steamHome.writeManifest(root, 10, QStringLiteral("Half-Life"), QStringLiteral("4"),
                                QStringLiteral("Counter-Strike"));
        halfLife = QFileInfo(root + QStringLiteral("/steamapps/common/Half-Life")).canonicalFilePath();
        launcher.setSteamLibrary(steam);
        probe.watchEnvironment({ReadOnlyDir, QStringLiteral("VANTRY_WRAPPED")});
        settings.xash = probe.install(QStringLiteral("xash"), QStringLiteral("xash3d"));
        settings.paths[2] = probe.install(QStringLiteral("goldsrc"), QStringLiteral("hl_linux"));
    }
    ~XashJoin() override
    {
        if (m_hadDir)
            qputenv("XASH3D_RODIR", m_savedDir);
    }

    // A listed row of that game and protocol, selected.
    void select(const char* kind, const char* server, int protocol)
    {
        host.rows.clear();
        host.selected = host.add(QString::fromLatin1(kind), at(server));
        host.rows[host.selected].protocol = protocol;
    }
    QString canonical(const QString& path) const { return QFileInfo(path).canonicalFilePath(); }

    SteamHome steamHome;
    QString root;
    QString halfLife;
    SteamFolders steam{steamHome.home()};
    StaticSettings settings;
    FakeHost host;
    RecordingPrompter prompts;
    Probe probe;
    Launcher launcher{settings, host};

private:
    QByteArray m_savedDir;
    bool m_hadDir;
};

} // namespace

TEST_F(XashJoin, Protocol49StartsTheXashClientWithItsGameFolderPasswordAndSteamsHalfLifeAnd48TheGameClient)
{
    ASSERT_FALSE(halfLife.isEmpty());
    select("1.6", "127.0.0.5:27015", 49);
    launcher.givePassword(QStringLiteral("pw"), at("127.0.0.5:27015"));
    probe.expect(QStringLiteral("xash"));
    ASSERT_EQ(launcher.play(), Outcome::Started) << prompts.messages.value(0).text.toStdString();
    auto record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments,
              words({"-game", "cstrike", "+password", "pw", "+connect", "127.0.0.5:27015"}));
    EXPECT_EQ(canonical(record->workingDirectory), canonical(probe.folder(QStringLiteral("xash"))))
        << "in its own folder, beside the engine's libraries";
    EXPECT_EQ(record->environment, QStringList{ReadOnlyDir + u'=' + halfLife});
    EXPECT_FALSE(host.visible);

    // The same game on the older engine: its own client, as always, and no Xash variable.
    host.visible = true;
    select("1.6", "127.0.0.6:27015", 48);
    probe.expect(QStringLiteral("goldsrc"));
    ASSERT_EQ(launcher.play(), Outcome::Started);
    record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments, words({"-game", "cstrike", "+connect", "127.0.0.6:27015"}));
    EXPECT_EQ(canonical(record->workingDirectory), canonical(probe.folder(QStringLiteral("goldsrc"))));
    EXPECT_TRUE(record->environment.isEmpty()) << record->environment.join(u' ').toStdString();

    // Half-Life and Condition Zero servers of protocol 49 get their own game folders.
    for (const auto& [kind, folder] : {std::pair{"HL", "valve"}, std::pair{"CZ", "czero"}}) {
        select(kind, "127.0.0.7:27015", 49);
        probe.expect(QString::fromLatin1(kind));
        ASSERT_EQ(launcher.play(), Outcome::Started) << kind;
        record = probe.wait();
        ASSERT_TRUE(record) << kind;
        EXPECT_EQ(record->arguments, words({"-game", folder, "+connect", "127.0.0.7:27015"})) << kind;
    }
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(XashJoin, TheGamesLaunchWrapperGoesAroundItAndTheUsersOwnGameDataFolderIsKept)
{
    // An `env` wrapper adds its variable; the one the program sets comes through it.
    PathOverride path(QStringLiteral("/usr/bin:/bin"));
    settings.wrappers[2] = QStringLiteral("VANTRY_WRAPPED=1 %command%");
    select("1.6", "127.0.0.5:27015", 49);
    probe.expect(QStringLiteral("wrapped"));
    ASSERT_EQ(launcher.play(), Outcome::Started) << prompts.messages.value(0).text.toStdString();
    auto record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->environment,
              (QStringList{ReadOnlyDir + u'=' + halfLife, QStringLiteral("VANTRY_WRAPPED=1")}));
    EXPECT_EQ(launcher.lastProgram(), QStringLiteral("/usr/bin/env"));

    // A folder the user named himself wins over Steam's.
    settings.wrappers[2].clear();
    qputenv("XASH3D_RODIR", "/srv/halflife");
    probe.expect(QStringLiteral("own"));
    ASSERT_EQ(launcher.play(), Outcome::Started);
    record = probe.wait();
    qunsetenv("XASH3D_RODIR");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->environment, QStringList{QStringLiteral("XASH3D_RODIR=/srv/halflife")});

    // Without Steam's Half-Life nothing is set.
    ASSERT_TRUE(QFile::remove(root + QStringLiteral("/steamapps/appmanifest_10.acf")));
    probe.expect(QStringLiteral("nosteam"));
    ASSERT_EQ(launcher.play(), Outcome::Started);
    record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->environment.isEmpty());
}

TEST_F(XashJoin, TheFlatpakRunsThroughFlatpakWithSteamsFolderOpenedToItsSandbox)
{
    const QString runner = probe.install(QStringLiteral("bin"), QStringLiteral("flatpak"));
    PathOverride path(QFileInfo(runner).absolutePath());
    settings.xash = vantry::launch::xashFlatpakPath();
    select("1.6", "127.0.0.5:27015", 49);
    probe.expect(QStringLiteral("flatpak"));
    ASSERT_EQ(launcher.play(), Outcome::Started) << prompts.messages.value(0).text.toStdString();
    const auto record = probe.wait();
    ASSERT_TRUE(record);
    QStringList expected{QStringLiteral("run"), QStringLiteral("--env=XASH3D_RODIR=") + halfLife,
                         QStringLiteral("--filesystem=") + halfLife + QStringLiteral(":ro"),
                         QStringLiteral("su.xash.Engine.Compat.i386")};
    expected += words({"-game", "cstrike", "+connect", "127.0.0.5:27015"});
    EXPECT_EQ(record->arguments, expected);
}

TEST_F(XashJoin, AMissingOrBrokenClientSaysWhatToDoAndStartsNothing)
{
    // Not set: named as the options dialog names it, in the window's language.
    settings.xash.clear();
    select("1.6", "127.0.0.5:27015", 49);
    launcher.givePassword(QStringLiteral("pw"), at("127.0.0.5:27015"));
    EXPECT_EQ(launcher.play(), Outcome::MissingPath);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(
        prompts.messages[0].text,
        QStringLiteral("Клиент Xash3D FWGS не задан: этот сервер работает на Xash3D FWGS (протокол 49), "
                       "клиент GoldSrc к нему не подключится.\nЗадайте его в окне «Настройки» на "
                       "странице «Основные», поле «Клиент Xash3D FWGS:»."));
    EXPECT_TRUE(host.visible);
    EXPECT_FALSE(launcher.passwordGiven());

    // Set, but gone or not a program; the Flatpak without flatpak.
    const QString folder = probe.folder(QStringLiteral("xash"));
    QFile notProgram(folder + QStringLiteral("/readme.txt"));
    ASSERT_TRUE(notProgram.open(QIODevice::WriteOnly));
    notProgram.close();
    PathOverride path(folder);
    const std::pair<QString, QString> broken[] = {
        {folder + QStringLiteral("/gone/xash3d"), QStringLiteral("file not found")},
        {folder, QStringLiteral("it is a folder")},
        {folder + QStringLiteral("/readme.txt"), QStringLiteral("not an executable file")},
        {vantry::launch::xashFlatpakPath(), QStringLiteral("the program \"flatpak\" is not installed")},
    };
    for (const auto& [client, reason] : broken) {
        prompts.messages.clear();
        settings.xash = client;
        EXPECT_EQ(launcher.play(), Outcome::StartFailed) << client.toStdString();
        ASSERT_EQ(prompts.messages.size(), 1);
        EXPECT_TRUE(prompts.messages[0].text.startsWith(QStringLiteral("Unable to start ") + client + u':'))
            << prompts.messages[0].text.toStdString();
        EXPECT_TRUE(prompts.messages[0].text.contains(reason)) << prompts.messages[0].text.toStdString();
        EXPECT_TRUE(host.visible);
    }
    EXPECT_EQ(probe.starts(), 0);
}

TEST_F(XashJoin, AnUnlistedServerNamedWithItsProtocolIsJoinedWithTheXashClient)
{
    probe.expect(QStringLiteral("unlisted"));
    ASSERT_EQ(launcher.join(JoinTarget{at("127.0.0.9:27016"), Game::CounterStrike16, {}, 49}),
              Outcome::Started);
    const auto record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_EQ(canonical(record->workingDirectory), canonical(probe.folder(QStringLiteral("xash"))));
    EXPECT_EQ(record->arguments, words({"-game", "cstrike", "+connect", "127.0.0.9:27016"}));
}

TEST_F(XashJoin, TheBrowseButtonFindsTheFlatpakForUserOrSystemAndXash3dOnThePath)
{
    const QString system = probe.folder(QStringLiteral("system-flatpak"));
    EXPECT_TRUE(vantry::launch::offeredXashClients(steamHome.home(), {system}).isEmpty());

    QDir().mkpath(system + QStringLiteral("/app/su.xash.Engine.Compat.i386/current"));
    using Offers = QList<std::pair<QString, QString>>;
    const std::pair<QString, QString> flatpak{QStringLiteral("Flatpak: su.xash.Engine.Compat.i386"),
                                              QStringLiteral("flatpak://su.xash.Engine.Compat.i386")};
    EXPECT_EQ(vantry::launch::offeredXashClients(steamHome.home(), {system}), Offers{flatpak});
    QDir().mkpath(steamHome.home() + QStringLiteral("/.local/share/flatpak/app/su.xash.Engine.Compat.i386"));
    EXPECT_EQ(vantry::launch::offeredXashClients(steamHome.home(), {}), Offers{flatpak}) << "per user";

    PathOverride path(probe.folder(QStringLiteral("xash")));
    EXPECT_EQ(vantry::launch::offeredXashClients(steamHome.home(), {}),
              (Offers{flatpak, {QStringLiteral("xash3d (") + settings.xash + u')', settings.xash}}));
}

TEST_F(XashJoin, OneGoldSrcClientServesEverySlotAndSteamsCopiesOnlyTheGamesSteamHas)
{
    using vantry::launch::sharedGoldSrcPath;
    const QString hl = settings.paths[2];
    for (int slot = 0; slot < 4; ++slot)
        EXPECT_EQ(sharedGoldSrcPath(steam, slot, hl), hl) << slot;
    EXPECT_EQ(sharedGoldSrcPath(steam, 4, hl), QString()) << "a Source game needs its own client";

    // Steam's Counter-Strike: CS 1.5 and 1.6 through it; no Half-Life or Condition Zero of Steam's.
    EXPECT_EQ(sharedGoldSrcPath(steam, 1, QStringLiteral("steam://10")), QStringLiteral("steam://10"));
    EXPECT_EQ(sharedGoldSrcPath(steam, 0, QStringLiteral("steam://10")), QString());
    EXPECT_EQ(vantry::launch::steamGoldSrcPaths(steam),
              (std::array<QString, 4>{QString(), QStringLiteral("steam://10"), QStringLiteral("steam://10"),
                                      QString()}));
    steamHome.writeManifest(root, 70, QStringLiteral("Half-Life"), QStringLiteral("4"),
                            QStringLiteral("Half-Life"));
    EXPECT_EQ(sharedGoldSrcPath(steam, 0, QStringLiteral("steam://10")), QStringLiteral("steam://70"));
    EXPECT_EQ(vantry::launch::steamGoldSrcPaths(steam)[0], QStringLiteral("steam://70"));
}
