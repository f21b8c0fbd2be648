#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

class QSocketNotifier;
class QTimer;

namespace vantry::launch {

struct ClientStart;

// How a watched client ended.
struct ClientExit
{
    int exitStatus = 0;    // the status passed to exit(); 0 when a signal ended it
    int signal = 0;        // the signal that ended it; 0 when it exited
    QStringList lastLines; // the last lines it printed, stdout and stderr together

    bool failed() const { return signal != 0 || exitStatus != 0; }
};

// The one English text that tells the user of a client that ended in error soon after it started.
QString earlyExitText(const QString& program, const ClientExit& exit);

// Starts a game client apart from this program and tells of it ending in error shortly after.
//
// The client runs in a session of its own under a small keeper process (a fork of this one), which
// reads what the client prints, keeps only the last bytes, reaps it and reports how it ended. The
// keeper goes on draining the output for as long as anything holds it open, so the client never
// meets a closed pipe, whether this program still watches, has stopped watching or has ended. This
// program waits for nothing but the start itself and leaves no child behind: the keeper's parent
// ends at once and is reaped.
class ClientWatch : public QObject
{
    Q_OBJECT
public:
    // The last lines kept of what the client printed.
    static constexpr int KeptLines = 10;

    ~ClientWatch() override;

    // Starts the client. The error text (English) when it cannot start: nothing then.
    static std::unique_ptr<ClientWatch> start(const ClientStart& start, std::chrono::milliseconds window,
                                              QString* error);

    qint64 clientPid() const { return m_clientPid; }
    // Still waiting to learn whether the client ends within the window.
    bool watching() const { return m_fd >= 0; }

signals:
    // The client ended with a non-zero status or by a signal within the window.
    void failedEarly(const vantry::launch::ClientExit& exit);
    // The watch is over: the client ended, or outlived the window.
    void watchEnded();

private:
    ClientWatch(int reportFd, qint64 clientPid, std::chrono::milliseconds window);
    void readReport();
    void stop();

    int m_fd = -1;
    qint64 m_clientPid = 0;
    QByteArray m_report;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_window = nullptr;
};

} // namespace vantry::launch
