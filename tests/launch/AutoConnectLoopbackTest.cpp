// Auto-connect end to end: the real endpoint, query routing and server list, the main window's
// controls, and servers on loopback that answer the info request with a chosen player count.
#include "LaunchFixtures.h"
#include "base/IntervalTimer.h"
#include "browser/DetailsModels.h"
#include "browser/QueryService.h"
#include "browser/ServerListModel.h"
#include "browser/StaticSettings.h"
#include "browser/ui/ListView.h"
#include "launch/AutoConnect.h"
#include "launch/Launcher.h"
#include "launch/ui/MainWindowLink.h"
#include "launch/ui/TFormAuto.h"
#include "net/UdpEndpoint.h"
#include "query/Clock.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QUdpSocket>

#include <gtest/gtest.h>
#include <memory>
#include <optional>

using namespace vantry;

namespace {

// A server of the newer engine on 127.0.0.1 that answers each info request with an 'I' reply
// carrying the current player count, or stays silent while the count is unset.
class LoopbackServer
{
public:
    std::optional<int> players = 12;
    int requests = 0;

    LoopbackServer()
    {
        m_socket.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0);
        QObject::connect(&m_socket, &QUdpSocket::readyRead, [this] { answer(); });
    }
    QString port() const { return QString::number(m_socket.localPort()); }

private:
    void answer()
    {
        while (m_socket.hasPendingDatagrams()) {
            const QNetworkDatagram request = m_socket.receiveDatagram();
            if (!request.data().startsWith(QByteArray("\xFF\xFF\xFF\xFFT", 5)))
                continue;
            ++requests;
            if (!players)
                continue;
            QByteArray reply("\xFF\xFF\xFF\xFFI\x11", 6);
            reply.append("Loopback\0de_dust2\0cstrike\0Counter-Strike: Source\0", 49);
            reply.append("\xF0\x00", 2);
            reply.append(static_cast<char>(*players)).append(char(16)).append(char(0));
            reply.append("dl\0\x01", 4);
            m_socket.writeDatagram(reply, request.senderAddress(),
                                   static_cast<quint16>(request.senderPort()));
        }
    }

    QUdpSocket m_socket;
};

// A server of the older engine on 127.0.0.1 whose info string says "x" players of "8": a text
// the list shows as it came, with no count to read.
class OldTextServer
{
public:
    OldTextServer()
    {
        m_socket.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0);
        QObject::connect(&m_socket, &QUdpSocket::readyRead, [this] { answer(); });
    }
    QString port() const { return QString::number(m_socket.localPort()); }

private:
    void answer()
    {
        while (m_socket.hasPendingDatagrams()) {
            const QNetworkDatagram request = m_socket.receiveDatagram();
            if (!request.data().startsWith(QByteArray("\xFF\xFF\xFF\xFF", 4)))
                continue;
            QByteArray reply("\xFF\xFF\xFF\xFFinfostringresponse");
            reply.append("\\protocol\\47\\address\\127.0.0.1:" + port().toLatin1() +
                         "\\players\\x\\proxytarget\\0\\lan\\0\\max\\8\\bots\\0\\gamedir\\cstrike"
                         "\\description\\Counter-Strike\\hostname\\Old\\map\\de_dust2\\type\\d"
                         "\\password\\0\\os\\l\\proxy\\0\\secure\\0");
            reply.append('\0');
            m_socket.writeDatagram(reply, request.senderAddress(),
                                   static_cast<quint16>(request.senderPort()));
        }
    }

    QUdpSocket m_socket;
};

struct Loopback : ::testing::Test
{
    net::UdpEndpoint endpoint;
    browser::ServerListModel servers;
    browser::PlayersModel players;
    browser::RulesModel rules;
    std::unique_ptr<browser::QueryService> queries;
    QWidget window;
    browser::ListView* list = new browser::ListView(&window);
    QPushButton* scanAll = new QPushButton(QStringLiteral("Сканировать"), &window);
    QPushButton* refresh = new QPushButton(QStringLiteral("RF"), &window);
    QPushButton* play = new QPushButton(QStringLiteral("Играть"), &window);
    QPushButton* autoButton = new QPushButton(QStringLiteral("Автоматически"), &window);
    IntervalTimer autoTimer{100}; // the program polls every 5000 ms; the steps are the same
    browser::StaticSettings settings;
    test::RecordingPrompter prompts;
    test::Probe probe;
    QString status[3];
    std::unique_ptr<launch::MainWindowLink> link;

    Loopback()
    {
        endpoint.open(0);
        queries =
            std::make_unique<browser::QueryService>(endpoint, servers, players, rules, query::systemClock());
        settings.scanOldOn = false;
        settings.paths[4] = probe.install(QStringLiteral("css"));
        list->setModel(&servers);
        launch::MainWindowParts parts;
        parts.window = &window;
        parts.servers = &servers;
        parts.list = list;
        parts.queries = queries.get();
        parts.scanAll = scanAll;
        parts.refresh = refresh;
        parts.play = play;
        parts.autoButton = autoButton;
        parts.autoTimer = &autoTimer;
        parts.setStatus = [this](int panel, const QString& text) { status[panel] = text; };
        link = std::make_unique<launch::MainWindowLink>(parts, settings, nullptr);
        window.show();
    }

