#include "launch/Launcher.h"

#include "LaunchFixtures.h"
#include "browser/StaticSettings.h"
#include "launch/AutoConnect.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using vantry::browser::StaticSettings;
using vantry::launch::AutoConnect;
using vantry::launch::Launcher;
using vantry::launch::LaunchHost;
using vantry::query::Endpoint;
using vantry::test::FakeHost;
using vantry::test::Probe;
using vantry::test::RecordingPrompter;
using Outcome = Launcher::Outcome;
using Image = vantry::query::Image;

namespace {

struct LauncherFixture : ::testing::Test
{
    StaticSettings settings;
    FakeHost host;
    RecordingPrompter prompts;
    Probe probe;
    Launcher launcher{settings, host};

    QString canonical(const QString& path) const { return QFileInfo(path).canonicalFilePath(); }
};

Endpoint at(const char* address, const char* port)
{
    return *Endpoint::parse(std::string(address) + ':' + port);
}

} // namespace

TEST_F(LauncherFixture, StartsClientWithArgumentsInItsOwnFolderAndHidesTheWindow)
{
    settings.paths[2] = probe.install(QStringLiteral("cstrike16"));
    host.selected = host.add(QStringLiteral("1.6"), QStringLiteral("127.0.0.5"), QStringLiteral("27015"));
    // Left over from a prompt for another server.
    host.add(QStringLiteral("1.6"), QStringLiteral("127.0.0.9"), QStringLiteral("27015"));
    ASSERT_TRUE(launcher.acceptPassword(at("127.0.0.9", "27015"), QStringLiteral("old")));
    ASSERT_TRUE(launcher.passwordGiven());
    probe.expect(QStringLiteral("16"));

    ASSERT_EQ(launcher.play(), Outcome::Started);
    const auto record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_EQ(canonical(record->workingDirectory), canonical(probe.folder(QStringLiteral("cstrike16"))));
    EXPECT_NE(canonical(record->workingDirectory), canonical(QDir::currentPath()));
    EXPECT_EQ(record->arguments,
              (QStringList{QStringLiteral("-game"), QStringLiteral("cstrike"), QStringLiteral("+connect"),
                           QStringLiteral("127.0.0.5:27015")}));
    EXPECT_FALSE(host.visible);
    EXPECT_FALSE(launcher.passwordGiven());
    EXPECT_FALSE(host.tray);
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(LauncherFixture, EveryGameKindStartsItsOwnClientConditionZeroIncluded)
{
    const char* kinds[] = {"HL", "1.5", "1.6", "CZ", "CSS", "HL2"};
    for (int slot = 0; slot < 6; ++slot)
        settings.paths[static_cast<std::size_t>(slot)] = probe.install(QStringLiteral("slot%1").arg(slot));
    for (int slot = 0; slot < 6; ++slot) {
        const QString kind = QString::fromLatin1(kinds[slot]);
        host.rows.clear();
        host.selected = host.add(kind, QStringLiteral("127.0.0.5"), QStringLiteral("27015"));
        probe.expect(kind);
        ASSERT_EQ(launcher.play(), Outcome::Started) << kinds[slot];
        const auto record = probe.wait();
        ASSERT_TRUE(record) << kinds[slot];
        EXPECT_EQ(canonical(record->workingDirectory),
                  canonical(probe.folder(QStringLiteral("slot%1").arg(slot))));
        EXPECT_EQ(record->arguments.join(u' '), settings.params[static_cast<std::size_t>(slot)] +
                                                    QStringLiteral(" +connect 127.0.0.5:27015"));
    }
}

TEST_F(LauncherFixture, PasswordGoesOnlyToTheServerItWasGivenFor)
{
    settings.paths[2] = probe.install(QStringLiteral("cs"));
    const Endpoint locked = at("127.0.0.5", "27015");
    const Endpoint sameHost = at("127.0.0.5", "27016");
    host.selected = host.add(QStringLiteral("1.6"), locked, {3, 16}, Image::Password);
    host.add(QStringLiteral("1.6"), sameHost);

    // A protected row asks first and starts nothing.
    EXPECT_EQ(launcher.play(), Outcome::PromptShown);
    ASSERT_TRUE(host.promptFor);
    EXPECT_TRUE(*host.promptFor == locked);
    EXPECT_TRUE(launcher.lastProgram().isEmpty());

    // The prompt's OK: the second pass starts it with the password, whole.
    ASSERT_TRUE(launcher.acceptPassword(locked, QStringLiteral("s3 cret")));
    probe.expect(QStringLiteral("locked"));
    ASSERT_EQ(launcher.playServer(locked), Outcome::Started);
    auto record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments.mid(2),
              (QStringList{QStringLiteral("+password"), QStringLiteral("s3 cret"), QStringLiteral("+connect"),
                           QStringLiteral("127.0.0.5:27015")}));

    // Another server, even on the same host, gets no password.
    host.selected = 1;
    probe.expect(QStringLiteral("other"));
    ASSERT_EQ(launcher.play(), Outcome::Started);
    record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_FALSE(record->arguments.contains(QStringLiteral("+password")));
    EXPECT_FALSE(record->arguments.contains(QStringLiteral("s3 cret")));
    EXPECT_EQ(launcher.passwordParam(), QStringLiteral("+password s3 cret"));
    EXPECT_EQ(launcher.passwordParamFor(locked), QStringLiteral("+password s3 cret"));
    EXPECT_TRUE(launcher.passwordParamFor(sameHost).isEmpty());

    // After the launch the flag is down again: the protected row asks anew.
    host.selected = 0;
    host.promptCount = 0;
    EXPECT_EQ(launcher.play(), Outcome::PromptShown);
    EXPECT_EQ(host.promptCount, 1);
}

