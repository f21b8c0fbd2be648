#pragma once

#include "MasterProtocol.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace vantry::query {

struct MasterPacing
{
    // Least time between two requests, retries included. Public masters answer a few requests a
    // minute and fall silent for a while when asked faster.
    int paceMs = 3000;
    // Wait for a page after its first request; the wait doubles with every retry of that page.
    int replyTimeoutMs = 1500;
    int retries = 2; // further requests for a page that did not come
    std::size_t limit = 100'000;
};

enum class MasterOutcome
{
    Running,
    EndOfList,        // the end marker came
    Silent,           // no page came at all
    StoppedAnswering, // pages came, then none: the list may have ended without its end marker
    NoNewAddress,     // a page added no address not already listed
    RepeatedPage,     // the page before came again in answer to the next request
    Limit,            // the limit of addresses was reached; the rest of the list was not asked for
};

// Pages through one master's list, without sockets or clocks of its own: the driver asks step()
// what to do at a time and hands over what arrives from the master. One request is out at a
// time; the next page is asked for with the last address of the page before as its seed.
class MasterPaging
{
public:
    MasterPaging(std::uint8_t region, std::string filter, MasterPacing pacing = {});

    struct Step
    {
        std::vector<std::uint8_t> send; // a request to send now; empty: nothing to send
        std::int64_t wakeMs = 0;        // call step() again at this time, or sooner on a datagram
        bool done = false;
    };
    Step step(std::int64_t nowMs);

    // A datagram from the master (the driver checks the sender). Malformed replies and pages that
    // come when no request is out are dropped. True when the page was taken.
    bool received(Bytes datagram);

    bool done() const { return m_outcome != MasterOutcome::Running; }
    MasterOutcome outcome() const { return m_outcome; }
    // Every address once, in the order they first came; at most the limit.
    const std::vector<Endpoint>& servers() const { return m_servers; }
    std::size_t pages() const { return m_pages; }
    std::size_t requestsSent() const { return m_requestsSent; }
    std::size_t malformedReplies() const { return m_malformed; }

private:
    void finish(MasterOutcome outcome) { m_outcome = outcome; }
    bool samePage(const MasterPage& page) const;

    std::uint8_t m_region;
    std::string m_filter;
    MasterPacing m_pacing;
    Endpoint m_seed;
    int m_attempts = 0; // requests sent for the page awaited; 0: none out
    std::int64_t m_lastSendMs = 0;
    std::int64_t m_deadlineMs = 0;
    bool m_sentAny = false;
    // Answers to earlier requests for the page just taken may still come: as many as the extra
    // requests it took are dropped if they repeat it.
    int m_staleAllowed = 0;
    std::optional<MasterPage> m_previous;
    std::vector<Endpoint> m_servers;
    std::unordered_set<std::uint64_t> m_seen;
    std::size_t m_pages = 0;
    std::size_t m_requestsSent = 0;
    std::size_t m_malformed = 0;
    MasterOutcome m_outcome = MasterOutcome::Running;
};

} // namespace vantry::query
