#include "Requests.h"

#include <algorithm>
#include <string_view>

namespace vantry::query {

namespace {

constexpr std::size_t ChallengeOffset = 5;
constexpr std::size_t ChallengeRequestLength = 9;

template <std::size_t N> void fill(std::array<std::uint8_t, N>& packet, char type, std::string_view text)
{
    packet.fill(0);
    std::fill_n(packet.begin(), 4, std::uint8_t{0xFF});
    std::size_t at = 4;
    if (type != 0)
        packet[at++] = static_cast<std::uint8_t>(type);
    for (const char c : text)
        packet[at++] = static_cast<std::uint8_t>(c);
    // The byte after the text stays 0: every request ends with a NUL.
}

} // namespace

Requests::Requests()
{
    fill(m_info, 'T', "Source Engine Query");
    // The players and rules requests start out with "Sour" in their challenge slot.
    fill(m_players, 'U', "Source Engine Query");
    fill(m_rules, 'V', "Source Engine Query");
    fill(m_oldInfo, 0, "infostring");
    fill(m_oldPlayers, 0, "players");
    fill(m_oldRules, 0, "rules");
}

Bytes Requests::info() const
{
    return m_info;
}

Bytes Requests::oldInfo() const
{
    return m_oldInfo;
}

Bytes Requests::players() const
{
    return m_players;
}

Bytes Requests::rules() const
{
    return m_rules;
}

std::array<std::uint8_t, 29> Requests::infoWithChallenge(const std::array<std::uint8_t, 4>& challenge) const
{
    std::array<std::uint8_t, 29> packet{};
    std::copy(m_info.begin(), m_info.end(), packet.begin());
    std::copy(challenge.begin(), challenge.end(), packet.begin() + m_info.size());
    return packet;
}

Bytes Requests::playersChallenge() const
{
    return Bytes(m_players).first(ChallengeRequestLength);
}

Bytes Requests::rulesChallenge() const
{
    return Bytes(m_rules).first(ChallengeRequestLength);
}

Bytes Requests::oldPlayers() const
{
    return m_oldPlayers;
}

Bytes Requests::oldRules() const
{
    return m_oldRules;
}

void Requests::setChallenge(const std::array<std::uint8_t, 4>& challenge)
{
    std::copy(challenge.begin(), challenge.end(), m_players.begin() + ChallengeOffset);
    std::copy(challenge.begin(), challenge.end(), m_rules.begin() + ChallengeOffset);
}

std::array<std::uint8_t, 4> Requests::challenge() const
{
    std::array<std::uint8_t, 4> out{};
    std::copy_n(m_players.begin() + ChallengeOffset, out.size(), out.begin());
    return out;
}

} // namespace vantry::query
