#include "Players.h"

#include "Text.h"

#include <algorithm>
#include <bit>

namespace vantry::query {

std::vector<PlayerRow> AddPlayers(Bytes datagram)
{
    constexpr std::size_t FirstRecord = 7;
    // After the name's NUL: kills (4), connection time (4), the next player's index (1).
    constexpr std::size_t RecordTail = 9;

    std::vector<PlayerRow> players;
    ByteReader in(datagram, FirstRecord);
    while (!in.atEnd()) {
        const Bytes name = in.cstring();
        PlayerRow player;
        // A name the server cut inside its last character keeps the characters before it.
        if (const Utf8Scan scan = scanUtf8(name); scan.wellFormed == name.size() || scan.cutAtEnd)
            player.name.assign(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(scan.wellFormed));
        player.kills = in.i32le();
        player.seconds = std::bit_cast<float>(in.i32le());
        players.push_back(std::move(player));
        in.skip(RecordTail - 8);
    }
    std::stable_sort(players.begin(), players.end(),
                     [](const PlayerRow& a, const PlayerRow& b) { return a.kills > b.kills; });
    return players;
}

} // namespace vantry::query
