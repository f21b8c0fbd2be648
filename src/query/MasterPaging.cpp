#include "MasterPaging.h"

#include <algorithm>
#include <cctype>

namespace vantry::query {

namespace {

// Waits stop growing here: a master that has not answered in this long is not about to.
constexpr std::int64_t MaxWaitMs = 60'000;
// A master that has answered and then misses a page is more likely limiting the rate than gone:
// it gets this many more tries, each after a longer pause.
constexpr int ExtraAdaptiveTries = 2;

bool endsWithDomain(std::string_view host, std::string_view domain)
{
    if (host.size() < domain.size())
        return false;
    const std::string_view tail = host.substr(host.size() - domain.size());
    for (std::size_t i = 0; i < tail.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(tail[i])) != domain[i])
            return false;
    return host.size() == domain.size() || host[host.size() - domain.size() - 1] == '.';
}

} // namespace

bool rateLimitedMaster(std::string_view host)
{
    while (!host.empty() && host.back() == '.')
        host.remove_suffix(1);
    return endsWithDomain(host, "steampowered.com") || endsWithDomain(host, "valvesoftware.com");
}

MasterPaging::MasterPaging(std::uint8_t region, std::string filter, MasterPacing pacing)
    : m_region(region), m_filter(std::move(filter)), m_pacing(pacing)
{
    m_pacing.paceMs = std::max(0, m_pacing.paceMs);
    m_pacing.replyTimeoutMs = std::max(1, m_pacing.replyTimeoutMs);
    m_pacing.retries = std::max(0, m_pacing.retries);
    m_pacing.backoffStartMs = std::clamp(m_pacing.backoffStartMs, 1, int{MaxWaitMs});
    m_pauseMs = std::clamp(m_pacing.learnedPauseMs, 0, int{MaxWaitMs});
    if (m_pacing.limit == 0)
        finish(MasterOutcome::Limit);
}

MasterPaging::Step MasterPaging::step(std::int64_t nowMs)
{
    m_lastStepMs = nowMs;
    Step out;
    if (done()) {
        out.done = true;
        return out;
    }
    if (m_attempts > 0 && nowMs < m_deadlineMs) {
        out.wakeMs = m_deadlineMs;
        return out;
    }
    const bool answered = m_pages > 0;
    const int tries = m_pacing.retries + (m_pacing.adaptive && answered ? ExtraAdaptiveTries : 0);
    if (m_attempts > tries) {
        finish(answered ? MasterOutcome::StoppedAnswering : MasterOutcome::Silent);
        out.done = true;
        return out;
    }
    std::int64_t sendAt = nowMs;
    if (!m_pacing.adaptive) {
        if (m_sentAny)
            sendAt = m_lastSendMs + m_pacing.paceMs;
    } else {
        if (m_attempts > 0 && m_backedOff < m_attempts) {
            m_pauseMs =
                m_pauseMs == 0
                    ? m_pacing.backoffStartMs
                    : static_cast<int>(std::min<std::int64_t>(2 * std::int64_t{m_pauseMs}, MaxWaitMs));
            m_backedOff = m_attempts;
        }
        // The pause counts from the last answer: the master measures from there too.
        if (answered)
            sendAt = m_lastAnswerMs + m_pauseMs;
        else if (m_sentAny)
            sendAt = m_firstSendMs + m_pauseMs;
    }
    if (nowMs < sendAt) {
        out.wakeMs = sendAt;
        return out;
    }
    const int doublings = m_pacing.adaptive && answered ? 0 : std::min(m_attempts, 16);
    const std::int64_t wait =
        std::min<std::int64_t>(MaxWaitMs, std::int64_t{m_pacing.replyTimeoutMs} << doublings);
    ++m_attempts;
    ++m_requestsSent;
    if (!m_sentAny)
        m_firstSendMs = nowMs;
    m_sentAny = true;
    m_lastSendMs = nowMs;
    m_deadlineMs = nowMs + wait;
    out.send = masterRequest(m_region, m_seed, m_filter);
    out.wakeMs = m_deadlineMs;
    return out;
}

void MasterPaging::refused()
{
    if (!done())
        finish(m_pages > 0 ? MasterOutcome::StoppedAnswering : MasterOutcome::Silent);
}

bool MasterPaging::samePage(const MasterPage& page) const
{
    return m_previous && m_previous->servers == page.servers && m_previous->last == page.last &&
           m_previous->endOfList == page.endOfList;
}

bool MasterPaging::received(Bytes datagram, std::int64_t nowMs)
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
        // A duplicated or stale datagram: the page asked for may still come, so ask again with
        // the same seed at once. Only a master that keeps answering so has no further page.
        if (++m_repeats > m_pacing.retries) {
            finish(MasterOutcome::RepeatedPage);
            return true;
        }
        m_deadlineMs = nowMs;
        m_backedOff = m_attempts; // an answer, not a silence: the pause does not grow
        return false;
    }

    ++m_pages;
    m_lastAnswerMs = nowMs;
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
    m_repeats = 0;
    m_attempts = 0;
    m_backedOff = 0;
    m_previous = std::move(page);
    return true;
}

} // namespace vantry::query
