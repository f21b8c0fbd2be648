// A sweep that first asks the public server lists, against an emulated UDP master and Web API on
// loopback: the servers they list are probed after the favourites and before the ranges; a refused
// key and a silent master are told once the sweep is over, which still probes the ranges; Stop
// during the fetch ends the fetch as well as the sweep.
#include "HandClock.h"
#include "MainWindowFixture.h"
#include "browser/MasterListFetch.h"
#include "browser/ServerListModel.h"
#include "browser/StaticSettings.h"
#include "emu/EmuServer.h"
#include "emu/MasterEmu.h"
#include "emu/WebApiEmu.h"
#include "shell/ScanGames.h"

#include <QGroupBox>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <gtest/gtest.h>

namespace vantry::test {

using namespace emu;

namespace {

std::uint32_t local(int third, int last)
{
    return loopback(static_cast<std::uint32_t>(third) << 8 | static_cast<std::uint32_t>(last));
}

QString dotted(std::uint32_t a)
{
    return QStringLiteral("%1.%2.%3.%4").arg(a >> 24).arg(a >> 16 & 0xFF).arg(a >> 8 & 0xFF).arg(a & 0xFF);
}

const std::uint32_t Favourite = local(5, 1);
const std::uint32_t FromMaster1 = local(2, 1);
const std::uint32_t FromMaster2 = local(2, 2);
const std::uint32_t FromApi = local(3, 1);
const std::uint32_t InRange = local(4, 5);
const std::uint32_t Relay = local(2, 9);
constexpr std::uint16_t RelayPort = 27021; // not the HLTV port of the settings

ProfileTable table()
{
    ProfileTable t;
    Profile cs = defaultsFor(Kind::Hl1);
    cs.description = "Counter-Strike";
    for (const std::uint32_t a : {Favourite, FromMaster1, FromMaster2, InRange}) {
        cs.name = dotted(a).toStdString();
        t.add(a, 27015, cs);
    }
    Profile css = defaultsFor(Kind::Source);
    css.name = "listed by the Web API";
    t.add(FromApi, 27015, css);
    Profile relay = defaultsFor(Kind::Hl1);
    relay.name = "relay";
    relay.description = "HLTV";
    relay.serverType = 'p';
    t.add(Relay, RelayPort, relay);
    return t;
}

MasterBook book()
{
    MasterBook b;
    b.servers = {{FromMaster1, 27015}, {FromApi, 27015}, {FromMaster2, 27015}};
    b.pageSize = 2; // two pages, so that the list is paged
    return b;
}

std::vector<ApiServer> apiList()
{
    ApiServer s;
    s.address = FromApi;
    s.appId = 240;
    return {s};
}

// A master that never answers: it only counts what it is asked.
class SilentMaster
{
public:
    SilentMaster()
    {
        m_socket.bind(QHostAddress::LocalHost, 0);
        QObject::connect(&m_socket, &QUdpSocket::readyRead, [this] {
            while (m_socket.hasPendingDatagrams()) {
                m_socket.receiveDatagram();
                ++requests;
            }
        });
    }
    QString endpoint() const { return QStringLiteral("127.0.0.1:%1").arg(m_socket.localPort()); }
    int requests = 0;

private:
    QUdpSocket m_socket;
};

struct MasterSweep : MainWindowFixture
{
    MasterEmu master{book()};
    WebApiEmu api{apiList()};

    MasterSweep() : MainWindowFixture(table(), {27015, RelayPort}) {}
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        master.start();
        api.start();
        settings.favouriteList = {{dotted(Favourite), QStringLiteral("27015")}};
        settings.rangeList = {{true, QStringLiteral("127.0.4.1"), QStringLiteral("127.0.4.10")}};
        settings.master.enabled = true;
        settings.master.steamKey = QString::fromStdString(WebApiOptions().key);
        settings.master.apiUrl = QString::fromStdString(api.baseUrl());
        settings.master.masters = {QString::fromStdString(master.endpointText())};
        settings.master.region = 3;
        settings.master.paceMs = 0;
        startWindow();
    }
    void TearDown() override
    {
        MainWindowFixture::TearDown();
        api.stop();
        master.stop();
    }

