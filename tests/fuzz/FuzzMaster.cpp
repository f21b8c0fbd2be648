#include "FuzzInput.h"
#include "query/MasterPaging.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unordered_set>

// A master's replies, interleaved with the passing of time, into one paging: whatever comes, the
// listing holds each usable address once, never more than its limit, and ends.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vantry::query;
    const auto check = [](bool ok) {
        if (!ok)
            std::abort();
    };
    MasterPacing pacing;
    pacing.paceMs = 20;
    pacing.replyTimeoutMs = 10;
    pacing.retries = 2;
    pacing.limit = 600; // a few pages' worth, so that the limit is met within one input
    MasterPaging paging(0xFF, "\\appid\\10", pacing);
    std::int64_t now = 0;
    std::size_t requests = 0;
    for (const vantry::fuzz::Frame& frame : vantry::fuzz::splitFrames({data, size})) {
        // The sender selects how much time passes before the datagram.
        now += frame.from.port % 7 * 5;
        const MasterPaging::Step step = paging.step(now);
        check(!(step.done && !step.send.empty()));
        check(step.done == paging.done());
        if (!step.send.empty()) {
            ++requests;
            check(step.send.front() == '1' && step.send.back() == 0);
        }
        const bool wasDone = paging.done();
        const bool taken = paging.received(frame.datagram);
        check(!(wasDone && taken));
        MasterReplyError error = MasterReplyError::None;
        const bool wellFormed = decodeMasterReply(frame.datagram, error).has_value();
        check(wellFormed == (error == MasterReplyError::None));
        check(!(taken && !wellFormed));
    }
    check(paging.requestsSent() == requests);
    check(paging.servers().size() <= pacing.limit);
    std::unordered_set<std::uint64_t> seen;
    for (const Endpoint& a : paging.servers()) {
        check(a.address != 0 && a.port != 0);
        check(seen.insert(a.key()).second);
    }
    // Left alone, every listing ends.
    for (int i = 0; i < 100 && !paging.done(); ++i)
        now = std::max(now + 1, paging.step(now).wakeMs);
    check(paging.done());
    return 0;
}
