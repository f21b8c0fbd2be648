// The first hour of a new user: a settings file that names nothing but the community masters
// (emulated here; the preset ones are public hosts) lists their servers on the first Scan.
#include "Controls.h"
#include "ProgramFixture.h"
#include "browser/ScanEngine.h"
#include "browser/ServerListModel.h"
#include "emu/EmuServer.h"
#include "emu/XashMasterEmu.h"
#include "shell/ScanGames.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <gtest/gtest.h>
#include <set>

namespace vantry {
namespace {

using namespace vantry::emu;

std::uint32_t local(std::uint32_t third, std::uint32_t last)
{
    return 127u << 24 | third << 8 | last;
}

TEST(XashFirstScan, AFreshFileListsTheServersOfTheCommunityMastersOnTheFirstScan)
{
    ProfileTable table;
    Profile cs = defaultsFor(Kind::Hl1);
    cs.description = "Counter-Strike";
    Profile hl = defaultsFor(Kind::Hl1);
    hl.description = "Half-Life";
    const std::vector<ListedAddress> csList = {{local(70, 1), 27015}, {local(70, 2), 27015}};
    const std::vector<ListedAddress> hlList = {{local(71, 1), 27015}};
    for (const ListedAddress& a : csList)
        table.add(a.address, a.port, cs);
    for (const ListedAddress& a : hlList)
        table.add(a.address, a.port, hl);
    EmuServer servers(table, {27015});
    servers.start();
    // Two masters listing one server alike, one limiting its clients to a request a second.
    XashMasterOptions limited;
    limited.perSecond = 1;
    XashMasterEmu first({{"cstrike", csList}, {"valve", hlList}}, limited);
    XashMasterEmu second({{"cstrike", {csList[0]}}}, {}, local(0, 2));
    first.start();
    second.start();

    // Only the masters: everything else is as a new file has it.
    test::Program p(QByteArray("[Xash]\nMasters=2\nMaster0=") + first.endpointText().c_str() +
                    "\nMaster1=" + second.endpointText().c_str() + "\n");
    std::set<std::uint64_t> listed;
    bool boxShown = false;
    const int result = p.run(
        [&] {
            p.form().show();
            test::when(
                &p.form(),
                [&] {
                    if (test::openBox()) {
                        boxShown = true;
                        return true;
                    }
                    // Replies may come after the last probe: wait for the rows, not the sweep.
                    return !p.form().engine().isScanning() && p.form().servers().count() >= 3;
                },
                [&] {
                    if (QMessageBox* box = test::openBox())
                        box->reject();
                    const browser::ServerListModel& model = p.form().servers();
                    for (int row = 0; row < model.count(); ++row)
                        listed.insert(model.endpoint(row).key());
                    QCoreApplication::exit(0);
                });
            // The sweep runs inside the click, the check above in its pauses.
            test::clickButton(p.form(), "SBScanAll");
        },
        20'000);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(boxShown) << "a problem was told";
    for (const ListedAddress& a : {csList[0], csList[1], hlList[0]})
        EXPECT_TRUE(listed.contains(query::Endpoint{a.address, a.port}.key())) << a.address;
    EXPECT_GE(first.requestsReceived(), 2u);
    EXPECT_GE(second.requestsReceived(), 2u);
    // The file written at the end keeps the masters the user had.
    EXPECT_TRUE(p.end().contains("[Xash]\nEnabled=1\nMasters=2\n"));
}

} // namespace
} // namespace vantry
