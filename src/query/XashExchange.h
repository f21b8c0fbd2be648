#pragma once

#include "ListExchange.h"

#include <random>
#include <string>
#include <unordered_set>
#include <vector>

namespace vantry::query {

struct XashAsking
{
    std::vector<std::string> gameDirs = {"cstrike"};
    bool notEmpty = false;
    bool notFull = false;
    bool noPassword = false;
    // A master sends its whole list at once: once a datagram came, the list has ended when none
    // follows for quietMs.
    int quietMs = 600;
    // No datagram within this after a request: asked again, at most `retries` times. A master that
    // drops requests over its rate limit answers a later, spaced one.
    int replyWaitMs = 1500;
    int retries = 2;
    std::size_t limit = 100'000;
};

// One community master asked for each game folder in turn. Every request carries a key of its
// own; datagrams without one of them are someone else's and dropped.
class XashExchange final : public ListExchange
{
public:
    // `seed`: for the requests' keys, which only need to be hard to guess from outside.
    XashExchange(XashAsking asking, std::uint32_t seed);

    Step step(std::int64_t nowMs) override;
    bool received(Bytes datagram, std::int64_t nowMs) override;
    void refused() override;

    bool done() const override { return m_outcome != MasterOutcome::Running; }
    MasterOutcome outcome() const override { return m_outcome; }
    const std::vector<Endpoint>& servers() const override { return m_servers; }
    std::size_t malformedReplies() const override { return m_malformed; }

private:
    Step ask(std::int64_t nowMs);

    XashAsking m_asking;
    std::mt19937 m_keys;
    std::size_t m_game = 0;            // the folder asked for now
    std::vector<std::uint32_t> m_sent; // every request's key: late datagrams of an earlier one count
    int m_attempts = 0;                // requests sent for this folder
    bool m_answered = false;           // a datagram of this folder came
    bool m_everAnswered = false;
    std::int64_t m_deadlineMs = 0;
    std::size_t m_malformed = 0;
    MasterOutcome m_outcome = MasterOutcome::Running;
    std::vector<Endpoint> m_servers;
    std::unordered_set<std::uint64_t> m_seen;
};

} // namespace vantry::query
