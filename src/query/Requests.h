#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vantry::query {

using Bytes = std::span<const std::uint8_t>;

// The six request packets, built once; only the challenge slot changes afterwards.
class Requests
{
public:
    Requests();

    Bytes info() const;             // 25 bytes: FF FF FF FF 'T' "Source Engine Query" 00
    Bytes oldInfo() const;          // 15 bytes: FF FF FF FF "infostring" 00
    Bytes players() const;          // 25 bytes, carrying the challenge slot
    Bytes rules() const;            // 25 bytes, carrying the challenge slot
    Bytes playersChallenge() const; // the first 9 bytes of players()
    Bytes rulesChallenge() const;   // the first 9 bytes of rules()
    Bytes oldPlayers() const;       // 12 bytes
    Bytes oldRules() const;         // 10 bytes
    // 29 bytes: info() with the four bytes of the server's challenge appended after its NUL.
    std::array<std::uint8_t, 29> infoWithChallenge(const std::array<std::uint8_t, 4>& challenge) const;

    // Bytes 5..8 of the players and rules requests, exactly as received.
    void setChallenge(const std::array<std::uint8_t, 4>& challenge);
    std::array<std::uint8_t, 4> challenge() const;

private:
    std::array<std::uint8_t, 25> m_info{};
    std::array<std::uint8_t, 25> m_players{};
    std::array<std::uint8_t, 25> m_rules{};
    std::array<std::uint8_t, 15> m_oldInfo{};
    std::array<std::uint8_t, 12> m_oldPlayers{};
    std::array<std::uint8_t, 10> m_oldRules{};
};

} // namespace vantry::query
