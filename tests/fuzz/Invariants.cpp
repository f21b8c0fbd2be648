#include "Invariants.h"

#include "query/Text.h"

#include <cstdlib>
#include <string>

namespace vantry::fuzz {

using namespace vantry::query;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool utf8(const std::string& text)
{
    return isWellFormedUtf8(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

} // namespace

void checkRow(const ServerRow& row, const Endpoint& from)
{
    // Only the sender reaches the duplicate test and the command line.
    require(row.from == from);
    require(utf8(row.name) && utf8(row.map) && utf8(protocolText(row)) && utf8(playersText(row)));
    if (row.identity == Identity::AddressAndPort) {
        // The binary replies are numbers through and through.
        require(!row.oldTexts);
        require(row.playerCount && row.maxPlayerCount);
    } else {
        require(row.oldTexts.has_value());
    }
    if (row.pingMs)
        require(*row.pingMs >= 0);
    if (row.status)
        require(*row.status == Image::Open || *row.status == Image::Full || *row.status == Image::Password);
}

void checkOutcome(const Outcome& outcome, const Endpoint& from, const Requests* requests)
{
    if (const auto* info = std::get_if<InfoReply>(&outcome)) {
        checkRow(info->row, from);
    } else if (const auto* rules = std::get_if<RulesReply>(&outcome)) {
        require(rules->rules.size() <= Dispatcher::RulesTableSize);
        for (const RuleRow& r : rules->rules)
            require(utf8(r.name) && utf8(r.value));
    } else if (const auto* challenge = std::get_if<InfoChallenge>(&outcome)) {
        // A re-sent info request only ever goes back to the server that challenged it.
        require(challenge->to == from);
    } else if (const auto* answer = std::get_if<ChallengeAnswer>(&outcome)) {
        require(answer->to == from);
        // The info request goes along only with the slot holding the same challenge.
        if (answer->infoChallenge && requests)
            require(*answer->infoChallenge == requests->challenge());
    } else if (const auto* players = std::get_if<PlayersReply>(&outcome)) {
        // A reassembled reply is at most SplitReplies::MaxReplySize bytes; a record is 10 or more.
        require(players->players.size() <= SplitReplies::MaxReplySize / 10 + 1);
        for (std::size_t i = 0; i < players->players.size(); ++i) {
            require(utf8(players->players[i].name));
            if (i > 0)
                require(players->players[i - 1].kills >= players->players[i].kills);
        }
    }
}

} // namespace vantry::fuzz
