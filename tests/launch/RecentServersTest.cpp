// The recent servers as the settings file keeps them, and the starts that put them there: real
// INI files in a temporary folder, real client starts (the stand-in client).
#include "launch/RecentServers.h"

#include "LaunchFixtures.h"
#include "base/IniFile.h"
#include "browser/StaticSettings.h"
#include "launch/Launcher.h"
#include "launch/TypedServer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

using vantry::IniFile;
using vantry::browser::StaticSettings;
using vantry::launch::JoinTarget;
using vantry::launch::Launcher;
using vantry::launch::RecentServer;
using vantry::launch::RecentServers;
using vantry::query::Endpoint;
using vantry::query::Game;
using Outcome = Launcher::Outcome;

namespace {

Endpoint at(const std::string& text)
{
    return *Endpoint::parse(text);
}

QDateTime time(int minute)
{
    return QDateTime(QDate(2026, 12, 9), QTime(10, minute), Qt::UTC);
}

struct RecentFile : ::testing::Test
{
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("vantry.ini")); }

    void write(const QByteArray& bytes) const
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray bytes() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // What a new run of the program reads.
    QVector<RecentServer> readBack() const
    {
        IniFile file(path());
        return RecentServers(file).entries();
    }
    static QStringList addresses(const QVector<RecentServer>& entries)
    {
        QStringList list;
        for (const RecentServer& e : entries)
            list << QString::fromStdString(vantry::query::endpointText(e.server));
        return list;
    }
};

} // namespace

TEST_F(RecentFile, TheSameServerAgainMovesToTheTopInsteadOfRepeating)
{
    IniFile file(path());
    RecentServers recent(file);
    recent.record({at("10.0.0.1:27015"), Game::CounterStrike16, QStringLiteral("One"), time(1)});
    recent.record({at("10.0.0.2:27015"), Game::HalfLife, QStringLiteral("Two"), time(2)});
    recent.record({at("10.0.0.1:27016"), Game::CounterStrike16, QStringLiteral("Other port"), time(3)});
    recent.record({at("10.0.0.1:27015"), Game::CounterStrikeSource, QStringLiteral("One renamed"), time(4)});

    const QStringList expected{QStringLiteral("10.0.0.1:27015"), QStringLiteral("10.0.0.1:27016"),
                               QStringLiteral("10.0.0.2:27015")};
    EXPECT_EQ(addresses(recent.entries()), expected);
    const QVector<RecentServer> back = readBack();
    ASSERT_EQ(addresses(back), expected) << bytes().toStdString();
    EXPECT_EQ(back[0].name, QStringLiteral("One renamed")) << "the newest start's name and game count";
    EXPECT_EQ(back[0].game, Game::CounterStrikeSource);
    EXPECT_EQ(back[0].when, time(4));
    EXPECT_EQ(back[2].game, Game::HalfLife);
}

TEST_F(RecentFile, FiftyOneStartsKeepTheNewestFiftyAndOtherSectionsKeepTheirBytes)
{
    const QByteArray favourites = "[Favorites]\n192.168.0.5 0=27015\n10.0.0.9 1=27020\n";
    write("[Settings]\nCSPort=27015\n" + favourites);
    IniFile file(path());
    RecentServers recent(file);
    for (int i = 1; i <= 51; ++i)
        recent.record({at("10.0.1." + std::to_string(i) + ":27015"), Game::CounterStrike16,
                       QStringLiteral("Server %1").arg(i), time(i)});

    const QVector<RecentServer> back = readBack();
    ASSERT_EQ(back.size(), 50);
    EXPECT_EQ(back.front().name, QStringLiteral("Server 51"));
    EXPECT_EQ(back.back().name, QStringLiteral("Server 2")) << "the oldest start is the one dropped";
    EXPECT_TRUE(bytes().contains(favourites)) << bytes().toStdString();
    EXPECT_TRUE(bytes().startsWith("[Settings]\nCSPort=27015\n"));
}

