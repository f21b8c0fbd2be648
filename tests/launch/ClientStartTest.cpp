// The launcher starting real stand-ins for Linux clients, Windows clients under a stand-in `wine`,
// and Steam's copies through stand-in `steam` and `flatpak` programs, found on a PATH of their own.
#include "launch/ClientStart.h"

#include "LaunchFixtures.h"
#include "SteamFixtures.h"
#include "browser/StaticSettings.h"
#include "launch/Launcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using vantry::launch::Launcher;
using vantry::launch::pickedClientNotice;
using vantry::launch::SteamFolders;
using vantry::test::FakeHost;
using vantry::test::PathOverride;
using vantry::test::Probe;
using vantry::test::RecordingPrompter;
using vantry::test::SteamHome;
using Outcome = Launcher::Outcome;
using Image = vantry::query::Image;

namespace {

QStringList words(std::initializer_list<const char*> list)
{
    QStringList out;
    for (const char* w : list)
        out << QString::fromUtf8(w);
    return out;
}

struct ClientStartFixture : ::testing::Test
{
    vantry::browser::StaticSettings settings;
    FakeHost host;
    RecordingPrompter prompts;
    Probe probe;
    SteamHome tree;
    SteamFolders steam{tree.home()};
    Launcher launcher{settings, host};
    // The stand-ins' folder is the whole PATH: the machine's own wine or steam never answers.
    PathOverride path{probe.folder(QStringLiteral("bin"))};

    ClientStartFixture()
    {
        QDir().mkpath(probe.folder(QStringLiteral("bin")));
        launcher.setSteamLibrary(steam);
    }

    QString canonical(const QString& p) const { return QFileInfo(p).canonicalFilePath(); }

    // A Windows client: any file that begins with the DOS header, not marked executable.
    QString windowsClient(const QString& folder, const QString& name = QStringLiteral("hl.exe")) const
    {
        const QString file = probe.folder(folder) + u'/' + name;
        SteamHome::write(file, QByteArray("MZ\x90\0\3\0\0\0", 8) + QByteArray(120, '\0'));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        return file;
    }

    // Joins a server of that kind with a password given for it; the record of the started program.
    std::optional<Probe::Record> join(const char* kind, const QString& record)
    {
        host.rows.clear();
        host.selected = host.add(QString::fromLatin1(kind), QStringLiteral("127.0.0.5"),
                                 QStringLiteral("27015"), {3, 16}, Image::Password);
        launcher.givePassword(QStringLiteral("pass word"),
                              *vantry::query::Endpoint::parse("127.0.0.5:27015"));
        probe.expect(record);
        const Outcome outcome = launcher.play();
        EXPECT_EQ(outcome, Outcome::Started) << kind;
        if (outcome != Outcome::Started) {
            for (const auto& box : prompts.messages)
                ADD_FAILURE() << box.text.toStdString();
            return std::nullopt;
        }
        return probe.wait();
    }
};

} // namespace

