// The right client for every server, through the real program against emulated servers: a server
// answering with protocol 49 (Xash3D FWGS) is joined with the Xash3D FWGS client and one of
// protocol 48 with the GoldSrc client, from the list, the player search, the recent list and
// auto-connect; «Могу подключиться» hides the servers no client is set for. The stand-in client
// records its folder, arguments and XASH3D_RODIR; the home is a temporary one where Steam has
// Half-Life.
#include "MainWindowFixture.h"
#include "base/IntervalTimer.h"
#include "browser/PlayerResults.h"
#include "browser/ServerListModel.h"
#include "browser/ui/ListView.h"
#include "launch/ui/MainWindowLink.h"
#include "launch/ui/RecentList.h"
#include "launch/ui/TFormAuto.h"
#include "options/ui/Options.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>
#include <optional>

namespace vantry::test {

using browser::ListView;
using browser::PlayerResults;
using browser::ServerListModel;
using namespace emu;

namespace {

const QString Xash = QStringLiteral("127.0.6.2");
const QString GoldSrc = QStringLiteral("127.0.6.3");
const QString Source = QStringLiteral("127.0.6.4");

std::uint32_t local(std::uint32_t last)
{
    return loopback(6u << 8 | last); // 127.0.6.last
}

ProfileTable table()
{
    ProfileTable t;
    Profile xash = xashServer();
    xash.name = "Xash Dust";
    xash.players = 2;
    xash.playerList = {{"Xasher", 3, 50.0f}, {"Other", 1, 10.0f}};
    t.add(local(2), GamePort, xash);
    Profile goldsrc = defaultsFor(Kind::Hl1);
    goldsrc.protocol = 48;
    goldsrc.name = "GoldSrc Aztec";
    goldsrc.map = "de_aztec";
    goldsrc.players = 2;
    goldsrc.playerList = {{"Goldie", 5, 70.0f}, {"Other", 1, 10.0f}};
    t.add(local(3), GamePort, goldsrc);
    Profile source = defaultsFor(Kind::Source);
    source.name = "Source Nuke";
    t.add(local(4), GamePort, source);
    return t;
}

// Sets an environment variable, or with no value removes it, for the life of the object.
class EnvironmentOverride
{
public:
    EnvironmentOverride(const char* name, const std::optional<QByteArray>& value)
        : m_name(name), m_saved(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name))
    {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~EnvironmentOverride()
    {
        if (m_had)
            qputenv(m_name, m_saved);
        else
            qunsetenv(m_name);
    }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    const char* m_name;
    QByteArray m_saved;
    bool m_had;
};

struct EngineJoin : MainWindowFixture
{
    EngineJoin() : MainWindowFixture(table())
    {
        // Steam's Counter-Strike, in Half-Life's folder, as Steam writes its manifest.
        const QString apps = home.path() + QStringLiteral("/.local/share/Steam/steamapps");
        QDir().mkpath(apps + QStringLiteral("/common/Half-Life"));
        manifestPath = apps + QStringLiteral("/appmanifest_10.acf");
        QFile manifest(manifestPath);
        EXPECT_TRUE(manifest.open(QIODevice::WriteOnly));
        manifest.write("\"AppState\"\n{\n\t\"appid\"\t\t\"10\"\n\t\"name\"\t\t\"Counter-Strike\"\n"
                       "\t\"StateFlags\"\t\t\"4\"\n\t\"installdir\"\t\t\"Half-Life\"\n}\n");
        manifest.close();
        halfLife = QFileInfo(apps + QStringLiteral("/common/Half-Life")).canonicalFilePath();
        xashClient = probe.install(QStringLiteral("xash"), QStringLiteral("xash3d"));
        probe.watchEnvironment({QStringLiteral("XASH3D_RODIR")});
    }

    // Every game on the GoldSrc stand-in, from `from` on (4: only the Source games), and the Xash
    // client set or not.
    TForm1& start(bool xash, int from = 0)
    {
        const QByteArray clients =
            xash ? "[Clients]\nXash3D=" + xashClient.toLocal8Bit() + '\n' : QByteArray();
        return MainWindowFixture::start({.sections = clients, .clientFrom = from});
    }

