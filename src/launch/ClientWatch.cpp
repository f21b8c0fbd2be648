#include "ClientWatch.h"

#include "ClientStart.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace vantry::launch {

namespace {

// What the keeper holds of the client's output: enough for the last lines of a usual error, small
// enough to cost nothing for a client that prints for hours.
constexpr std::size_t TailBytes = 8192;
// The keeper's own report pipe in its fixed place; everything above it is closed.
constexpr int ReportFd = 3;
// How long the start itself may take before it counts as failed.
constexpr int StartTimeoutMs = 10000;

// Everything the children need, made before the fork: after it only async-signal-safe calls run,
// as the program has other threads whose locks a child could inherit held.
struct Prepared
{
    QByteArray program;
    std::vector<QByteArray> args;
    std::vector<char*> argv;
    QByteArray directory;
    std::vector<QByteArray> env; // ours with the start's variables over it
    std::vector<char*> envp;
    std::vector<char> tail = std::vector<char>(TailBytes);
};

void writeAll(int fd, const void* data, std::size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

// Bytes read until `size` or the end of the data.
std::size_t readFull(int fd, void* data, std::size_t size)
{
    char* p = static_cast<char*>(data);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, p + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

void closeAbove(int lowest)
{
    if (::close_range(static_cast<unsigned>(lowest), ~0U, 0) == 0)
        return;
    for (int fd = lowest; fd < 65536; ++fd)
        ::close(fd);
}

pid_t waitFor(pid_t pid, int* status, int options)
{
    pid_t r = 0;
    do
        r = ::waitpid(pid, status, options);
    while (r < 0 && errno == EINTR);
    return r;
}

[[noreturn]] void runClient(const Prepared& p, int outFd, int execFd)
{
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // The keeper ignores SIGPIPE, and an ignored signal stays ignored across exec.
    struct sigaction plain
    {};
    plain.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &plain, nullptr);

    const int nul = ::open("/dev/null", O_RDONLY);
    ::dup2(nul, 0);
    ::dup2(outFd, 1);
    ::dup2(outFd, 2);
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
        for (int fd = 3; fd < 65536; ++fd)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    int error = 0;
    if (!p.directory.isEmpty() && ::chdir(p.directory.constData()) != 0)
        error = errno;
    if (error == 0) {
        ::execve(p.program.constData(), p.argv.data(), p.envp.data());
        error = errno;
    }
    writeAll(execFd, &error, sizeof error);
    ::_exit(127);
}

class Tail
{
public:
    explicit Tail(std::vector<char>& buffer) : m_buffer(buffer) {}

    void add(const char* data, std::size_t size)
    {
        for (std::size_t i = 0; i < size; ++i) {
            m_buffer[m_next] = data[i];
            m_next = (m_next + 1) % m_buffer.size();
            m_full = m_full || m_next == 0;
        }
    }
    void writeTo(int fd) const
    {
        if (m_full)
            writeAll(fd, m_buffer.data() + m_next, m_buffer.size() - m_next);
        writeAll(fd, m_buffer.data(), m_next);
    }

private:
    std::vector<char>& m_buffer;
    std::size_t m_next = 0;
    bool m_full = false;
};

// Reads everything that waits; false at the end of the data.
bool drain(int fd, Tail* tail)
{
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            if (tail)
                tail->add(chunk, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0; // EAGAIN: more may come
    }
}

// The report: the exec's errno and the client's pid at once; its wait status and the tail of its
// output when it ends. The output is drained to its end all the same, for whatever else holds it.
[[noreturn]] void keep(Prepared& p)
{
    struct sigaction ignore
    {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, nullptr);

    int out[2];
    int exec[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(exec, O_CLOEXEC) != 0) {
        const std::int32_t header[2] = {errno, 0};
        writeAll(ReportFd, header, sizeof header);
        ::_exit(1);
    }
    const pid_t client = ::fork();
    if (client == 0)
        runClient(p, out[1], exec[1]);
    ::close(out[1]);
    ::close(exec[1]);
    std::int32_t header[2] = {client < 0 ? errno : 0, client < 0 ? 0 : client};
    if (client > 0 && readFull(exec[0], &header[0], sizeof header[0]) != sizeof header[0])
        header[0] = 0;
    ::close(exec[0]);
    writeAll(ReportFd, header, sizeof header);
    if (header[0] != 0) {
        if (client > 0)
            waitFor(client, nullptr, 0);
        ::_exit(1);
    }

    ::fcntl(out[0], F_SETFL, O_NONBLOCK);
    const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, client, 0));
    Tail tail(p.tail);
    bool open = true;
    bool reported = false;
    int status = 0;
    const auto report = [&] {
        if (open)
            drain(out[0], &tail);
        const std::int32_t word = status;
        writeAll(ReportFd, &word, sizeof word);
        tail.writeTo(ReportFd);
        ::close(ReportFd);
        reported = true;
    };
    while (open) {
        pollfd fds[2] = {{out[0], POLLIN, 0}, {pidFd, POLLIN, 0}};
        const bool watchPid = !reported && pidFd >= 0;
        // Without a pid descriptor the client's end is looked for twice a second.
        const int timeout = reported || watchPid ? -1 : 500;
        if (::poll(fds, watchPid ? 2 : 1, timeout) < 0 && errno != EINTR)
            break;
        if (fds[0].revents != 0)
            open = drain(out[0], reported ? nullptr : &tail);
        if (!reported && waitFor(client, &status, WNOHANG) == client)
            report();
    }
    if (!reported) {
        waitFor(client, &status, 0);
        report();
    }
    ::_exit(0);
}

