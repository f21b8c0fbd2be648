#pragma once

#include <QObject>
#include <QTimer>

namespace vantry {

// A timer with the semantics the program's timers rely on: setting the interval it already has,
// or enabling it while it is enabled, does not restart its countdown (QTimer restarts on both).
class IntervalTimer : public QObject
{
    Q_OBJECT
public:
    explicit IntervalTimer(int intervalMs, QObject* parent = nullptr);

    int interval() const { return m_interval; }
    bool enabled() const { return m_enabled; }
    // A different interval restarts a running countdown; the same interval changes nothing.
    void setInterval(int ms);
    void setEnabled(bool on);

signals:
    void timeout();

private:
    QTimer m_timer;
    int m_interval;
    bool m_enabled = false;
};

} // namespace vantry