    // The next start's record; the window is brought back from the tray for the next step.
    Probe::Record started(const QString& next)
    {
        // With the loop running: auto-connect's polls and the reply come first.
        EXPECT_TRUE(QTest::qWaitFor([&] { return probe.starts() >= 1; }, 10000));
        const std::optional<Probe::Record> record = probe.wait();
        EXPECT_TRUE(record) << "a client started";
        probe.expect(next);
        form().show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form()));
        return record.value_or(Probe::Record{});
    }
    static QString canonical(const QString& path) { return QFileInfo(path).canonicalFilePath(); }

    // The Xash3D FWGS client with its game folder and Steam's Half-Life, or the GoldSrc client with
    // the slot's parameters, joined the server.
    void expectClientFor(const QString& server, const Probe::Record& record, const char* way)
    {
        const QStringList connect{QStringLiteral("+connect"), server + QStringLiteral(":27015")};
        if (server == Xash) {
            EXPECT_EQ(canonical(record.workingDirectory), canonical(probe.folder(QStringLiteral("xash"))))
                << way;
            EXPECT_EQ(record.arguments,
                      QStringList({QStringLiteral("-game"), QStringLiteral("cstrike")}) + connect)
                << way;
            EXPECT_EQ(record.environment, QStringList{QStringLiteral("XASH3D_RODIR=") + halfLife}) << way;
        } else {
            EXPECT_EQ(canonical(record.workingDirectory), canonical(probe.folder(QStringLiteral("game"))))
                << way;
            EXPECT_EQ(record.arguments,
                      QStringList({QStringLiteral("-game"), QStringLiteral("cstrike")}) + connect)
                << way;
            EXPECT_TRUE(record.environment.isEmpty()) << way;
        }
    }

    QTemporaryDir home;
    EnvironmentOverride homeVariable{"HOME", home.path().toLocal8Bit()};
    EnvironmentOverride noDataFolder{"XASH3D_RODIR", std::nullopt};
    QString halfLife;
    QString manifestPath;
    QString xashClient;
};

} // namespace

TEST_F(EngineJoin,
       EachServerIsJoinedWithItsEnginesClientFromTheListThePlayerSearchTheRecentListAndAutoConnect)
{
    ASSERT_FALSE(halfLife.isEmpty());
    start(true);
    ASSERT_TRUE(listServers({Xash, GoldSrc}));
    EXPECT_TRUE(list().server(rowOf(Xash)).protocol == 49);

    // The list: a double click on the row.
    for (const QString& server : {Xash, GoldSrc}) {
        doubleClickIndex(shownRow(server), listView());
        expectClientFor(server, started(QStringLiteral("list")), "the list");
    }

    // The player search: a double click on a found player.
    auto& field = *control<QLineEdit>(form(), "EFindPlayer");
    auto& results = *control<ListView>(form(), "LWFoundPlayers");
    for (const auto& [player, server] :
         {std::pair{QStringLiteral("Xasher"), Xash}, std::pair{QStringLiteral("Goldie"), GoldSrc}}) {
        QTest::mouseClick(&field, Qt::LeftButton);
        QTest::keyClick(&field, Qt::Key_A, Qt::ControlModifier);
        type(field, player);
        QTest::keyClick(&field, Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return results.model()->rowCount() == 1; }, 3000))
            << player.toStdString();
        const QModelIndex at = results.model()->index(0, PlayerResults::Player);
        const QPoint centre = results.visualRect(at).center();
        QTest::mouseClick(results.viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(results.viewport(), Qt::LeftButton, {}, centre);
        expectClientFor(server, started(QStringLiteral("search")), "the player search");
    }
    QTest::keyClick(&field, Qt::Key_Escape);

    // Auto-connect: met at the first poll (two players, more than one awaited).
    control<IntervalTimer>(form(), "TimerAuto")->setInterval(20);
    launch::TFormAuto& dialog = shell->launch().autoForm();
    for (const QString& server : {Xash, GoldSrc}) {
        clickIndex(listed(server), listView());
        clickButton(form(), "SBAuto");
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        pickItem(dialog.CB, 1);
        ASSERT_EQ(dialog.SPNeed->value(), 1);
        ASSERT_FALSE(dialog.CBAsk->isChecked());
        QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
        expectClientFor(server, started(QStringLiteral("auto")), "auto-connect");
    }

    // The recent list, in a new run where neither server is listed: the engine was kept.
    restart();
    ASSERT_EQ(list().count(), 0);
    auto& recent = *control<QTreeWidget>(form(), "LWRecent");
    ASSERT_TRUE(control<QDockWidget>(form(), "DockRecent")->isVisible());
    ASSERT_EQ(recent.topLevelItemCount(), 2);
    for (int row = 0; row < 2; ++row) {
        const QModelIndex entry = recent.model()->index(row, 0);
        const QString server =
            recent.topLevelItem(row)->text(launch::RecentList::Address).section(u':', 0, 0);
        doubleClickIndex(entry, recent);
        expectClientFor(server, started(QStringLiteral("recent")), "the recent list");
    }
    EXPECT_TRUE(prompter.messages.isEmpty()) << prompter.messages.value(0).text.toStdString();
}