TEST_F(LauncherFixture, PasswordGivenForAnotherServerDoesNotSkipThePrompt)
{
    settings.paths[4] = probe.install(QStringLiteral("css"));
    launcher.givePassword(QStringLiteral("first"), at("127.0.0.5", "27015"));
    host.selected = host.add(QStringLiteral("CSS"), QStringLiteral("127.0.0.6"), QStringLiteral("27015"),
                             {1, 16}, Image::Password);
    EXPECT_EQ(launcher.play(), Outcome::PromptShown);
    ASSERT_TRUE(host.promptFor);
    EXPECT_EQ(*host.promptFor, at("127.0.0.6", "27015"));
    EXPECT_TRUE(launcher.lastProgram().isEmpty());
    EXPECT_TRUE(host.visible);
}

TEST_F(LauncherFixture, ClientThatCannotStartIsReportedAndTheWindowStays)
{
    const QString missing = probe.folder(QStringLiteral("gone/hl.exe"));
    const QString plainFile = probe.folder(QStringLiteral("readme.txt"));
    {
        QFile f(plainFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a program\n");
    }
    QFile::setPermissions(plainFile, QFile::ReadOwner | QFile::WriteOwner);
    const QString folder = probe.folder(QStringLiteral("a-folder"));
    QDir().mkpath(folder);
    // Executable, but the system cannot run it: the reason comes from the failed start itself.
    const QString broken = probe.folder(QStringLiteral("broken.sh"));
    {
        QFile f(broken);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/nonexistent/interpreter\n");
    }
    QFile::setPermissions(broken, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    host.selected = host.add(QStringLiteral("HL"), QStringLiteral("127.0.0.5"), QStringLiteral("27015"));
    const std::pair<QString, QString> cases[] = {
        {missing, QStringLiteral("file not found")},
        {plainFile, QStringLiteral("not an executable file")},
        {folder, QStringLiteral("it is a folder")},
        {broken, QString()},
    };
    for (const auto& [path, reason] : cases) {
        settings.paths[0] = path;
        ASSERT_TRUE(launcher.acceptPassword(at("127.0.0.5", "27015"), QStringLiteral("pw")));
        prompts.messages.clear();
        EXPECT_EQ(launcher.play(), Outcome::StartFailed) << path.toStdString();
        ASSERT_EQ(prompts.messages.size(), 1);
        EXPECT_EQ(prompts.messages[0].caption, QStringLiteral("Error"));
        const QString start = QStringLiteral("Unable to start ") + path + QStringLiteral(": ");
        if (reason.isEmpty()) {
            EXPECT_TRUE(prompts.messages[0].text.startsWith(start)) << prompts.messages[0].text.toStdString();
            EXPECT_GT(prompts.messages[0].text.size(), start.size());
        } else {
            EXPECT_EQ(prompts.messages[0].text, start + reason);
        }
        EXPECT_TRUE(host.visible);
        EXPECT_FALSE(launcher.passwordGiven());
    }

    // An empty path says which game's path is missing.
    settings.paths[0].clear();
    ASSERT_TRUE(launcher.acceptPassword(at("127.0.0.5", "27015"), QStringLiteral("pw")));
    prompts.messages.clear();
    EXPECT_EQ(launcher.play(), Outcome::MissingPath);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(prompts.messages[0].text,
              QStringLiteral("HL .exe path not set\nЗадайте путь в окне «Настройки» на странице «Основные»: "
                             "игра «HL», поле «Путь к игре:»."))
        << "the program's own message, then where to set the path";
    EXPECT_TRUE(host.visible);
    EXPECT_FALSE(launcher.passwordGiven());
}

TEST_F(LauncherFixture, UnknownGameKindStartsNothingSaysSoAndTheWindowStays)
{
    for (std::size_t slot = 0; slot < 6; ++slot)
        settings.paths[slot] = probe.install(QStringLiteral("any"));
    host.selected = host.add(QStringLiteral("?"), QStringLiteral("127.0.0.5"), QStringLiteral("27015"));
    EXPECT_EQ(launcher.play(), Outcome::UnknownKind);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].caption, QStringLiteral("Error"));
    EXPECT_TRUE(prompts.messages[0].text.contains(QStringLiteral("\"?\"")));
    EXPECT_TRUE(host.visible);
    EXPECT_TRUE(launcher.lastProgram().isEmpty());
}

