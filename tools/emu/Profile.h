#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vantry::emu {

// What an emulated server answers to, and with which reply layout.
enum class Kind
{
    Hl1,     // 'T' -> 'm' reply of the older engine; 'U'/'V' behind a challenge
    Source,  // 'T' -> 'I' reply of the newer engine; 'U'/'V' behind a challenge
    OldInfo, // "infostring" -> "infostringresponse"; old "players"/"rules" answered directly
    Silent,  // counts requests, never answers
};

struct Player
{
    std::string name;
    std::int32_t kills = 0;
    float seconds = 0.0f;
};

struct Rule
{
    std::string name;
    std::string value;
};

// In which order the fragments of a newer-engine split reply leave.
enum class FragmentOrder
{
    Forward,
    Reverse,
    Shuffled, // a fixed shuffle per request id, never the forward order
};

// A rules reply split the newer engine's way: 12-byte headers FE FF FF FF, request id (LE, bit 31
// set when compressed), total, number, split size (LE u16). A compressed reply is the bzip2 of the
// whole reply, with its size and CRC32 (LE) ahead of it in fragment 0.
struct NewerSplit
{
    std::uint16_t size = 0; // payload bytes per fragment; 0: not split this way
    bool compressed = false;
    FragmentOrder order = FragmentOrder::Forward;
    int withheld = -1;        // the number of a fragment that is never sent; -1: every fragment leaves
    bool olderHeader = false; // the older Source engine's 10-byte header, without the split size
    // A reply that fits in one fragment, the players reply too, still leaves behind the header,
    // as one fragment of a total of 1 (older Source servers do this).
    bool single = false;
};

struct Profile
{
    Kind kind = Kind::Hl1;
    std::string name = "Vantry emulated server";
    std::string map = "de_dust2";
    std::string gameDir = "cstrike";
    std::string description = "Counter-Strike";
    std::uint8_t players = 0; // the count in the info reply; the players list is separate
    std::uint8_t maxPlayers = 20;
    std::uint8_t bots = 0;
    std::uint8_t protocol = 47;
    char serverType = 'd';
    char os = 'l';
    std::uint8_t password = 0;
    std::uint16_t appId = 240; // Source only
    std::string version = "1.0.0.34";
    // 0: the 'm' address field names the port the request came in on; otherwise this port.
    std::uint16_t advertisedPort = 0;
    // Old info-string only: the value of "\proxy\" (1 marks an HLTV relay).
    std::string proxy = "0";
    std::vector<Player> playerList;
    std::vector<Rule> rules;
    // Send the rules reply as two fragments: the first exactly 1400 bytes, the second the rest.
    // Only takes effect when the whole reply does not fit in the first fragment.
    bool splitRules = false;
    // The 4 request-number bytes of a split reply's fragment header.
    std::array<std::uint8_t, 4> splitId{0x14, 0x08, 0x00, 0x00};
    // The bytes a 'U'/'V' request must carry; 0 derives them from the destination address.
    std::array<std::uint8_t, 4> challenge{};
    // Answer 'T' with a challenge unless the request carries that challenge after its NUL (29
    // bytes), as newer-engine servers have done since 2021. The challenge is the one above.
    bool infoChallenge = false;
    // Answer 'T' with both layouts, 'm' first and then 'I' (some older-engine servers do).
    bool bothInfoLayouts = false;
    // Takes precedence over splitRules when its size is set and the reply does not fit in one
    // fragment; a reply that fits is sent whole.
    NewerSplit newerSplit;
    // The players reply in one datagram however long it grows (up to 64 KiB), as servers with
    // many players send it, instead of stopping at 1400 bytes.
    bool widePlayers = false;
    // The first this many requests to the server go unanswered, as if they had been lost.
    std::uint32_t ignoreFirst = 0;
};

const char* kindName(Kind kind);
bool parseKind(const std::string& text, Kind& kind);
const char* orderName(FragmentOrder order);
bool parseOrder(const std::string& text, FragmentOrder& order);

} // namespace vantry::emu