    int row(std::uint32_t address) { return rowOf(dotted(address)); }
    bool listed(std::uint32_t address)
    {
        return QTest::qWaitFor([&] { return row(address) >= 0; }, 3000);
    }
    void scan() { clickButton(form(), "SBScanAll"); }
};

} // namespace

TEST_F(MasterSweep, ListedServersAreProbedAfterTheFavouritesAndBeforeTheRanges)
{
    scan();
    EXPECT_EQ(form().statusText(0), QStringLiteral(" Завершено :)"));
    // A favourite, three listed servers (one listed by both) and ten range addresses.
    EXPECT_EQ(form().statusText(1), QStringLiteral("14"));
    for (const std::uint32_t a : {Favourite, FromMaster1, FromMaster2, FromApi, InRange})
        ASSERT_TRUE(listed(a)) << dotted(a).toStdString();
    EXPECT_TRUE(staysFalse([&] { return form().servers().count() > 5; }, 100));
    EXPECT_EQ(form().servers().count(), 5) << "each server once";
    // Replies come in the order of the probes.
    EXPECT_LT(row(Favourite), std::min({row(FromMaster1), row(FromMaster2), row(FromApi)}));
    EXPECT_GT(row(InRange), std::max({row(FromMaster1), row(FromMaster2), row(FromApi)}));
    EXPECT_TRUE(prompter.messages.isEmpty());

    // Every game kind of the list, in the region chosen, from both lists.
    const std::vector<std::string> filters = master.filtersSeen();
    for (const char* game : {"\\appid\\70", "\\appid\\10\\", "\\appid\\80", "\\appid\\240", "\\appid\\320"})
        EXPECT_TRUE(std::any_of(filters.begin(), filters.end(), [&](const std::string& f) {
            return f.find(game) != std::string::npos;
        })) << game;
    for (const std::uint8_t region : master.regionsSeen())
        EXPECT_EQ(region, 3);
    const std::vector<WebApiEmu::Request> asked = api.requests();
    ASSERT_EQ(asked.size(), 5u);
    for (const WebApiEmu::Request& r : asked) {
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.query.at("key"), WebApiOptions().key);
    }
}

TEST_F(MasterSweep, HltvModeAsksForTheRelaysAndProbesThemAtTheirListedPort)
{
    MasterBook relays;
    relays.servers = {{Relay, RelayPort}};
    relays.requiredFilter = "\\proxy\\1"; // game servers are not relays
    MasterEmu relayMaster(relays);
    relayMaster.start();
    settings.master.masters = {QString::fromStdString(relayMaster.endpointText())};
    settings.master.steamKey.clear();
    settings.rangeList.clear();
    settings.favouriteList.clear();
    const QList<QRadioButton*> modes = control<QGroupBox>(form(), "RG")->findChildren<QRadioButton*>();
    const auto hltv = std::find_if(modes.begin(), modes.end(),
                                   [](QRadioButton* b) { return b->text() == QStringLiteral("HLTV"); });
    ASSERT_NE(hltv, modes.end());
    QTest::mouseClick(*hltv, Qt::LeftButton);
    ASSERT_EQ(form().scanMode(), 1);

    scan();
    EXPECT_EQ(form().statusText(0), QStringLiteral(" Завершено :)"));
    ASSERT_TRUE(listed(Relay));
    EXPECT_EQ(form().servers().port(row(Relay)), QString::number(RelayPort));
    const std::vector<std::string> filters = relayMaster.filtersSeen();
    EXPECT_EQ(filters.size(), 3u) << "the older engine's three games";
    for (const std::string& f : filters)
        EXPECT_NE(f.find("\\proxy\\1"), std::string::npos) << f;
    EXPECT_TRUE(prompter.messages.isEmpty());
    relayMaster.stop();
}