QStringList lastLines(const QByteArray& bytes)
{
    QStringList lines = QString::fromLocal8Bit(bytes).split(u'\n');
    for (QString& line : lines)
        if (line.endsWith(u'\r'))
            line.chop(1);
    while (!lines.isEmpty() && lines.constLast().trimmed().isEmpty())
        lines.removeLast();
    if (lines.size() > ClientWatch::KeptLines)
        lines = lines.mid(lines.size() - ClientWatch::KeptLines);
    return lines;
}

} // namespace

QString earlyExitText(const QString& program, const ClientExit& exit)
{
    QString text = QStringLiteral("The game client ") + QDir::toNativeSeparators(program);
    if (exit.signal != 0)
        text += QStringLiteral(" was ended by signal %1 (%2)")
                    .arg(exit.signal)
                    .arg(QString::fromLocal8Bit(::strsignal(exit.signal)));
    else
        text += QStringLiteral(" exited with status %1").arg(exit.exitStatus);
    text += QStringLiteral(" soon after it started.");
    if (exit.lastLines.isEmpty())
        return text + QStringLiteral(" It printed nothing.");
    return text + QStringLiteral(" Its last lines:\n\n") + exit.lastLines.join(u'\n');
}

std::unique_ptr<ClientWatch> ClientWatch::start(const ClientStart& start, std::chrono::milliseconds window,
                                                QString* error)
{
    Prepared p;
    p.program = QFile::encodeName(start.program);
    p.args.push_back(p.program);
    for (const QString& arg : start.arguments)
        p.args.push_back(arg.toLocal8Bit());
    for (QByteArray& arg : p.args)
        p.argv.push_back(arg.data());
    p.argv.push_back(nullptr);
    p.directory = QFile::encodeName(start.workingDirectory);
    for (char** variable = environ; *variable; ++variable) {
        const QByteArray entry(*variable);
        const qsizetype equals = entry.indexOf('=');
        const bool replaced =
            std::any_of(start.environment.cbegin(), start.environment.cend(), [&](const QString& set) {
                return equals > 0 && set.toLocal8Bit().startsWith(entry.left(equals + 1));
            });
        if (!replaced)
            p.env.push_back(entry);
    }
    for (const QString& variable : start.environment)
        p.env.push_back(variable.toLocal8Bit());
    for (QByteArray& variable : p.env)
        p.envp.push_back(variable.data());
    p.envp.push_back(nullptr);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    const pid_t middle = ::fork();
    if (middle == 0) {
        // A session of its own: the terminal's hang-up and Ctrl+C reach this program, not the game.
        ::setsid();
        const int nul = ::open("/dev/null", O_RDWR);
        ::dup2(nul, 0);
        ::dup2(nul, 1);
        ::dup2(nul, 2);
        ::dup2(report[1], ReportFd);
        ::fcntl(ReportFd, F_SETFD, FD_CLOEXEC);
        // The window's sockets (the UDP port, the display) must not outlive this program in the game.
        closeAbove(ReportFd + 1);
        const pid_t keeper = ::fork();
        if (keeper != 0)
            ::_exit(keeper < 0 ? 1 : 0);
        keep(p);
    }
    const int forkError = middle < 0 ? errno : 0;
    ::close(report[1]);
    if (middle < 0) {
        ::close(report[0]);
        *error = QString::fromLocal8Bit(std::strerror(forkError));
        return nullptr;
    }
    waitFor(middle, nullptr, 0);

    std::int32_t header[2] = {0, 0};
    pollfd ready{report[0], POLLIN, 0};
    const bool answered =
        ::poll(&ready, 1, StartTimeoutMs) > 0 && readFull(report[0], header, sizeof header) == sizeof header;
    if (!answered || header[0] != 0 || header[1] <= 0) {
        ::close(report[0]);
        *error = answered && header[0] != 0 ? QString::fromLocal8Bit(std::strerror(header[0]))
                                            : QStringLiteral("the client did not start");
        return nullptr;
    }
    ::fcntl(report[0], F_SETFL, O_NONBLOCK);
    return std::unique_ptr<ClientWatch>(new ClientWatch(report[0], header[1], window));
}

ClientWatch::ClientWatch(int reportFd, qint64 clientPid, std::chrono::milliseconds window)
    : m_fd(reportFd), m_clientPid(clientPid)
{
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ClientWatch::readReport);
    m_window = new QTimer(this);
    m_window->setSingleShot(true);
    connect(m_window, &QTimer::timeout, this, [this] {
        stop();
        emit watchEnded();
    });
    m_window->start(window);
}

ClientWatch::~ClientWatch()
{
    stop();
}

void ClientWatch::stop()
{
    m_window->stop();
    m_notifier->setEnabled(false);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void ClientWatch::readReport()
{
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
        if (n > 0) {
            // The keeper sends at most its status and its tail; anything more is not its report.
            if (m_report.size() < static_cast<qsizetype>(sizeof(std::int32_t) + TailBytes))
                m_report.append(chunk, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return; // more to come
        break;
    }
    stop();
    ClientExit exit;
    if (m_report.size() >= static_cast<qsizetype>(sizeof(std::int32_t))) {
        std::int32_t status = 0;
        std::memcpy(&status, m_report.constData(), sizeof status);
        if (WIFSIGNALED(status))
            exit.signal = WTERMSIG(status);
        else if (WIFEXITED(status))
            exit.exitStatus = WEXITSTATUS(status);
        exit.lastLines = lastLines(m_report.mid(sizeof status));
    }
    // Told after the watch has stopped, so a handler that opens a box may start another client.
    if (exit.failed())
        emit failedEarly(exit);
    emit watchEnded();
}

} // namespace vantry::launch
