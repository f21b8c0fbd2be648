#include "XashExchange.h"

#include "XashList.h"

namespace vantry::query {

XashExchange::XashExchange(XashAsking asking, std::uint32_t seed) : m_asking(std::move(asking)), m_keys(seed)
{}

ListExchange::Step XashExchange::step(std::int64_t nowMs)
{
    if (done())
        return {{}, nowMs, true};
    if (m_attempts == 0)
        return ask(nowMs);
    if (nowMs < m_deadlineMs)
        return {{}, m_deadlineMs, false};
    if (!m_answered && m_attempts <= m_asking.retries)
        return ask(nowMs);
    if (!m_answered && !m_everAnswered) {
        // Each further folder would cost the whole wait again.
        m_outcome = MasterOutcome::Silent;
        return {{}, nowMs, true};
    }
    ++m_game;
    m_attempts = 0;
    m_answered = false;
    return ask(nowMs);
}

ListExchange::Step XashExchange::ask(std::int64_t nowMs)
{
    if (m_game >= m_asking.gameDirs.size()) {
        m_outcome = MasterOutcome::EndOfList;
        return {{}, nowMs, true};
    }
    XashRequest request;
    request.gameDir = m_asking.gameDirs[m_game];
    request.key = static_cast<std::uint32_t>(m_keys());
    request.notEmpty = m_asking.notEmpty;
    request.notFull = m_asking.notFull;
    request.noPassword = m_asking.noPassword;
    m_sent.push_back(request.key);
    ++m_attempts;
    m_deadlineMs = nowMs + m_asking.replyWaitMs;
    return {xashMasterRequest(request), m_deadlineMs, false};
}

bool XashExchange::received(Bytes datagram, std::int64_t nowMs)
{
    if (done())
        return false;
    XashReplyError error = XashReplyError::None;
    for (const std::uint32_t key : m_sent) {
        const std::optional<std::vector<Endpoint>> found = decodeXashReply(datagram, key, error);
        if (!found) {
            if (error == XashReplyError::WrongKey)
                continue;
            ++m_malformed;
            return false;
        }
        m_answered = m_everAnswered = true;
        for (const Endpoint& e : *found)
            if (m_servers.size() < m_asking.limit && m_seen.insert(e.key()).second)
                m_servers.push_back(e);
        // The list goes on while datagrams keep coming.
        m_deadlineMs = nowMs + m_asking.quietMs;
        return true;
    }
    return false;
}

void XashExchange::refused()
{
    // Silence that needs no waiting for.
    if (!done() && !m_answered) {
        m_attempts = m_asking.retries + 1;
        m_deadlineMs = 0;
    }
}

} // namespace vantry::query
