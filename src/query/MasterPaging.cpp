#include "MasterPaging.h"

#include <algorithm>

namespace vantry::query {

namespace {

// Waits stop growing here: a master that has not answered in this long is not about to.
constexpr std::int64_t MaxWaitMs = 60'000;

} // namespace

MasterPaging::MasterPaging(std::uint8_t region, std::string filter, MasterPacing pacing)
    : m_region(region), m_filter(std::move(filter)), m_pacing(pacing)
{
    m_pacing.paceMs = std::max(0, m_pacing.paceMs);
    m_pacing.replyTimeoutMs = std::max(1, m_pacing.replyTimeoutMs);
    m_pacing.retries = std::max(0, m_pacing.retries);
    if (m_pacing.limit == 0)
        finish(MasterOutcome::Limit);
}

MasterPaging::Step MasterPaging::step(std::int64_t nowMs)
{
    Step out;
    if (done()) {
        out.done = true;
        return out;
    }
    if (m_attempts > 0 && nowMs < m_deadlineMs) {
        out.wakeMs = m_deadlineMs;
        return out;
    }
    if (m_attempts > m_pacing.retries) {
        finish(m_pages == 0 ? MasterOutcome::Silent : MasterOutcome::StoppedAnswering);
        out.done = true;
        return out;
    }
    const std::int64_t sendAt = m_sentAny ? m_lastSendMs + m_pacing.paceMs : nowMs;
    if (nowMs < sendAt) {
        out.wakeMs = sendAt;
        return out;
    }
    const std::int64_t wait =
        std::min<std::int64_t>(MaxWaitMs, std::int64_t{m_pacing.replyTimeoutMs} << std::min(m_attempts, 16));
    ++m_attempts;
    ++m_requestsSent;
    m_sentAny = true;
    m_lastSendMs = nowMs;
    m_deadlineMs = nowMs + wait;
    out.send = masterRequest(m_region, m_seed, m_filter);
    out.wakeMs = m_deadlineMs;
    return out;
}

bool MasterPaging::samePage(const MasterPage& page) const
{
    return m_previous && m_previous->servers == page.servers && m_previous->last == page.last &&
           m_previous->endOfList == page.endOfList;
}

bool MasterPaging::received(Bytes datagram)
{
    if (done())
        return false;
    MasterReplyError error = MasterReplyError::None;
    std::optional<MasterPage> page = decodeMasterReply(datagram, error);
    if (!page) {
        ++m_malformed;
        return false;
    }
    if (m_attempts == 0)
        return false; // nothing asked for: a late copy of the page already taken
    if (samePage(*page)) {
        if (m_staleAllowed > 0) {
            --m_staleAllowed;
            return false;
        }
        finish(MasterOutcome::RepeatedPage);
        return true;
    }

    ++m_pages;
    std::size_t added = 0;
    bool cut = false;
    for (const Endpoint& a : page->servers) {
        if (m_seen.contains(a.key()))
            continue;
        if (m_servers.size() >= m_pacing.limit) {
            cut = true;
            break;
        }
        m_seen.insert(a.key());
        m_servers.push_back(a);
        ++added;
    }
    // A list that ends exactly at the limit is whole.
    if (cut || (m_servers.size() >= m_pacing.limit && !page->endOfList)) {
        finish(MasterOutcome::Limit);
        return true;
    }
    if (page->endOfList) {
        finish(MasterOutcome::EndOfList);
        return true;
    }
    if (added == 0 || !page->last || *page->last == m_seed) {
        finish(MasterOutcome::NoNewAddress);
        return true;
    }
    m_seed = *page->last;
    m_staleAllowed = m_attempts - 1;
    m_attempts = 0;
    m_previous = std::move(page);
    return true;
}

} // namespace vantry::query
