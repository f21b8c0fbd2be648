#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace vantry::emu {

// An emulator's serving loop on a thread of its own. The loop polls wakeFd() beside its sockets,
// so stop() wakes it at once instead of waiting out a poll.
class LoopThread
{
public:
    LoopThread() = default;
    LoopThread(const LoopThread&) = delete;
    LoopThread& operator=(const LoopThread&) = delete;
    ~LoopThread();

    // Makes the wake pipe (throws EmuError); call before start().
    void openWake();
    void start(std::function<void()> loop);
    // Tells the loop to stop, wakes it, waits for it and closes the pipe. False (and nothing done)
    // when no loop runs.
    bool stop();

    bool running() const { return m_thread.joinable(); }
    bool stopping() const { return m_stop.load(); }
    int wakeFd() const { return m_wake[0]; }

private:
    void closeWake();

    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

} // namespace vantry::emu