TEST_F(MasterSweep, ARefusedKeyWithASilentMasterIsToldOnceAfterTheSweepWhichStillProbesTheRanges)
{
    SilentMaster silent;
    const QString wrongKey = QStringLiteral("FEDCBA9876543210FEDCBA9876543210");
    settings.master.steamKey = wrongKey;
    settings.master.masters = {silent.endpoint()};
    form().masterLists().setReplyWait(100, 1);
    const QString refused =
        QStringLiteral("Steam Web API отклонил ключ, а другие списки серверов не прислали. "
                       "Проверьте ключ в «Опции» → «Сканирование».");

    scan();
    EXPECT_TRUE(listed(Favourite));
    EXPECT_TRUE(listed(InRange));
    EXPECT_TRUE(QTest::qWaitFor([&] { return form().statusText(0) == refused; }, 5000))
        << form().statusText(0).toStdString();
    EXPECT_EQ(row(FromMaster1), -1);
    ASSERT_EQ(prompter.messages.size(), 1);
    EXPECT_EQ(prompter.messages.front().text, refused);
    EXPECT_EQ(api.requests().size(), 1u) << "a refused key is not tried for the other games";
    EXPECT_EQ(silent.requests, 2) << "one request and one retry, for the first game only";

    // The same failure again: the status bar says it, no second box.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return control<QPushButton>(form(), "SBScanAll")->isEnabled(); }, 10'000));
    scan();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return silent.requests == 4 && form().statusText(0) == refused; }, 5000));
    EXPECT_EQ(prompter.messages.size(), 1);
    for (const auto& m : prompter.messages)
        EXPECT_FALSE(m.text.contains(wrongKey)) << "the key is never in a text";
}

TEST_F(MasterSweep, NoKeyAndNoMasterIsToldAndTheSweepGoesOn)
{
    settings.master.steamKey = QStringLiteral("   ");
    settings.master.masters.clear();
    settings.master.xash.enabled = false;
    const QString nothing = QStringLiteral("Публичные списки включены, но не задан ни ключ Steam Web API, "
                                           "ни мастер-сервер. Укажите их в «Опции» → «Сканирование».");
    scan();
    EXPECT_TRUE(listed(InRange));
    EXPECT_TRUE(QTest::qWaitFor([&] { return form().statusText(0) == nothing; }, 5000))
        << form().statusText(0).toStdString();
    ASSERT_EQ(prompter.messages.size(), 1);
    EXPECT_EQ(prompter.messages.front().text, nothing);
    EXPECT_TRUE(api.requests().empty());
}

TEST_F(MasterSweep, StopDuringTheFetchEndsTheFetchAndTheSweep)
{
    SilentMaster silent;
    settings.master.steamKey.clear();
    settings.master.masters = {silent.endpoint()};
    settings.favouriteList.clear(); // the sweep waits for the list at once
    // The fetch's clock stands still, so the master's wait never ends: only Stop can end the
    // sweep. The fetch looks at its clock again every 100 ms.
    HandClock clock;
    form().masterLists().setClock(clock);
    form().masterLists().setReplyWait(100, 1);
    // Stop as soon as the master was asked, with the mouse, while the sweep waits for it.
    QString shownWhenStopped;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &form(), [&] {
        if (silent.requests == 0 || !control<QPushButton>(form(), "SBStop")->isEnabled())
            return;
        watch.stop();
        shownWhenStopped = form().statusText(0);
        clickButton(form(), "SBStop");
    });
    watch.start(5);
    StillClockGuard guard(clock, std::chrono::seconds(30));

    scan();
    guard.stop();
    EXPECT_FALSE(guard.ranOn()) << "the sweep ended with the master's wait, not at Stop";
    EXPECT_EQ(shownWhenStopped, QStringLiteral(" Мастер-сервер: получено 0, опрошено 0, ответили 0"));
    EXPECT_EQ(form().statusText(0), QStringLiteral(" Отменено :("));
    EXPECT_FALSE(control<QPushButton>(form(), "SBStop")->isEnabled());
    EXPECT_TRUE(control<QGroupBox>(form(), "RG")->isEnabled());
    EXPECT_FALSE(form().masterLists().running());
    // The master is asked no more, even with its wait long over by the fetch's clock: a master
    // the stop left behind would ask again at its next look at the clock.
    clock.advance(3'600'000);
    EXPECT_FALSE(QTest::qWaitFor([&] { return silent.requests > 1; }, 500)) << "asked again after Stop";
    EXPECT_EQ(silent.requests, 1);
    EXPECT_EQ(row(InRange), -1);
    EXPECT_TRUE(prompter.messages.isEmpty());
}

