#include "ProfileTable.h"

#include "Replies.h"

#include <algorithm>
#include <arpa/inet.h>
#include <set>

namespace vantry::emu {

void ProfileTable::add(std::uint32_t addr, std::uint16_t port, Profile profile)
{
    m_exact[{addr, port}] = std::move(profile);
}

void ProfileTable::addRange(ProfileRange range)
{
    if (range.step == 0)
        range.step = 1;
    m_ranges.push_back(std::move(range));
}

std::optional<Profile> ProfileTable::find(std::uint32_t addr, std::uint16_t port) const
{
    if (auto it = m_exact.find({addr, port}); it != m_exact.end())
        return it->second;
    if (auto it = m_exact.find({addr, 0}); it != m_exact.end())
        return it->second;
    for (const ProfileRange& range : m_ranges) {
        if (range.port != 0 && range.port != port)
            continue;
        if (addr < range.first)
            continue;
        const std::uint32_t offset = addr - range.first;
        if (offset % range.step != 0 || offset / range.step >= range.count)
            continue;
        Profile profile = range.profile;
        profile.name += " " + dottedAddress(addr);
        return profile;
    }
    return std::nullopt;
}

std::vector<std::uint16_t> ProfileTable::ports() const
{
    std::set<std::uint16_t> ports;
    for (const auto& [key, profile] : m_exact) {
        if (key.second != 0)
            ports.insert(key.second);
    }
    for (const ProfileRange& range : m_ranges) {
        if (range.port != 0)
            ports.insert(range.port);
    }
    return {ports.begin(), ports.end()};
}

std::size_t ProfileTable::size() const
{
    std::size_t total = m_exact.size();
    for (const ProfileRange& range : m_ranges)
        total += range.count;
    return total;
}

std::vector<std::pair<std::uint32_t, std::uint16_t>> ProfileTable::addresses(std::uint16_t anyPort) const
{
    std::vector<std::pair<std::uint32_t, std::uint16_t>> out;
    out.reserve(size());
    for (const auto& [key, profile] : m_exact)
        out.emplace_back(key.first, key.second != 0 ? key.second : anyPort);
    for (const ProfileRange& range : m_ranges) {
        for (std::uint32_t i = 0; i < range.count; ++i)
            out.emplace_back(range.first + i * range.step, range.port != 0 ? range.port : anyPort);
    }
    return out;
}

std::vector<std::uint32_t> ProfileTable::hosts() const
{
    std::vector<std::uint32_t> out;
    for (const auto& [address, port] : addresses(0))
        out.push_back(address);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

Profile defaultsFor(Kind kind)
{
    Profile profile;
    profile.kind = kind;
    if (kind == Kind::Source) {
        profile.protocol = 7;
        profile.description = "Counter-Strike: Source";
        profile.appId = 240;
    }
    if (kind == Kind::OldInfo) {
        profile.protocol = 46;
        profile.description = "Half-Life";
        profile.gameDir = "valve";
        profile.os = 'w';
    }
    return profile;
}

Profile olderEngineInNewerLayout()
{
    Profile profile = defaultsFor(Kind::Source);
    profile.protocol = 48;
    profile.appId = 10;
    profile.gameDir = "cstrike";
    profile.description = "Counter-Strike";
    return profile;
}

Profile xashServer()
{
    // The open engine answers as the older one does in the newer layout, with its own protocol.
    Profile profile = olderEngineInNewerLayout();
    profile.protocol = 49;
    profile.appId = 0;
    profile.version = "0.21";
    return profile;
}

bool parseAddress(const std::string& text, std::uint32_t& hostOrder)
{
    in_addr addr{};
    if (inet_pton(AF_INET, text.c_str(), &addr) != 1)
        return false;
    hostOrder = ntohl(addr.s_addr);
    return true;
}

namespace {

std::uint32_t local(std::uint8_t last)
{
    return (127u << 24) | last;
}

std::vector<Player> somePlayers()
{
    return {{"Ann", 5, 61.5f}, {"Bob", 12, 300.0f}, {"Kr\xc3\xbcger", -1, 12.0f}, {"[LAN]Player", 0, 4.0f}};
}

std::vector<Rule> someRules()
{
    return {{"mp_friendlyfire", "0"},
            {"mp_timelimit", "25"},
            {"sv_gravity", "800"},
            {"mp_roundtime", "3"},
            {"sv_password", "0"}};
}

// Enough rules that the reply does not fit in one 1400-byte fragment.
std::vector<Rule> manyRules()
{
    std::vector<Rule> rules = someRules();
    for (int i = 0; rules.size() < 90; ++i)
        rules.push_back({"amx_setting_" + std::to_string(i), "value number " + std::to_string(i)});
    return rules;
}

} // namespace

// Servers that differ in name, map, players, password and player names (one of them Cyrillic), so that
// sorting, filters and the player search have something to tell apart.
ProfileTable demoTable()
{
    ProfileTable table;

    Profile hl = defaultsFor(Kind::Hl1);
    hl.name = "Half-Life Crossfire";
    hl.map = "crossfire";
    hl.gameDir = "valve";
    hl.description = "Half-Life";
    hl.players = 3;
    hl.maxPlayers = 16;
    hl.os = 'w';
    hl.playerList = {{"Gordon", 21, 900.0f}, {"Barney", 4, 310.0f}, {"Ann", 5, 61.5f}};
    hl.rules = someRules();
    table.add(local(2), 27015, hl);

    Profile cs15 = defaultsFor(Kind::Hl1);
    cs15.name = "CS 1.5 Classic";
    cs15.map = "de_inferno";
    cs15.description = "CounterStrike";
    cs15.protocol = 46;
    cs15.players = 7;
    cs15.maxPlayers = 30;
    cs15.playerList = {{"\xd0\x98\xd0\xb3\xd1\x80\xd0\xbe\xd0\xba", 9, 1200.0f},
                       {"Bob", 12, 300.0f},
                       {"[LAN]Player", 0, 4.0f}};
    cs15.rules = someRules();
    table.add(local(3), 27015, cs15);

    Profile cs16 = defaultsFor(Kind::Hl1);
    cs16.name = "CS 1.6 Public (split rules)";
    cs16.map = "de_dust2";
    cs16.description = "Counter-Strike";
    cs16.players = 12;
    cs16.maxPlayers = 32;
    cs16.bots = 2;
    cs16.playerList = somePlayers();
    cs16.rules = manyRules();
    cs16.splitRules = true;
    table.add(local(4), 27015, cs16);

    Profile cz = defaultsFor(Kind::Hl1);
    cz.name = "Condition Zero Server";
    cz.map = "cs_italy_cz";
    cz.gameDir = "czero";
    cz.description = "Condition Zero";
    cz.players = 5;
    cz.maxPlayers = 18;
    cz.os = 'w';
    cz.playerList = {{"Zero", 3, 45.0f}, {"Kr\xc3\xbcger", -1, 12.0f}};
    cz.rules = someRules();
    table.add(local(5), 27015, cz);

    Profile css = defaultsFor(Kind::Source);
    css.name = "CS:S Dust";
    css.map = "de_dust";
    css.players = 10;
    css.maxPlayers = 24;
    css.bots = 4;
    css.playerList = somePlayers();
    css.rules = someRules();
    table.add(local(6), 27015, css);

    Profile dm = defaultsFor(Kind::Source);
    dm.name = "HL2 Deathmatch";
    dm.map = "dm_lockdown";
    dm.gameDir = "hl2mp";
    dm.description = "Deathmatch";
    dm.appId = 320;
    dm.players = 2;
    dm.maxPlayers = 16;
    dm.os = 'w';
    dm.playerList = {{"Freeman", 30, 1800.0f}, {"Ann", 2, 20.0f}};
    dm.rules = someRules();
    table.add(local(7), 27015, dm);

    Profile hltv = defaultsFor(Kind::Hl1);
    hltv.name = "HLTV relay";
    hltv.map = "de_nuke";
    hltv.description = "HLTV";
    hltv.serverType = 'p';
    hltv.players = 40;
    hltv.maxPlayers = 100;
    table.add(local(8), 27020, hltv);

    Profile old = defaultsFor(Kind::OldInfo);
    old.name = "Old Box";
    old.map = "crossfire";
    old.players = 3;
    old.maxPlayers = 16;
    old.playerList = somePlayers();
    old.rules = someRules();
    table.add(local(9), 27015, old);

    Profile locked = cs16;
    locked.name = "CS 1.6 Clan (password)";
    locked.password = 1;
    locked.rules = someRules();
    locked.splitRules = false;
    table.add(local(10), 27015, locked);

    Profile full = css;
    full.name = "CS:S Full";
    full.players = 24;
    full.maxPlayers = 24;
    table.add(local(11), 27015, full);

    Profile silent = defaultsFor(Kind::Silent);
    table.add(local(12), 27015, silent);

    Profile moved = cs16;
    moved.name = "CS 1.6 NAT (advertises 27016)";
    moved.advertisedPort = 27016;
    moved.rules = someRules();
    moved.splitRules = false;
    table.add(local(13), 27015, moved);

    Profile other = defaultsFor(Kind::Hl1);
    other.name = "Day of Defeat";
    other.gameDir = "dod";
    other.description = "Day of Defeat";
    other.map = "dod_anzio";
    table.add(local(14), 27015, other);

    // Servers as they answer today: the info request behind a challenge, the older engine in
    // the newer layout with a clan's description, rules compressed in fragments out of order.
    Profile challenged = css;
    challenged.name = "CS:S 2021+ (info challenge)";
    challenged.map = "de_mirage";
    challenged.infoChallenge = true;
    table.add(local(15), 27015, challenged);

    Profile clan = defaultsFor(Kind::Source);
    clan.name = "CS 1.6 in the newer layout";
    clan.description = "[RU] Clan Server";
    clan.protocol = 48;
    clan.appId = 10;
    clan.gameDir = "cstrike";
    clan.map = "de_train";
    clan.players = 9;
    clan.maxPlayers = 32;
    clan.playerList = somePlayers();
    clan.rules = someRules();
    table.add(local(16), 27015, clan);

    Profile compressed = css;
    compressed.name = "CS:S (compressed split rules)";
    compressed.map = "cs_office";
    compressed.rules = manyRules();
    compressed.newerSplit = {400, true, FragmentOrder::Reverse, -1};
    table.add(local(17), 27015, compressed);
    return table;
}

} // namespace vantry::emu
