#pragma once

#include "ListExchange.h"
#include "MasterProtocol.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace vantry::query {

struct MasterPacing
{
    // Adaptive: the next page is asked for as soon as one arrives; a page that does not come
    // makes the pause after an answer grow (doubling from backoffStartMs) and the learned pause
    // holds for the pages after. Fixed: paceMs between any two requests, retries included, for
    // masters known to fall silent for a while when asked faster.
    bool adaptive = true;
    int paceMs = 3000;
    int backoffStartMs = 1000;
    // The pause learned from earlier listings of the same master: the first request waits for it
    // after lastAnswerMs as well.
    int learnedPauseMs = 0;
    // Wait for a page after its request. Before any page came it doubles with every retry;
    // after, an adaptive listing keeps it and grows the pause instead.
    int replyTimeoutMs = 1500;
    int retries = 2; // further requests for a page that did not come
    std::size_t limit = 100'000;
};

// Hosts whose masters rate-limit and are asked at a fixed pace: Valve's.
bool rateLimitedMaster(std::string_view host);

// Pages through one master's list, without sockets or clocks of its own: the driver asks step()
// what to do at a time and hands over what arrives from the master. One request is out at a
// time; the next page is asked for with the last address of the page before as its seed.
class MasterPaging final : public ListExchange
{
public:
    MasterPaging(std::uint8_t region, std::string filter, MasterPacing pacing = {});

    Step step(std::int64_t nowMs) override;

    // A datagram from the master (the driver checks the sender). Malformed replies and pages that
    // come when no request is out are dropped. True when the page was taken. nowMs: its arrival;
    // without it, the time of the last step.
    bool received(Bytes datagram, std::int64_t nowMs) override;
    bool received(Bytes datagram) { return received(datagram, m_lastStepMs); }

    // The master's host said that nothing listens on its port: the listing ends with what came.
    void refused() override;

    bool done() const override { return m_outcome != MasterOutcome::Running; }
    MasterOutcome outcome() const override { return m_outcome; }
    // Every address once, in the order they first came; at most the limit.
    const std::vector<Endpoint>& servers() const override { return m_servers; }
    std::size_t pages() const { return m_pages; }
    std::size_t requestsSent() const { return m_requestsSent; }
    std::size_t malformedReplies() const override { return m_malformed; }
    // The adaptive pause after an answer as learned so far, and the arrival of the last page.
    int pauseMs() const { return m_pauseMs; }
    std::int64_t lastAnswerMs() const { return m_lastAnswerMs; }

private:
    void finish(MasterOutcome outcome) { m_outcome = outcome; }
    bool samePage(const MasterPage& page) const;

    std::uint8_t m_region;
    std::string m_filter;
    MasterPacing m_pacing;
    Endpoint m_seed;
    int m_attempts = 0;  // requests sent for the page awaited; 0: none out
    int m_backedOff = 0; // the attempt whose silence already grew the pause
    int m_pauseMs = 0;
    std::int64_t m_lastSendMs = 0;
    std::int64_t m_firstSendMs = 0;
    std::int64_t m_lastAnswerMs = 0;
    std::int64_t m_lastStepMs = 0;
    std::int64_t m_deadlineMs = 0;
    bool m_sentAny = false;
    // Answers to earlier requests for the page just taken may still come: as many as the extra
    // requests it took are dropped if they repeat it.
    int m_staleAllowed = 0;
    int m_repeats = 0; // copies of the page before, for the page now awaited
    std::optional<MasterPage> m_previous;
    std::vector<Endpoint> m_servers;
    std::unordered_set<std::uint64_t> m_seen;
    std::size_t m_pages = 0;
    std::size_t m_requestsSent = 0;
    std::size_t m_malformed = 0;
    MasterOutcome m_outcome = MasterOutcome::Running;
};

} // namespace vantry::query