TEST_F(ClientStartFixture, PasswordComesBeforeConnectOnEveryRoadToTheGame)
{
    // connect carries no password: the engine sends the password it holds when it connects, so
    // "+password" after "+connect" comes too late.
    const QStringList expectedTail = words({"+password", "pass word", "+connect", "127.0.0.5:27015"});

    settings.paths[2] = probe.install(QStringLiteral("linux"), QStringLiteral("hl_linux"));
    auto record = join("1.6", QStringLiteral("native"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments, words({"-game", "cstrike"}) + expectedTail);

    probe.install(QStringLiteral("bin"), QStringLiteral("wine"));
    settings.paths[1] = windowsClient(QStringLiteral("won"));
    record = join("1.5", QStringLiteral("wine"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments.mid(1), words({"-game", "cstrike", "-console"}) + expectedTail);

    probe.install(QStringLiteral("bin"), QStringLiteral("steam"));
    settings.paths[5] = QStringLiteral("steam://320");
    record = join("HL2", QStringLiteral("steam"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments, words({"-applaunch", "320", "-steam", "-game", "hl2mp"}) + expectedTail);
}

TEST_F(ClientStartFixture, LinuxClientStartsInItsFolderWithQuotedParametersKeptWhole)
{
    settings.paths[0] = probe.install(QStringLiteral("Half-Life"), QStringLiteral("hl.sh"));
    settings.params[0] = QStringLiteral("-console +name \"Big Joe\" +exec 'my cfg.cfg' \\$HOME;x");
    host.selected = host.add(QStringLiteral("HL"), QStringLiteral("127.0.0.5"), QStringLiteral("27015"));
    probe.expect(QStringLiteral("hl"));
    ASSERT_EQ(launcher.play(), Outcome::Started);
    const auto record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_EQ(canonical(record->workingDirectory), canonical(probe.folder(QStringLiteral("Half-Life"))));
    EXPECT_EQ(record->arguments, words({"-console", "+name", "Big Joe", "+exec", "my cfg.cfg", "$HOME;x",
                                        "+connect", "127.0.0.5:27015"}));
    EXPECT_FALSE(host.visible);
}

TEST_F(ClientStartFixture, UnclosedQuoteInTheStartParametersStartsNothingAndSaysWhere)
{
    settings.paths[2] = probe.install(QStringLiteral("cs"), QStringLiteral("hl_linux"));
    settings.params[2] = QStringLiteral("-game cstrike +name \"Big Joe");
    host.selected = host.add(QStringLiteral("1.6"), QStringLiteral("127.0.0.5"), QStringLiteral("27015"));
    probe.expect(QStringLiteral("quote"));
    EXPECT_EQ(launcher.play(), Outcome::StartFailed);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(prompts.messages[0].text,
              QStringLiteral("Unable to start ") + settings.paths[2] +
                  QStringLiteral(": the start parameters cannot be read: the double "
                                 "quote at character 21 is not closed"));
    EXPECT_TRUE(host.visible);
    EXPECT_EQ(probe.starts(), 0);
}

TEST_F(ClientStartFixture, WindowsClientStartsThroughWineInItsOwnFolderAndWithoutWineSaysWhatToInstall)
{
    const QString exe = windowsClient(QStringLiteral("SIERRA/Half-Life"));
    settings.paths[1] = exe;
    host.selected = host.add(QStringLiteral("1.5"), QStringLiteral("127.0.0.5"), QStringLiteral("27016"));

    probe.expect(QStringLiteral("nowine"));
    EXPECT_EQ(launcher.play(), Outcome::StartFailed);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(
        prompts.messages[0].text,
        QStringLiteral("Unable to start ") + exe +
            QStringLiteral(": it is a Windows program and Wine is not installed; install Wine (on Debian the "
                           "packages wine and wine32:i386)"));
    EXPECT_TRUE(host.visible);
    EXPECT_EQ(probe.starts(), 0);

    probe.install(QStringLiteral("bin"), QStringLiteral("wine"));
    prompts.messages.clear();
    probe.expect(QStringLiteral("wine"));
    ASSERT_EQ(launcher.play(), Outcome::Started);
    const auto record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_EQ(canonical(record->workingDirectory),
              canonical(probe.folder(QStringLiteral("SIERRA/Half-Life"))));
    EXPECT_EQ(record->arguments,
              QStringList{exe} + words({"-game", "cstrike", "-console", "+connect", "127.0.0.5:27016"}));
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(ClientStartFixture, SteamCopiesStartThroughTheirOwnSteamAndAMissingSteamIsNamed)
{
    settings.paths[3] = QStringLiteral("steam://80");
    host.selected = host.add(QStringLiteral("CZ"), QStringLiteral("127.0.0.5"), QStringLiteral("27017"));
    probe.expect(QStringLiteral("nosteam"));
    EXPECT_EQ(launcher.play(), Outcome::StartFailed);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(
        prompts.messages[0].text,
        QStringLiteral("Unable to start steam://80: Steam is not installed (no program \"steam\" on the "
                       "PATH); install Steam (on Debian the package steam-installer) or choose the game's "
                       "own client"));
    EXPECT_TRUE(host.visible);
    EXPECT_EQ(probe.starts(), 0);

    // A game no library holds is still Steam's to start: it offers to install it.
    probe.install(QStringLiteral("bin"), QStringLiteral("steam"));
    probe.expect(QStringLiteral("steam"));
    ASSERT_EQ(launcher.play(), Outcome::Started);
    auto record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments,
              words({"-applaunch", "80", "-game", "czero", "+connect", "127.0.0.5:27017"}));

    // A copy in the Flatpak is started through its own Steam, not the `steam` on PATH.
    const QString flatpakRoot =
        tree.root(QStringLiteral(".var/app/com.valvesoftware.Steam/.local/share/Steam"));
    tree.writeManifest(flatpakRoot, 240, QStringLiteral("Counter-Strike Source"));
    settings.paths[4] = QStringLiteral("steam://240");
    host.rows.clear();
    host.selected = host.add(QStringLiteral("CSS"), QStringLiteral("127.0.0.5"), QStringLiteral("27015"));
    prompts.messages.clear();
    probe.expect(QStringLiteral("noflatpak"));
    EXPECT_EQ(launcher.play(), Outcome::StartFailed);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].text,
              QStringLiteral("Unable to start steam://240: the game is in Steam's Flatpak, but the program "
                             "\"flatpak\" is not installed; install the package flatpak"));
    EXPECT_EQ(probe.starts(), 0);
    probe.install(QStringLiteral("bin"), QStringLiteral("flatpak"));
    probe.expect(QStringLiteral("flatpak"));
    ASSERT_EQ(launcher.play(), Outcome::Started);
    record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments, words({"run", "com.valvesoftware.Steam", "-applaunch", "240", "-steam",
                                        "-game", "cstrike", "-console", "+connect", "127.0.0.5:27015"}));

    // With only the Flatpak's Steam, a game it does not hold is asked of it too.
    QFile::remove(probe.folder(QStringLiteral("bin/steam")));
    host.rows.clear();
    host.selected = host.add(QStringLiteral("CZ"), QStringLiteral("127.0.0.5"), QStringLiteral("27017"));
    probe.expect(QStringLiteral("flatpak-cz"));
    ASSERT_EQ(launcher.play(), Outcome::Started);
    record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments.mid(0, 4), words({"run", "com.valvesoftware.Steam", "-applaunch", "80"}));
}