TEST_F(RecentFile, BrokenLinesAreSkippedAndTheOthersKept)
{
    write("[Recent]\nCount=8\n"
          "Server0=10.0.0.1:27015,1.6,2026-12-09T10:01:00Z,Good one\n"
          "Server1=garbage\n"
          "Server2=10.0.0.2:0,1.6,2026-12-09T10:02:00Z,port zero\n"
          "Server3=10.0.0.3:27015,XX,2026-12-09T10:03:00Z,unknown game\n"
          "Server4=10.0.0.4:27015,CSS,yesterday,bad time\n"
          "Server5=256.0.0.5:27015,CSS,2026-12-09T10:05:00Z,bad address\n"
          "Server6=10.0.0.1:27015,HL,2026-12-09T10:06:00Z,a repeat of the first\n"
          "Server7=10.0.0.7:27015,HL2,2026-12-09T10:07:00Z,Name, with, commas\n");
    const QVector<RecentServer> back = readBack();
    ASSERT_EQ(addresses(back),
              (QStringList{QStringLiteral("10.0.0.1:27015"), QStringLiteral("10.0.0.7:27015")}));
    EXPECT_EQ(back[0].name, QStringLiteral("Good one"));
    EXPECT_EQ(back[1].name, QStringLiteral("Name, with, commas"));
    EXPECT_EQ(back[1].game, Game::HalfLife2);
}

TEST_F(RecentFile, AXashServerKeepsItsProtocolAndAGoldSrcOneItsLineAsBefore)
{
    {
        IniFile file(path());
        RecentServers recent(file);
        recent.record({at("10.0.0.1:27015"), Game::CounterStrike16, QStringLiteral("Xash"), time(1), 49});
        recent.record({at("10.0.0.2:27015"), Game::CounterStrike16, QStringLiteral("GoldSrc"), time(2), 48});
        // A Source server's protocol picks no other client: not written.
        recent.record(
            {at("10.0.0.3:27015"), Game::CounterStrikeSource, QStringLiteral("Source"), time(3), 49});
    }
    EXPECT_TRUE(bytes().contains("Server2=10.0.0.1:27015,1.6/49,2026-12-09T10:01:00Z,Xash\n"))
        << bytes().toStdString();
    EXPECT_TRUE(bytes().contains("Server1=10.0.0.2:27015,1.6,2026-12-09T10:02:00Z,GoldSrc\n"));
    EXPECT_TRUE(bytes().contains("Server0=10.0.0.3:27015,CSS,2026-12-09T10:03:00Z,Source\n"));
    const QVector<RecentServer> back = readBack();
    ASSERT_EQ(back.size(), 3);
    EXPECT_EQ(back[2].protocol, 49);
    EXPECT_EQ(back[2].game, Game::CounterStrike16);
    EXPECT_EQ(back[1].protocol, 0);

    write("[Recent]\nCount=3\n"
          "Server0=10.0.0.1:27015,1.6/x,2026-12-09T10:01:00Z,not a number\n"
          "Server1=10.0.0.2:27015,1.6/999,2026-12-09T10:02:00Z,no protocol\n"
          "Server2=10.0.0.3:27015,HL/49,2026-12-09T10:03:00Z,Xash Half-Life\n");
    const QVector<RecentServer> hand = readBack();
    ASSERT_EQ(addresses(hand), QStringList{QStringLiteral("10.0.0.3:27015")});
    EXPECT_EQ(hand[0].protocol, 49);
}

TEST_F(RecentFile, ACountOfNonsenseOrPastTheLimitReadsTheLinesThereAtMostFifty)
{
    QByteArray lines;
    for (int i = 59; i >= 0; --i) // in reverse order: the index, not the line's place, is the order
        lines += "Server" + QByteArray::number(i) + "=10.0.2." + QByteArray::number(i + 1) +
                 ":27015,1.6,2026-12-09T10:00:00Z,S" + QByteArray::number(i) + '\n';
    for (const QByteArray& count :
         {QByteArray("abc"), QByteArray("-3"), QByteArray("99999999999"), QByteArray("51"), QByteArray("")}) {
        write("[Recent]\nCount=" + count + '\n' + lines);
        const QVector<RecentServer> back = readBack();
        ASSERT_EQ(back.size(), 50) << "Count=" << count.toStdString();
        EXPECT_EQ(back.front().name, QStringLiteral("S0"));
        EXPECT_EQ(back.back().name, QStringLiteral("S49"));
    }
    // A count that is a number in range bounds the lines read.
    write("[Recent]\nCount=2\n" + lines);
    EXPECT_EQ(readBack().size(), 2);
}

