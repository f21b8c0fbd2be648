#pragma once

namespace vantry {

// The long operations that yield to the event loop; at most one runs at a time.
enum class LongOperation
{
    None,
    Sweep,
    Refresh,
    FavouritesPass,
};

// What the whole main window reads and few write, all on the window thread: whether the program
// is closing, and which long operation runs. The main window holds the one mutable object and
// marks the closing; the scan engine, which runs every long operation, marks what runs. Everyone
// else gets a const reference.
class Activity
{
public:
    // The program is closing or the session ends: every loop unwinds at its next step.
    bool closing() const { return m_closing; }
    LongOperation running() const { return m_running; }

    // Once closing, always closing.
    void markClosing() { m_closing = true; }

    // Marks one long operation as running for its whole extent, however it ends.
    class Running
    {
    public:
        Running(Activity& activity, LongOperation op) : m_activity(activity) { m_activity.m_running = op; }
        ~Running() { m_activity.m_running = LongOperation::None; }
        Running(const Running&) = delete;
        Running& operator=(const Running&) = delete;

    private:
        Activity& m_activity;
    };

private:
    bool m_closing = false;
    LongOperation m_running = LongOperation::None;
};

} // namespace vantry
