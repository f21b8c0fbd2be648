#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

namespace vantry {

// The end of the desktop session or of the process from outside: the session manager's
// commit-data request, SIGTERM and SIGHUP, all brought to the window thread as endRequested.
// One instance at a time owns the two signals; the previous handlers come back when it goes.
class SessionEnd : public QObject
{
    Q_OBJECT
public:
    explicit SessionEnd(QObject* parent = nullptr);
    ~SessionEnd() override;

    // False when the signals could not be taken (another instance holds them, or no pipe).
    bool signalsInstalled() const { return m_installed; }

signals:
    void endRequested();

private:
    void readSignals();

    int m_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
    struct sigaction m_oldTerm = {};
    struct sigaction m_oldHup = {};
    bool m_installed = false;
};

} // namespace vantry
