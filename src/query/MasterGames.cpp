#include "MasterGames.h"

namespace vantry::query {

MasterGames::MasterGames(std::uint8_t region, std::vector<std::string> filters, MasterPacing pacing)
    : m_region(region), m_filters(std::move(filters)), m_pacing(pacing)
{}

ListExchange::Step MasterGames::step(std::int64_t nowMs)
{
    while (!m_done) {
        if (!m_paging) {
            if (m_game >= m_filters.size()) {
                m_done = true;
                break;
            }
            if (nowMs < m_notBeforeMs)
                return {{}, m_notBeforeMs, false};
            m_paging.emplace(m_region, m_filters[m_game], m_pacing);
            m_taken = 0;
        }
        Step step = m_paging->step(nowMs);
        if (!step.send.empty())
            m_lastSendMs = nowMs;
        if (!step.done)
            return step;
        gameEnded();
    }
    if (m_outcome == MasterOutcome::Running)
        m_outcome = MasterOutcome::EndOfList;
    return {{}, nowMs, true};
}

void MasterGames::gameEnded()
{
    take();
    const MasterOutcome outcome = m_paging->outcome();
    m_malformed += m_paging->malformedReplies();
    ++m_game;
    if (outcome != MasterOutcome::EndOfList && m_outcome == MasterOutcome::Running)
        m_outcome = outcome;
    if (outcome == MasterOutcome::Silent && !m_answered) {
        m_paging.reset();
        m_done = true;
        return;
    }
    if (m_pacing.adaptive) {
        // The next game's list waits for what this one taught, from the master's last answer.
        m_pacing.learnedPauseMs = m_paging->pauseMs();
        if (m_paging->pages() > 0)
            m_lastAnswerMs = m_paging->lastAnswerMs();
        m_notBeforeMs = m_answered ? m_lastAnswerMs + m_pacing.learnedPauseMs : 0;
    } else {
        m_notBeforeMs = m_lastSendMs + m_pacing.paceMs;
    }
    m_paging.reset();
}

bool MasterGames::received(Bytes datagram, std::int64_t nowMs)
{
    // Between two games no paging runs: what comes then is dropped.
    if (!m_paging || !m_paging->received(datagram, nowMs))
        return false;
    m_answered = true;
    take();
    return true;
}

void MasterGames::refused()
{
    if (m_paging)
        m_paging->refused();
}

std::size_t MasterGames::malformedReplies() const
{
    return m_malformed + (m_paging ? m_paging->malformedReplies() : 0);
}

void MasterGames::take()
{
    const std::vector<Endpoint>& listed = m_paging->servers();
    for (; m_taken < listed.size(); ++m_taken)
        if (m_servers.size() < m_pacing.limit && m_seen.insert(listed[m_taken].key()).second)
            m_servers.push_back(listed[m_taken]);
}

} // namespace vantry::query