TEST_F(ClientStartFixture, SourceLaunchScriptGoesThroughSteamWhenSteamHasTheGameAndRunsItselfOtherwise)
{
    probe.install(QStringLiteral("bin"), QStringLiteral("steam"));
    settings.paths[5] = probe.install(QStringLiteral("Half-Life 2 Deathmatch"), QStringLiteral("hl2.sh"));
    host.selected = host.add(QStringLiteral("HL2"), QStringLiteral("127.0.0.5"), QStringLiteral("27015"));

    // No Steam copy: perhaps an old build that runs by itself; it is started as picked.
    probe.expect(QStringLiteral("script"));
    ASSERT_EQ(launcher.play(), Outcome::Started);
    auto record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_EQ(canonical(record->workingDirectory),
              canonical(probe.folder(QStringLiteral("Half-Life 2 Deathmatch"))));
    EXPECT_EQ(record->arguments.first(), QStringLiteral("-steam"));

    const QString root = tree.root(QStringLiteral(".local/share/Steam"));
    tree.writeManifest(root, 320, QStringLiteral("Half-Life 2 Deathmatch"));
    probe.expect(QStringLiteral("through-steam"));
    ASSERT_EQ(launcher.play(), Outcome::Started);
    record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments,
              words({"-applaunch", "320", "-steam", "-game", "hl2mp", "+connect", "127.0.0.5:27015"}));
    EXPECT_EQ(canonical(launcher.lastProgram()), canonical(probe.folder(QStringLiteral("bin/steam"))));

    // The same script in a slot of the older engine is just a program.
    settings.paths[0] = settings.paths[5];
    host.rows.clear();
    host.selected = host.add(QStringLiteral("HL"), QStringLiteral("127.0.0.5"), QStringLiteral("27015"));
    probe.expect(QStringLiteral("hl-slot"));
    ASSERT_EQ(launcher.play(), Outcome::Started);
    record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments.first(), QStringLiteral("-console"));
}

TEST_F(ClientStartFixture, APickedSteamProgramStartsTheSlotsGameWithApplaunch)
{
    settings.paths[2] = probe.install(QStringLiteral("usr/games"), QStringLiteral("steam"));
    host.selected = host.add(QStringLiteral("1.6"), QStringLiteral("127.0.0.5"), QStringLiteral("27015"));
    probe.expect(QStringLiteral("picked"));
    ASSERT_EQ(launcher.play(), Outcome::Started);
    const auto record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments,
              words({"-applaunch", "10", "-game", "cstrike", "+connect", "127.0.0.5:27015"}));

    // CS 1.5 is not on Steam: nothing to ask it for.
    settings.paths[1] = settings.paths[2];
    host.rows.clear();
    host.selected = host.add(QStringLiteral("1.5"), QStringLiteral("127.0.0.5"), QStringLiteral("27015"));
    EXPECT_EQ(launcher.play(), Outcome::StartFailed);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].text,
              QStringLiteral("Unable to start ") + settings.paths[1] +
                  QStringLiteral(": Steam does not sell this game; choose the game's "
                                 "own client"));
}

