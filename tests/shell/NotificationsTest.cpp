// Notifications as the desktop gets them: the real D-Bus call to a notification service on a
// private bus, the tray's balloon where no service runs, and the program telling of a watched
// player only while its window is hidden.
#include "Controls.h"
#include "base/Notifier.h"
#include "browser/ServerListModel.h"
#include "emu/EmuServer.h"
#include "options/ui/Options.h"
#include "shell/DesktopNotifier.h"
#include "shell/ScanGames.h"
#include "shell/Shell.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QVariantMap>

#include <gtest/gtest.h>
#include <memory>

using namespace vantry;

namespace {

// The desktop's notification service as far as the program talks to it.
class FakeNotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList calls;

public slots:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout)
    {
        calls << QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                     .arg(app)
                     .arg(replaces)
                     .arg(icon, summary, body)
                     .arg(actions.size() + hints.size())
                     .arg(timeout);
        return static_cast<uint>(calls.size());
    }
};

// A session bus of the test's own.
class PrivateBus
{
public:
    PrivateBus()
    {
        m_daemon.start(
            QStringLiteral("dbus-daemon"),
            {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (m_daemon.waitForStarted(5000) && QTest::qWaitFor([this] { return m_daemon.canReadLine(); }, 5000))
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        for (const QString& name : m_names)
            QDBusConnection::disconnectFromBus(name);
        m_daemon.terminate();
        m_daemon.waitForFinished(3000);
    }
    bool running() const { return !m_address.isEmpty(); }
    QDBusConnection connect(const QString& name)
    {
        m_names << name;
        return QDBusConnection::connectToBus(m_address, name);
    }

private:
    QProcess m_daemon;
    QString m_address;
    QStringList m_names;
};

struct RecordingNotifier : Notifier
{
    QStringList told;
    void notify(const QString& title, const QString& text) override { told << title + u'|' + text; }
};

} // namespace

TEST(DesktopNotifier, TheCallReachesTheNotificationServiceOnTheBus)
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        GTEST_SKIP() << "no dbus-daemon (tools/setup.sh installs it)";
    PrivateBus bus;
    ASSERT_TRUE(bus.running());
    FakeNotificationService service;
    QDBusConnection serviceSide = bus.connect(QStringLiteral("service"));
    ASSERT_TRUE(serviceSide.isConnected());
    ASSERT_TRUE(serviceSide.registerObject(QString::fromLatin1(DesktopNotifier::Path), &service,
                                           QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(serviceSide.registerService(QString::fromLatin1(DesktopNotifier::Service)));

    QStringList balloons;
    DesktopNotifier notifier([&](const QString& title, const QString& text) { balloons << title + text; },
                             bus.connect(QStringLiteral("program")));
    notifier.notify(QStringLiteral("Auto connect"), QStringLiteral("Игрок is on Dust (127.0.0.2:27015)."));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !service.calls.isEmpty(); }, 3000));
    EXPECT_EQ(service.calls, QStringList{QStringLiteral(
                                 "Vantry|0|vantry|Auto connect|Игрок is on Dust (127.0.0.2:27015).|0|-1")});
    EXPECT_TRUE(balloons.isEmpty()) << "the tray's balloon as well as the desktop's notification";

    // The service goes away: the tray's balloon takes over.
    serviceSide.unregisterService(QString::fromLatin1(DesktopNotifier::Service));
    notifier.notify(QStringLiteral("Vantry"), QStringLiteral("second"));
    EXPECT_EQ(balloons, QStringList{QStringLiteral("Vantrysecond")});
    EXPECT_FALSE(QTest::qWaitFor([&] { return service.calls.size() > 1; }, 100));
    EXPECT_EQ(service.calls.size(), 1);
}

TEST(DesktopNotifier, WithoutABusTheTrayTells)
{
    QStringList balloons;
    DesktopNotifier notifier(
        [&](const QString& title, const QString& text) { balloons << title + u'|' + text; },
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                      QStringLiteral("nowhere")));
    notifier.notify(QStringLiteral("Vantry"), QStringLiteral("text"));
    EXPECT_EQ(balloons, QStringList{QStringLiteral("Vantry|text")});
    QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
}

namespace {

constexpr std::uint16_t GamePort = 27015;

struct WatchedPlayers : ::testing::Test
{
    emu::EmuServer servers{table(), {GamePort}};
    QTemporaryDir dir;
    RecordingNotifier notifier;
    std::unique_ptr<Shell> shell;

    static emu::ProfileTable table()
    {
        emu::ProfileTable t;
        emu::Profile second = emu::defaultsFor(emu::Kind::Hl1);
        second.name = "Second";
        second.playerList = {{"someone", 1, 1.0f}, {"BOB", 2, 3.0f}};
        t.add((127u << 24) | (5u << 8) | 2u, GamePort, second);
        return t;
    }

    // The favourite 127.0.5.2 re-scanned (the first pass comes right after start-up), with
    // "bob" watched.
    TForm1& start(bool hidden)
    {
        const QString path = dir.filePath(QStringLiteral("vantry.ini"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Settings]\nBroadcast=0\nScanOld=0\nDelay=0\nCSPort=27015\nFavAutoScan=1\n"
                   "[Favorites]\n127.0.5.2 0=27015\n[Watch]\nCount=2\nPlayer0= bob \nPlayer1=\n");
        file.close();
        Shell::Options options;
        options.settingsFile = path;
        options.localPort = 0;
        options.hotKey = false;
        options.trayAvailable = [] { return true; }; // a desktop with a tray
        options.notifier = &notifier;
        shell = std::make_unique<Shell>(options);
        shell->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&shell->mainWindow()));
        if (hidden)
            test::triggerAction(shell->mainWindow(), "Hide1");
        return shell->mainWindow();
    }
    void TearDown() override
    {
        shell.reset();
        servers.stop();
    }
};

} // namespace

TEST_F(WatchedPlayers, AWatchedPlayerOnAFavouriteIsToldOnceWhileTheWindowIsHidden)
{
    servers.start();
    TForm1& form = start(true);
    ASSERT_FALSE(form.isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !notifier.told.isEmpty(); }, 3000))
        << shell->settings().watchedPlayers().join(u',').toStdString();
    // Not listed: the re-scan that would list it stops while the window is hidden.
    EXPECT_EQ(notifier.told.join(u'\n').toStdString(), "Vantry|BOB is on 127.0.5.2:27015.");
    EXPECT_FALSE(QTest::qWaitFor([&] { return notifier.told.size() > 1; }, 300));
    EXPECT_EQ(notifier.told.size(), 1) << "told again while he stays";
}

TEST_F(WatchedPlayers, NothingIsToldWhileTheWindowShowsNorOfWhoWasThenSeen)
{
    servers.start();
    TForm1& form = start(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.servers().count() == 1; }, 3000))
        << "the favourites pass ran";
    EXPECT_FALSE(QTest::qWaitFor([&] { return !notifier.told.isEmpty(); }, 500));
    EXPECT_TRUE(notifier.told.isEmpty()) << notifier.told.join(u'\n').toStdString();

    // He was seen while the window showed: hiding it does not tell of him again.
    test::triggerAction(form, "Hide1");
    EXPECT_FALSE(QTest::qWaitFor([&] { return !notifier.told.isEmpty(); }, 700));
    EXPECT_TRUE(notifier.told.isEmpty()) << notifier.told.join(u'\n').toStdString();
}

#include "NotificationsTest.moc"