    // Lists the server, selects it and arms auto-connect on it through the dialog.
    void armOn(const LoopbackServer& server, int threshold)
    {
        queries->sendInfoRequest(QStringLiteral("127.0.0.1"), server.port().toUShort());
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return servers.find({(127u << 24) | 1, server.port().toUShort()}) >= 0;
        }));
        servers.showAdded(); // as the event loop would before the user can pick the row
        list->selectRow(servers.find({(127u << 24) | 1, server.port().toUShort()}));
        link->autoConnect().toggle();
        launch::TFormAuto& form = link->autoForm();
        ASSERT_TRUE(form.isVisible());
        EXPECT_EQ(form.SPNeed->value(), 11); // 12/16 proposes one less
        form.SPNeed->setValue(threshold);
        QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
        ASSERT_TRUE(link->autoConnect().armed());
        EXPECT_EQ(autoButton->palette().color(QPalette::ButtonText), QColor(Qt::red));
        EXPECT_FALSE(scanAll->isEnabled());
        EXPECT_FALSE(refresh->isEnabled());
    }

    void expectRestored() const
    {
        EXPECT_FALSE(link->autoConnect().armed());
        EXPECT_FALSE(autoTimer.enabled());
        EXPECT_TRUE(scanAll->isEnabled());
        EXPECT_TRUE(refresh->isEnabled());
        EXPECT_EQ(autoButton->palette().color(QPalette::ButtonText), QColor(Qt::black));
        EXPECT_EQ(status[2], QStringLiteral(" Autoconnect disabled."));
    }
};

} // namespace

TEST_F(Loopback, FiresWhenTheTargetsCountMeetsTheConditionAndJoinsIt)
{
    LoopbackServer target;
    armOn(target, 9);
    const int before = target.requests;
    ASSERT_TRUE(QTest::qWaitFor([&] { return target.requests >= before + 2; }));
    EXPECT_TRUE(link->autoConnect().armed()); // 12 > 9: waiting on

    probe.expect(QStringLiteral("fired"));
    target.players = 9;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !link->autoConnect().armed(); }));
    // The join itself runs from the event loop, after the datagram handler has returned.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.isVisible(); }));
    const auto record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->arguments.contains(QStringLiteral("127.0.0.1:") + target.port()));
    expectRestored();
    EXPECT_TRUE(play->isEnabled());
    EXPECT_EQ(list->selectedRow(), servers.find({(127u << 24) | 1, target.port().toUShort()}));
}

TEST_F(Loopback, GivesUpAfterFourSilentPollsAndRestoresTheButtons)
{
    LoopbackServer target;
    armOn(target, 9);
    const int before = target.requests;
    target.players.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompts.messages.isEmpty(); }));
    // The fourth request goes out in the tick that gives up; no fifth follows.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return target.requests - before == launch::AutoConnect::GiveUpPolls; }));
    EXPECT_FALSE(
        QTest::qWaitFor([&] { return target.requests - before > launch::AutoConnect::GiveUpPolls; }, 300));
    EXPECT_EQ(target.requests - before, launch::AutoConnect::GiveUpPolls);
    EXPECT_EQ(prompts.messages[0].caption, QStringLiteral("Auto connect"));
    EXPECT_EQ(prompts.messages[0].text, QStringLiteral("Server is not avalible, autoconnect disabled."));
    expectRestored();
    EXPECT_TRUE(window.isVisible());
}

TEST_F(Loopback, AnotherServerOnTheSameHostDoesNotFireAndTheUserStopRestores)
{
    LoopbackServer target;
    LoopbackServer neighbour;
    neighbour.players = 0;
    armOn(target, 9);

    int neighbourListed = 0;
    QObject::connect(queries.get(), &browser::QueryService::serverListed, [&](int row) {
        if (servers.port(row) == neighbour.port())
            ++neighbourListed;
    });
    queries->sendInfoRequest(QStringLiteral("127.0.0.1"), neighbour.port().toUShort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return neighbourListed > 0; }));
    const int before = target.requests;
    ASSERT_TRUE(QTest::qWaitFor([&] { return target.requests >= before + 2; }));
    EXPECT_TRUE(link->autoConnect().armed());
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_EQ(prompts.beeps, 0);

    link->autoConnect().toggle();
    expectRestored();
    EXPECT_FALSE(link->autoForm().isVisible());
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(Loopback, DialogOnAnOldRowWithoutACountKeepsItsValueWithinTheRowsMaximum)
{
    OldTextServer old;
    const query::Endpoint server{(127u << 24) | 1, old.port().toUShort()};
    queries->sendInfoRequest(QStringLiteral("127.0.0.1"), server.port);
    ASSERT_TRUE(QTest::qWaitFor([&] { return servers.find(server) >= 0; }));
    const int row = servers.find(server);
    EXPECT_EQ(servers.players(row), QStringLiteral("x/8"));
    servers.showAdded();
    list->selectRow(row);
    launch::TFormAuto& form = link->autoForm();
    ASSERT_EQ(form.SPNeed->value(), 9);
    link->autoConnect().toggle();
    ASSERT_TRUE(form.isVisible());
    EXPECT_EQ(form.SPNeed->maximum(), 8);
    EXPECT_EQ(form.SPNeed->value(), 8); // 9 kept, within the new limit
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Auto connect to 127.0.0.1"));
}