TEST_F(RecentFile, ANameWithALineBreakIsStoredOnOneLine)
{
    IniFile file(path());
    RecentServers recent(file);
    recent.record({at("10.0.0.1:27015"), Game::CounterStrike16, QStringLiteral("Two\nlines\r"), time(1)});
    recent.record({at("10.0.0.2:27015"), Game::CounterStrike16, QString(), time(2)});
    const QVector<RecentServer> back = readBack();
    ASSERT_EQ(back.size(), 2) << bytes().toStdString();
    EXPECT_EQ(back[1].name, QStringLiteral("Two lines"));
    EXPECT_TRUE(back[0].name.isEmpty());
}

TEST(TypedServer, EveryBadTextGetsItsOwnReasonAndGoodOnesTheirEndpoint)
{
    using vantry::launch::readTypedServer;
    const QString gamePort = QStringLiteral("27015");
    const std::pair<const char*, const char*> bad[] = {
        {"", "Type the server"},
        {"   ", "Type the server"},
        {"abc", "\"abc\" is not an IPv4 address"},
        {"256.1.1.1", "\"256.1.1.1\" is not an IPv4 address"},
        {"256.1.1.1:27015", "\"256.1.1.1\" is not an IPv4 address"},
        {"10.0.0", "is not an IPv4 address"},
        {"10.0.0.5:0", "port must be a number from 1 to 65535"},
        {"10.0.0.5:65536", "port must be a number from 1 to 65535"},
        {"10.0.0.5:", "port must be a number from 1 to 65535"},
        {"10.0.0.5:+27", "port must be a number from 1 to 65535"},
        {"10.0.0.5:27015x", "port must be a number from 1 to 65535"},
        {"::1", "IPv6"},
        {"[::1]:27015", "IPv6"},
        {"fe80::1", "IPv6"},
        {"сервер", "is not an IPv4 address"},
    };
    for (const auto& [text, reason] : bad) {
        const auto typed = readTypedServer(QString::fromUtf8(text), gamePort);
        EXPECT_FALSE(typed.server) << text;
        EXPECT_TRUE(typed.problem.contains(QString::fromUtf8(reason)))
            << text << ": " << typed.problem.toStdString();
    }
    EXPECT_EQ(readTypedServer(QStringLiteral(" 10.0.0.5:27016 "), gamePort).server, at("10.0.0.5:27016"));
    EXPECT_EQ(readTypedServer(QStringLiteral("10.0.0.5"), gamePort).server, at("10.0.0.5:27015"))
        << "an address alone takes the game port";
    const auto noPort = readTypedServer(QStringLiteral("10.0.0.5"), QString());
    EXPECT_FALSE(noPort.server) << "the game port setting is empty";
    EXPECT_TRUE(noPort.problem.contains(QStringLiteral("game port setting")));
    EXPECT_TRUE(readTypedServer(QStringLiteral("10.0.0.5:27016"), QString()).server)
        << "a typed port needs no setting";
}

namespace {

struct JoinFixture : RecentFile
{
    StaticSettings settings;
    vantry::test::FakeHost host;
    vantry::test::RecordingPrompter prompts;
    vantry::test::Probe probe;
    Launcher launcher{settings, host};
    IniFile file{path()};
    RecentServers recent{file};

    void SetUp() override
    {
        settings.paths[2] = probe.install(QStringLiteral("cstrike16"));
        launcher.setRecentServers(&recent);
    }
};

} // namespace

