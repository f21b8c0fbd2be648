#pragma once

#include "Profile.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantry::emu {

// count addresses first, first + step, first + 2*step... each answering with the template;
// the name of each gets its address appended.
struct ProfileRange
{
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    std::uint32_t step = 1;
    std::uint16_t port = 0; // 0: any listening port
    Profile profile;
};

// Which profile answers at an address and port (host order). An exact address and port wins over
// the address on any port (port 0), which wins over the ranges, first added first.
class ProfileTable
{
public:
    void add(std::uint32_t addr, std::uint16_t port, Profile profile);
    void addRange(ProfileRange range);
    std::optional<Profile> find(std::uint32_t addr, std::uint16_t port) const;

    // Every port a profile names explicitly, ascending.
    std::vector<std::uint16_t> ports() const;
    // Number of answering addresses (ranges counted by their size).
    std::size_t size() const;
    // Every address with a profile and its port (`anyPort` for an address on any port): exact
    // entries in address order, then each range in order. What an emulated master lists.
    std::vector<std::pair<std::uint32_t, std::uint16_t>> addresses(std::uint16_t anyPort) const;
    // Every address with a profile, each once, in increasing order.
    std::vector<std::uint32_t> hosts() const;

private:
    std::map<std::pair<std::uint32_t, std::uint16_t>, Profile> m_exact;
    std::vector<ProfileRange> m_ranges;
};

// Sensible field values for a kind (protocol, game directory, description).
Profile defaultsFor(Kind kind);

// A Counter-Strike 1.6 server of the older engine that answers the info request in the newer 'I'
// layout: protocol 48, application 10, game directory "cstrike", description "Counter-Strike".
Profile olderEngineInNewerLayout();
// A Xash3D FWGS server of Counter-Strike: the newer layout's 'I' reply with protocol 49, no
// application number and the engine's version, as engine/server/sv_query.c of xash3d-fwgs writes it.
Profile xashServer();

// A handful of servers on 127.0.0.2 ... 127.0.0.14 covering every game kind and reply form.
ProfileTable demoTable();

// "a.b.c.d" to host order; false when not dotted IPv4.
bool parseAddress(const std::string& text, std::uint32_t& hostOrder);

} // namespace vantry::emu