TEST_F(ClientStartFixture, PickedScriptsWindowsProgramsAndPlainFilesAreExplainedWhenPicked)
{
    const QString script = probe.install(QStringLiteral("css"), QStringLiteral("hl2.sh"));
    EXPECT_EQ(
        pickedClientNotice(steam, 4, script),
        QStringLiteral("hl2.sh refuses to start outside Steam's runtime. Install Counter-Strike: Source in "
                       "Steam, then choose its Steam copy with the browse button."));
    tree.writeManifest(tree.root(QStringLiteral(".steam/debian-installation")), 240,
                       QStringLiteral("Counter-Strike Source"));
    EXPECT_EQ(
        pickedClientNotice(steam, 4, script),
        QStringLiteral("hl2.sh refuses to start outside Steam's runtime; Counter-Strike: Source will be "
                       "started through Steam instead."));
    EXPECT_TRUE(pickedClientNotice(steam, 0, script).isEmpty());
    EXPECT_TRUE(pickedClientNotice(steam, 4, QStringLiteral("steam://240")).isEmpty());

    const QString exe = windowsClient(QStringLiteral("won"));
    EXPECT_EQ(
        pickedClientNotice(steam, 1, exe),
        QStringLiteral("hl.exe is a Windows program and Wine is not installed; install Wine (on Debian the "
                       "packages wine and wine32:i386) to start it."));
    probe.install(QStringLiteral("bin"), QStringLiteral("wine"));
    EXPECT_TRUE(pickedClientNotice(steam, 1, exe).isEmpty());

    const QString text = probe.folder(QStringLiteral("linux/hl_linux"));
    SteamHome::write(text, "#!/bin/sh\n");
    EXPECT_EQ(pickedClientNotice(steam, 2, text),
              QStringLiteral("hl_linux is not an executable file; it cannot start the game."));
    EXPECT_TRUE(
        pickedClientNotice(steam, 2, probe.install(QStringLiteral("linux"), QStringLiteral("hl_linux")))
            .isEmpty());
}