TEST_F(JoinFixture, OnlyAStartedClientIsRecordedWithTheListedName)
{
    host.selected = host.add(QStringLiteral("1.6"), QStringLiteral("127.0.0.5"), QStringLiteral("27015"));
    host.rows[host.selected].name = QStringLiteral("Dust all day");
    probe.expect(QStringLiteral("first"));
    ASSERT_EQ(launcher.play(), Outcome::Started);
    ASSERT_TRUE(probe.wait());
    ASSERT_EQ(readBack().size(), 1);
    EXPECT_EQ(readBack()[0].name, QStringLiteral("Dust all day"));
    EXPECT_EQ(readBack()[0].game, Game::CounterStrike16);
    EXPECT_LE(std::abs(readBack()[0].when.secsTo(QDateTime::currentDateTimeUtc())), 60);

    // Auto-connect's way in (and the password prompt's) is recorded too.
    const int other = host.add(QStringLiteral("1.6"), QStringLiteral("127.0.0.8"), QStringLiteral("27016"));
    host.rows[other].name = QStringLiteral("Waited for");
    probe.expect(QStringLiteral("auto"));
    ASSERT_EQ(launcher.playServer(at("127.0.0.8:27016")), Outcome::Started);
    ASSERT_TRUE(probe.wait());
    ASSERT_EQ(readBack().size(), 2);
    EXPECT_EQ(readBack()[0].name, QStringLiteral("Waited for"));

    // A full server declined, a missing game path: nothing starts, nothing is recorded.
    host.rows.clear();
    host.selected = host.add(QStringLiteral("1.6"), QStringLiteral("127.0.0.6"), QStringLiteral("27015"), {},
                             vantry::query::Image::Full);
    prompts.answer = false;
    EXPECT_EQ(launcher.play(), Outcome::Declined);
    host.rows.clear();
    host.selected = host.add(QStringLiteral("HL"), QStringLiteral("127.0.0.7"), QStringLiteral("27015"));
    EXPECT_EQ(launcher.play(), Outcome::MissingPath);
    EXPECT_EQ(readBack().size(), 2);
}

TEST_F(JoinFixture, AJoinGoesThroughTheListedRowAndOtherwiseStartsTheGivenGame)
{
    // Listed and full: the question comes as for the row, and No starts nothing.
    host.add(QStringLiteral("1.6"), QStringLiteral("127.0.0.5"), QStringLiteral("27015"), {},
             vantry::query::Image::Full);
    prompts.answer = false;
    EXPECT_EQ(launcher.join({at("127.0.0.5:27015"), Game::CounterStrike16, {}}), Outcome::Declined);
    EXPECT_EQ(prompts.questions.size(), 1);
    // Listed with a password: the prompt opens for it.
    host.add(QStringLiteral("1.6"), QStringLiteral("127.0.0.6"), QStringLiteral("27015"), {},
             vantry::query::Image::Password);
    EXPECT_EQ(launcher.join({at("127.0.0.6:27015"), Game::CounterStrike16, {}}), Outcome::PromptShown);
    EXPECT_EQ(host.promptFor, at("127.0.0.6:27015"));

    // Not listed: the given game's client, to that address and port, recorded with the given name.
    probe.expect(QStringLiteral("unlisted"));
    ASSERT_EQ(launcher.join({at("127.0.0.9:27020"), Game::CounterStrike16, QStringLiteral("From before")}),
              Outcome::Started);
    const auto record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments.mid(record->arguments.indexOf(QStringLiteral("+connect"))),
              (QStringList{QStringLiteral("+connect"), QStringLiteral("127.0.0.9:27020")}));
    ASSERT_EQ(readBack().size(), 1);
    EXPECT_EQ(readBack()[0].name, QStringLiteral("From before"));
    EXPECT_FALSE(host.visible);

    // Not listed and of a game without a client: the message of a missing path, nothing recorded.
    EXPECT_EQ(launcher.join({at("127.0.0.9:27021"), Game::HalfLife, {}}), Outcome::MissingPath);
    EXPECT_EQ(readBack().size(), 1);
}
