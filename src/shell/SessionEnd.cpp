#include "SessionEnd.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace vantry {

namespace {

// Write end of the pipe of the instance that owns the signals; -1 when none does.
std::atomic<int> g_signalPipe{-1};

// Async-signal-safe: one write to a non-blocking pipe, errno kept for the interrupted code.
extern "C" void onEndSignal(int signal)
{
    const int savedErrno = errno;
    const int fd = g_signalPipe.load();
    if (fd >= 0) {
        const char byte = static_cast<char>(signal);
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

SessionEnd::SessionEnd(QObject* parent) : QObject(parent)
{
#ifndef QT_NO_SESSIONMANAGER
    if (qGuiApp)
        connect(qGuiApp, &QGuiApplication::commitDataRequest, this, &SessionEnd::endRequested);
#endif

    if (g_signalPipe.load() >= 0 || ::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_signalPipe.store(m_pipe[1]);

    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SessionEnd::readSignals);

    struct sigaction action = {};
    action.sa_handler = &onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, &m_oldTerm);
    ::sigaction(SIGHUP, &action, &m_oldHup);
    m_installed = true;
}

SessionEnd::~SessionEnd()
{
    if (m_installed) {
        ::sigaction(SIGTERM, &m_oldTerm, nullptr);
        ::sigaction(SIGHUP, &m_oldHup, nullptr);
        g_signalPipe.store(-1);
    }
    delete m_notifier;
    for (int fd : m_pipe)
        if (fd >= 0)
            ::close(fd);
}

void SessionEnd::readSignals()
{
    // Several signals before the loop came round are one request.
    char buffer[64];
    bool any = false;
    while (::read(m_pipe[0], buffer, sizeof buffer) > 0)
        any = true;
    if (any)
        emit endRequested();
}

} // namespace vantry