TEST_F(EngineJoin, CanJoinHidesServersWithoutAClientAndFollowsTheClientsAsTheOptionsSetThem)
{
    // Only the Source games have a client; nothing named xash3d on the PATH to offer.
    EnvironmentOverride path("PATH", probe.folder(QStringLiteral("nothing")).toLocal8Bit());
    // No Steam copy either: the browse buttons go straight to the file dialog.
    ASSERT_TRUE(QFile::remove(manifestPath));
    start(false, 4);
    ASSERT_TRUE(listServers({Xash, GoldSrc, Source}));
    // The game column tells which client each needs.
    EXPECT_TRUE(shownRow(Xash)
                    .siblingAtColumn(ServerListModel::Game)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("Xash3D FWGS")));
    EXPECT_TRUE(shownRow(GoldSrc)
                    .siblingAtColumn(ServerListModel::Game)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .startsWith(QStringLiteral("GoldSrc")));

    auto* canJoin = control<QCheckBox>(form(), "CBCanJoin");
    QTest::mouseClick(canJoin, Qt::LeftButton);
    ASSERT_TRUE(canJoin->isChecked());
    EXPECT_FALSE(shownRow(Xash).isValid());
    EXPECT_FALSE(shownRow(GoldSrc).isValid());
    EXPECT_TRUE(shownRow(Source).isValid());

    // The Xash client picked on the options' first page: its server comes back at once.
    triggerAction(form(), "Options1");
    options::TSettings& options = shell->settings();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&options));
    options.setExecutableChooser([&](QFileDialog&) { return xashClient; });
    clickButton(options, "SBXashClient");
    EXPECT_TRUE(shownRow(Xash).isValid());
    EXPECT_FALSE(shownRow(GoldSrc).isValid());

    // A GoldSrc client for CS 1.6, offered for the other GoldSrc games too.
    pickItem(control<QComboBox>(options, "CBGame"), 2);
    const QString goldsrc = probe.install(QStringLiteral("goldsrc"), QStringLiteral("hl_linux"));
    options.setExecutableChooser([&](QFileDialog&) { return goldsrc; });
    clickButton(options, "SBExe");
    EXPECT_EQ(prompter.questions.size(), 1) << "one question for HL, CS1.5 and CZERO";
    EXPECT_EQ(options.gamePath(0), goldsrc);
    EXPECT_TRUE(shownRow(GoldSrc).isValid());
    QTest::keyClick(&options, Qt::Key_Escape);

    // Kept for the next run, with the clients.
    restart();
    EXPECT_TRUE(control<QCheckBox>(form(), "CBCanJoin")->isChecked());
    ASSERT_TRUE(listServers({Xash, GoldSrc, Source}));
    EXPECT_TRUE(shownRow(Xash).isValid());
    EXPECT_TRUE(shownRow(GoldSrc).isValid());
    QTest::mouseClick(control<QCheckBox>(form(), "CBCanJoin"), Qt::LeftButton);
    EXPECT_FALSE(control<QCheckBox>(form(), "CBCanJoin")->isChecked());
    EXPECT_TRUE(prompter.messages.isEmpty()) << prompter.messages.value(0).text.toStdString();
}

TEST_F(EngineJoin, PlayWithoutTheXashClientSaysWhereToSetItAndStartsNothing)
{
    start(false);
    clickIndex(listed(Xash), listView());
    clickButton(form(), "SBPlay");
    ASSERT_EQ(prompter.messages.size(), 1);
    EXPECT_TRUE(prompter.messages[0].text.contains(QStringLiteral("«Настройки» на странице «Основные», поле "
                                                                  "«Клиент Xash3D FWGS:»")))
        << prompter.messages[0].text.toStdString();
    EXPECT_TRUE(form().isVisible());
    EXPECT_EQ(startsAfterAWhile(0, 300), 0);
}

} // namespace vantry::test
