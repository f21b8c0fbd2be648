#include "IntervalTimer.h"

namespace vantry {

IntervalTimer::IntervalTimer(int intervalMs, QObject* parent) : QObject(parent), m_interval(intervalMs)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &IntervalTimer::timeout);
}

void IntervalTimer::setInterval(int ms)
{
    if (ms == m_interval)
        return;
    m_interval = ms;
    if (m_enabled)
        m_timer.start(m_interval);
}

void IntervalTimer::setEnabled(bool on)
{
    if (on == m_enabled)
        return;
    m_enabled = on;
    if (on)
        m_timer.start(m_interval);
    else
        m_timer.stop();
}

} // namespace vantry