namespace {

// A master of the test's servers and of addresses nobody answers at, paged small, that drops
// requests sooner than 300 ms after its last answer: the list takes seconds to come.
MasterBook slowBook()
{
    MasterBook b;
    b.servers = {{FromMaster1, 27015}, {FromMaster2, 27015}};
    for (int i = 1; i <= 6; ++i)
        b.servers.push_back({local(9, i), 27015});
    b.pageSize = 2;
    b.requiredFilter = "\\appid\\10\\";
    return b;
}

MasterFaults rateLimit()
{
    MasterFaults f;
    f.minIntervalMs = 300;
    return f;
}

} // namespace

TEST_F(MasterSweep, ListedServersShowWhileTheMasterIsStillPaging)
{
    MasterEmu slow(slowBook(), rateLimit());
    slow.start();
    settings.master.masters = {QString::fromStdString(slow.endpointText())};
    settings.master.steamKey.clear();
    form().masterLists().setReplyWait(200, 2);
    form().masterLists().setBackoffStart(100);

    bool shownDuringSweep = false;
    std::uint64_t pagesWhenShown = 0;
    QString progress;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &form(), [&] {
        if (progress.isEmpty() && form().statusText(0).contains(QStringLiteral("получено")))
            progress = form().statusText(0);
        if (!shownDuringSweep && row(FromMaster1) >= 0) {
            shownDuringSweep = true;
            pagesWhenShown = slow.repliesSent();
        }
    });
    watch.start(2);
    scan();
    watch.stop();

    EXPECT_EQ(form().statusText(0), QStringLiteral(" Завершено :)"));
    ASSERT_TRUE(shownDuringSweep) << "no listed server showed during the sweep";
    // Eight pages: the empty lists of four games and four of Counter-Strike.
    EXPECT_LT(pagesWhenShown, 8u) << "the row came only once the whole list was in";
    EXPECT_GT(slow.requestsDropped(), 0u) << "the master's limit was never met";
    EXPECT_EQ(slow.repliesSent(), 8u);
    EXPECT_TRUE(listed(FromMaster2));
    EXPECT_TRUE(listed(InRange)) << "the ranges still come after the lists";
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^ Мастер-сервер: получено \\d+, опрошено \\d+, ответили \\d+$"))
            .match(progress)
            .hasMatch())
        << progress.toStdString();
    // A favourite, eight listed addresses and ten of the range.
    EXPECT_EQ(form().statusText(1), QStringLiteral("19"));
    EXPECT_TRUE(prompter.messages.isEmpty());
    slow.stop();
}

TEST_F(MasterSweep, StopWhileListedServersStreamEndsTheSweepAndTheList)
{
    MasterEmu slow(slowBook(), rateLimit());
    slow.start();
    settings.master.masters = {QString::fromStdString(slow.endpointText())};
    settings.master.steamKey.clear();
    form().masterLists().setReplyWait(200, 2);
    form().masterLists().setBackoffStart(100);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &form(), [&] {
        if (row(FromMaster1) < 0 || !control<QPushButton>(form(), "SBStop")->isEnabled())
            return;
        watch.stop();
        clickButton(form(), "SBStop");
    });
    watch.start(2);
    scan();
    EXPECT_EQ(form().statusText(0), QStringLiteral(" Отменено :("));
    EXPECT_FALSE(form().masterLists().running());
    const std::uint64_t asked = slow.requestsReceived();
    EXPECT_LT(slow.repliesSent(), 8u);
    EXPECT_FALSE(QTest::qWaitFor([&] { return slow.requestsReceived() > asked; }, 800))
        << "the master was asked again after Stop";
    EXPECT_EQ(row(InRange), -1) << "the ranges were probed after Stop";
    slow.stop();
}

} // namespace vantry::test
