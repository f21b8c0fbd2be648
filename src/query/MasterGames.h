#pragma once

#include "MasterPaging.h"

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace vantry::query {

// A master's lists of several games, one after another on one socket: each game's first request
// waits for the pace the one before taught. A master that never answered is not asked for its
// other games: each would cost the whole wait again.
class MasterGames final : public ListExchange
{
public:
    MasterGames(std::uint8_t region, std::vector<std::string> filters, MasterPacing pacing = {});

    Step step(std::int64_t nowMs) override;
    bool received(Bytes datagram, std::int64_t nowMs) override;
    void refused() override;

    bool done() const override { return m_done; }
    // The first game's outcome that was not the end mark; the end mark when all ended so.
    MasterOutcome outcome() const override { return m_outcome; }
    const std::vector<Endpoint>& servers() const override { return m_servers; }
    std::size_t malformedReplies() const override;
    // A page of any game came.
    bool answered() const { return m_answered; }

private:
    void gameEnded();
    void take();

    std::uint8_t m_region;
    std::vector<std::string> m_filters;
    MasterPacing m_pacing;
    std::size_t m_game = 0;
    std::optional<MasterPaging> m_paging;
    std::size_t m_taken = 0; // addresses of the paging already taken
    std::int64_t m_notBeforeMs = 0;
    std::int64_t m_lastSendMs = 0;
    std::int64_t m_lastAnswerMs = 0;
    std::size_t m_malformed = 0; // of the games that ended
    bool m_answered = false;
    bool m_done = false;
    MasterOutcome m_outcome = MasterOutcome::Running;
    std::vector<Endpoint> m_servers;
    std::unordered_set<std::uint64_t> m_seen;
};

} // namespace vantry::query