TEST_F(ClientStartFixture, GoldSourceClientInsideSteamsCopyStartsThroughSteamWithThePasswordForTheGame)
{
    probe.install(QStringLiteral("bin"), QStringLiteral("steam"));
    // Counter-Strike as Steam installs it, on a second drive that the home's library list names.
    const QString root = tree.root(QStringLiteral(".local/share/Steam"));
    const QString drive = tree.library(QStringLiteral("games"));
    tree.writeList(root, QStringLiteral("libraryfolders-new.vdf"), drive);
    tree.writeManifest(drive, 10, QStringLiteral("Half-Life"), QStringLiteral("4"),
                       QStringLiteral("Counter-Strike"));
    const QString client = drive + QStringLiteral("/steamapps/common/Half-Life/hl_linux");
    ASSERT_TRUE(QFile::copy(QStringLiteral(VANTRY_LAUNCH_PROBE), client));
    QFile::setPermissions(client, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    settings.paths[2] = client;

    auto record = join("1.6", QStringLiteral("steam-hl"));
    ASSERT_TRUE(record);
    // hl_linux started by itself would miss Steam's runtime; Steam passes the game its arguments.
    EXPECT_EQ(record->arguments, words({"-applaunch", "10", "-game", "cstrike", "+password", "pass word",
                                        "+connect", "127.0.0.5:27015"}));
    EXPECT_EQ(canonical(launcher.lastProgram()), canonical(probe.folder(QStringLiteral("bin/steam"))));
    EXPECT_EQ(
        pickedClientNotice(steam, 2, client),
        QStringLiteral("hl_linux lies in Steam's copy of Counter-Strike; it will be started through Steam, "
                       "which gives the game its runtime."));

    // The same client for Half-Life, which Steam has not installed: started by itself, in its folder.
    settings.paths[0] = client;
    record = join("HL", QStringLiteral("direct-hl"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments.first(), QStringLiteral("-console"));
    EXPECT_EQ(canonical(record->workingDirectory),
              canonical(drive + QStringLiteral("/steamapps/common/Half-Life")));

    // A copy of the client kept outside Steam's folders is the user's own: started directly.
    settings.paths[2] = probe.install(QStringLiteral("own/Half-Life"), QStringLiteral("hl_linux"));
    record = join("1.6", QStringLiteral("own-hl"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments.first(), QStringLiteral("-game"));
}

TEST_F(ClientStartFixture, LaunchWrapperOfTheGameWrapsEveryStartAsSteamsLaunchOptionsDo)
{
    settings.paths[2] = probe.install(QStringLiteral("linux"), QStringLiteral("hl_linux"));
    const QString client = settings.paths[2];
    probe.install(QStringLiteral("bin"), QStringLiteral("gamemoderun"));
    host.selected = host.add(QStringLiteral("1.6"), QStringLiteral("127.0.0.5"), QStringLiteral("27015"));
    const QStringList game = words({"-game", "cstrike", "+connect", "127.0.0.5:27015"});
    const auto start = [&](const QString& wrapper, const QString& record) -> std::optional<Probe::Record> {
        settings.wrappers[2] = wrapper;
        probe.expect(record);
        const Outcome outcome = launcher.play();
        EXPECT_EQ(outcome, Outcome::Started) << wrapper.toStdString();
        for (const auto& box : prompts.messages)
            ADD_FAILURE() << box.text.toStdString();
        prompts.messages.clear();
        return outcome == Outcome::Started ? probe.wait() : std::nullopt;
    };

    // %command% stands for the client and its arguments; the game keeps its own folder.
    auto record = start(QStringLiteral("gamemoderun %command%"), QStringLiteral("placeholder"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments, QStringList{client} + game);
    EXPECT_EQ(canonical(record->workingDirectory), canonical(probe.folder(QStringLiteral("linux"))));
    EXPECT_EQ(canonical(launcher.lastProgram()), canonical(probe.folder(QStringLiteral("bin/gamemoderun"))));

    // Without %command% the client comes last; quoted words stay whole.
    record = start(QStringLiteral("gamemoderun --opt 'two words'"), QStringLiteral("appended"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments, words({"--opt", "two words"}) + QStringList{client} + game);

    // Words around %command% stay where they are.
    record = start(QStringLiteral("gamemoderun %command% -- tail"), QStringLiteral("around"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments, QStringList{client} + game + words({"--", "tail"}));

    // Leading assignments set the game's environment through env.
    probe.install(QStringLiteral("bin"), QStringLiteral("env"));
    record = start(QStringLiteral("MANGOHUD=1 DXVK_HUD=fps %command%"), QStringLiteral("env"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments, words({"MANGOHUD=1", "DXVK_HUD=fps"}) + QStringList{client} + game);

    // Through Steam too: the wrapper wraps the start that Steam is asked for.
    probe.install(QStringLiteral("bin"), QStringLiteral("steam"));
    settings.paths[2] = QStringLiteral("steam://10");
    record = start(QStringLiteral("gamemoderun %command%"), QStringLiteral("steam"));
    ASSERT_TRUE(record);
    EXPECT_EQ(canonical(record->arguments.first()), canonical(probe.folder(QStringLiteral("bin/steam"))));
    EXPECT_EQ(record->arguments.mid(1), words({"-applaunch", "10"}) + words({"-game", "cstrike"}) +
                                            words({"+connect", "127.0.0.5:27015"}));

    // Another game's wrapper is not this one's.
    settings.paths[2] = client;
    settings.wrappers[2].clear();
    settings.wrappers[0] = QStringLiteral("gamemoderun %command%");
    probe.expect(QStringLiteral("plain"));
    ASSERT_EQ(launcher.play(), Outcome::Started);
    record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments, game);
}

TEST_F(ClientStartFixture, LaunchWrapperThatCannotRunStartsNothingAndSaysWhy)
{
    settings.paths[2] = probe.install(QStringLiteral("linux"), QStringLiteral("hl_linux"));
    host.selected = host.add(QStringLiteral("1.6"), QStringLiteral("127.0.0.5"), QStringLiteral("27015"));
    probe.expect(QStringLiteral("never"));

    settings.wrappers[2] = QStringLiteral("prime-run %command%"); // not installed here
    EXPECT_EQ(launcher.play(), Outcome::StartFailed);
    settings.wrappers[2] = QStringLiteral("gamemoderun 'unclosed %command%");
    EXPECT_EQ(launcher.play(), Outcome::StartFailed);
    ASSERT_EQ(prompts.messages.size(), 2);
    EXPECT_EQ(prompts.messages[0].text, QStringLiteral("Unable to start ") + settings.paths[2] +
                                            QStringLiteral(": the launch wrapper's program \"prime-run\" is "
                                                           "not found"));
    EXPECT_TRUE(prompts.messages[1].text.contains(QStringLiteral("the launch wrapper cannot be read: ")))
        << prompts.messages[1].text.toStdString();
    EXPECT_TRUE(host.visible);
    EXPECT_EQ(probe.starts(), 0);
}
