#pragma once

#include "query/Clock.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace vantry::test {

// The program's clock as a test drives it: it stands still until the test moves it, and a sleep
// moves it by what the sleep asks. Safe to move from another thread than the one reading it.
class HandClock final : public query::Clock
{
public:
    explicit HandClock(std::int64_t startMs = 0) : m_now(startMs) {}

    std::int64_t nowMs() const override { return m_now.load(); }
    void sleep(int ms) override
    {
        if (ms > 0)
            m_now += ms;
    }

    bool realTime() const override { return false; }

    void advance(std::int64_t ms) { m_now += ms; }
    void set(std::int64_t ms) { m_now = ms; }

private:
    std::atomic<std::int64_t> m_now;
};

// Against a hang, never the check: a test that holds the clock still while the program should end
// on something else would wait for ever when the program waits for its clock instead. After
// `patience` of real time this runs the clock on, an hour every few milliseconds, until it goes
// out of scope; ranOn() then tells the test to fail.
class StillClockGuard
{
public:
    StillClockGuard(HandClock& clock, std::chrono::milliseconds patience)
        : m_thread([this, &clock, patience] {
              std::unique_lock lock(m_mutex);
              if (m_cv.wait_for(lock, patience, [this] { return m_over; }))
                  return;
              m_ranOn = true;
              while (!m_cv.wait_for(lock, std::chrono::milliseconds(5), [this] { return m_over; }))
                  clock.advance(3'600'000);
          })
    {}
    ~StillClockGuard() { stop(); }
    StillClockGuard(const StillClockGuard&) = delete;
    StillClockGuard& operator=(const StillClockGuard&) = delete;

    void stop()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_over = true;
        }
        m_cv.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }
    bool ranOn() const { return m_ranOn; }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_over = false;
    std::atomic<bool> m_ranOn = false;
    std::thread m_thread;
};

} // namespace vantry::test