TEST_F(LauncherFixture, FullServerAsksFirstAndRestoresAHiddenWindowForTheQuestion)
{
    settings.paths[2] = probe.install(QStringLiteral("cs"));
    host.selected = host.add(QStringLiteral("1.6"), QStringLiteral("127.0.0.5"), QStringLiteral("27015"),
                             {16, 16}, Image::Full);
    ASSERT_TRUE(launcher.acceptPassword(at("127.0.0.5", "27015"), QStringLiteral("pw")));
    prompts.answer = false;
    EXPECT_EQ(launcher.play(), Outcome::Declined);
    EXPECT_EQ(prompts.questions, QStringList{QStringLiteral("Server is full.  Connect now ?")});
    EXPECT_TRUE(launcher.passwordGiven()); // No changes nothing
    EXPECT_TRUE(host.visible);
    EXPECT_FALSE(host.log.contains(QStringLiteral("restore")));

    // From the tray: the question is made visible first, then Yes starts the client.
    host.visible = false;
    prompts.answer = true;
    prompts.log = &host.log;
    probe.expect(QStringLiteral("full"));
    EXPECT_EQ(launcher.play(), Outcome::Started);
    EXPECT_TRUE(probe.wait());
    EXPECT_LT(host.log.indexOf(QStringLiteral("restore")), host.log.indexOf(QStringLiteral("confirm")));
}

TEST_F(LauncherFixture, PlayWhileArmedJoinsTargetAddressAndPortAndEndsAutoConnect)
{
    AutoConnect autoConnect(launcher, host);
    settings.paths[2] = probe.install(QStringLiteral("cs16"));
    settings.paths[4] = probe.install(QStringLiteral("css"));
    // Another server on the target's host is selected; the target's own row is listed too.
    host.selected = host.add(QStringLiteral("1.6"), QStringLiteral("127.0.0.7"), QStringLiteral("27015"));
    host.add(QStringLiteral("CSS"), QStringLiteral("127.0.0.7"), QStringLiteral("27016"));
    AutoConnect::ArmRequest request;
    request.server = at("127.0.0.7", "27016");
    ASSERT_TRUE(autoConnect.arm(request));

    probe.expect(QStringLiteral("armed"));
    ASSERT_EQ(launcher.play(), Outcome::Started);
    const auto record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->arguments.contains(QStringLiteral("127.0.0.7:27016")));
    EXPECT_EQ(canonical(record->workingDirectory), canonical(probe.folder(QStringLiteral("css"))));
    EXPECT_FALSE(autoConnect.armed());
    EXPECT_FALSE(host.timer);
    EXPECT_FALSE(host.tray);
    EXPECT_FALSE(host.autoRed);
    EXPECT_TRUE(host.enabled(LaunchHost::Button::ScanAll));
    EXPECT_TRUE(host.enabled(LaunchHost::Button::Refresh));
    EXPECT_EQ(host.status[2], QStringLiteral(" Autoconnect disabled."));
}

TEST_F(LauncherFixture, LaunchOfAServerNoLongerListedIsRefused)
{
    settings.paths[2] = probe.install(QStringLiteral("cs"));
    host.selected = host.add(QStringLiteral("1.6"), QStringLiteral("127.0.0.5"), QStringLiteral("27015"));
    const Endpoint gone = at("127.0.0.5", "27016");

    EXPECT_EQ(launcher.playServer(gone), Outcome::Refused);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].text,
              QStringLiteral("Server 127.0.0.5:27016 is no longer listed; nothing started."));

    EXPECT_FALSE(launcher.acceptPassword(gone, QStringLiteral("pw")));
    EXPECT_FALSE(launcher.passwordGiven());
    EXPECT_TRUE(launcher.passwordParam().isEmpty());
    EXPECT_TRUE(launcher.lastProgram().isEmpty());
    EXPECT_TRUE(host.visible);

    host.selected = -1;
    EXPECT_EQ(launcher.play(), Outcome::Refused);
    EXPECT_TRUE(host.visible);
}
