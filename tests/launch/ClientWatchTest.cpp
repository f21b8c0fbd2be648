// Game clients that end at once in error, and clients that keep running: real child processes
// (small scripts), started as the launcher starts a client.
#include "launch/ClientWatch.h"

#include "LaunchFixtures.h"
#include "browser/StaticSettings.h"
#include "launch/ClientStart.h"
#include "launch/Launcher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using vantry::browser::StaticSettings;
using vantry::launch::ClientExit;
using vantry::launch::ClientStart;
using vantry::launch::ClientWatch;
using vantry::launch::Launcher;
using vantry::test::FakeHost;
using vantry::test::RecordingPrompter;
using namespace std::chrono_literals;

namespace {

// Runs the event loop until the condition holds or the time is up.
bool waitUntil(const std::function<bool()>& done, int ms = 10000)
{
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

// The children of this process that have ended and were never reaped.
int zombieChildren()
{
    int count = 0;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : pids) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        // "pid (name) state ppid ...": the name may hold blanks, the last ')' ends it.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[0] == "Z" && fields[1].toLong() == ::getpid())
            ++count;
    }
    return count;
}

struct ClientWatchFixture : ::testing::Test
{
    QTemporaryDir dir;
    StaticSettings settings;
    FakeHost host;
    RecordingPrompter prompts;
    Launcher launcher{settings, host};

    QString script(const QString& name, const QByteArray& body)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + body);
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    // A listed CS 1.6 server, selected, whose client is the given program.
    void clientIs(const QString& path)
    {
        settings.paths[2] = path;
        host.selected = host.add(QStringLiteral("1.6"), QStringLiteral("127.0.0.5"), QStringLiteral("27015"));
    }
};

} // namespace

TEST_F(ClientWatchFixture, ClientEndingInErrorIsReportedWithItsLastTenLinesAndTheWindowComesBack)
{
    // Fifteen numbered lines, the odd ones on stderr, then exit status 3.
    clientIs(script(QStringLiteral("hl_linux"), "i=1\nwhile [ $i -le 15 ]; do\n"
                                                "  if [ $((i % 2)) -eq 1 ]; then echo \"line-$i err\" >&2;\n"
                                                "  else echo \"line-$i out\"; fi\n"
                                                "  i=$((i + 1))\ndone\nexit 3\n"));
    ASSERT_EQ(launcher.play(), Launcher::Outcome::Started);
    EXPECT_FALSE(host.visible);
    ASSERT_TRUE(waitUntil([&] { return !prompts.messages.isEmpty(); }));

    ASSERT_EQ(prompts.messages.size(), 1);
    const auto& box = prompts.messages.front();
    EXPECT_EQ(box.caption, QStringLiteral("Error"));
    EXPECT_TRUE(box.text.contains(QStringLiteral("exited with status 3"))) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains(settings.paths[2])) << box.text.toStdString();
    for (int i = 6; i <= 15; ++i)
        EXPECT_TRUE(box.text.contains(QStringLiteral("line-%1 ").arg(i))) << i << box.text.toStdString();
    for (int i = 1; i <= 5; ++i)
        EXPECT_FALSE(box.text.contains(QStringLiteral("line-%1 ").arg(i))) << i << box.text.toStdString();
    // The last line printed comes last.
    EXPECT_TRUE(box.text.endsWith(QStringLiteral("line-15 err"))) << box.text.toStdString();
    EXPECT_TRUE(host.log.contains(QStringLiteral("front")));
}

TEST_F(ClientWatchFixture, ClientKilledBySignalIsReportedAndCleanOrSlowEndsAreNot)
{
    clientIs(script(QStringLiteral("crash"), "echo loading\nkill -SEGV $$\nsleep 5\n"));
    ASSERT_EQ(launcher.play(), Launcher::Outcome::Started);
    ASSERT_TRUE(waitUntil([&] { return !prompts.messages.isEmpty(); }));
    EXPECT_TRUE(prompts.messages.front().text.contains(QStringLiteral("signal 11")))
        << prompts.messages.front().text.toStdString();
    EXPECT_TRUE(prompts.messages.front().text.endsWith(QStringLiteral("loading")));

    // A client that ends well within the window says nothing.
    prompts.messages.clear();
    settings.paths[2] = script(QStringLiteral("quick"), "echo bye\nexit 0\n");
    ASSERT_EQ(launcher.play(), Launcher::Outcome::Started);
    ASSERT_TRUE(waitUntil([&] { return launcher.clientWatch() && !launcher.clientWatch()->watching(); }));
    EXPECT_TRUE(prompts.messages.isEmpty());

    // One that fails after the window is the game's own affair.
    launcher.setExitWatch(300ms);
    const QString marker = dir.filePath(QStringLiteral("late-ended"));
    settings.paths[2] =
        script(QStringLiteral("late"), "sleep 1\ntouch '" + marker.toLocal8Bit() + "'\nexit 5\n");
    ASSERT_EQ(launcher.play(), Launcher::Outcome::Started);
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(marker); }));
    waitUntil([] { return false; }, 300);
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(ClientWatchFixture, ClientOutlivesTheWatchAndThisProgramAndNeverMeetsAClosedPipe)
{
    const QString marker = dir.filePath(QStringLiteral("done"));
    // The client leaves a child behind that prints a lot only after the watch has given up and the
    // client itself has ended, as `steam` leaves Steam running; a closed pipe would end that child
    // by SIGPIPE before it gets to the marker.
    const QString path =
        script(QStringLiteral("long"),
               "echo started\n"
               "( sleep 2; i=0; while [ $i -lt 3000 ]; do echo \"output $i\"; i=$((i + 1)); done;\n"
               "  touch '" +
                   marker.toLocal8Bit() +
                   "' ) &\n"
                   "sleep 1\nexit 4\n");
    ClientStart start;
    start.program = path;
    start.workingDirectory = dir.path();
    QString error;
    std::unique_ptr<ClientWatch> watch = ClientWatch::start(start, 300ms, &error);
    ASSERT_TRUE(watch) << error.toStdString();
    QSignalSpy failed(watch.get(), &ClientWatch::failedEarly);
    QSignalSpy ended(watch.get(), &ClientWatch::watchEnded);
    const pid_t client = static_cast<pid_t>(watch->clientPid());
    ASSERT_GT(client, 0);

    // The client runs in a session of its own, so the terminal's Ctrl+C for this program spares it.
    EXPECT_NE(::getsid(client), ::getsid(0));
    // Starting it left no child of ours behind, not even for a moment.
    EXPECT_EQ(zombieChildren(), 0);

    ASSERT_TRUE(waitUntil([&] { return ended.count() == 1; }, 3000));
    EXPECT_EQ(failed.count(), 0);
    EXPECT_EQ(::kill(client, 0), 0) << "the client must outlive the watch";
    watch.reset(); // as the program does when it closes

    // Its keeper reaps it once it ends, exit status 4 told to no one: nothing is left of it.
    EXPECT_TRUE(waitUntil([&] { return ::kill(client, 0) != 0; }, 5000));
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(marker); }))
        << "what the client left behind was cut off";
    EXPECT_EQ(zombieChildren(), 0);
}

TEST_F(ClientWatchFixture, ClientGetsNoneOfOurFilesAndAFailedExecIsReportedAtOnce)
{
    // A socket opened without close-on-exec, as a library might; the game must not hold it (a held
    // UDP port would keep the next start of this program from binding it).
    // Placed well above the low numbers that starting a client reuses for its own ends.
    const int opened = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(opened, 0);
    const int sock = ::fcntl(opened, F_DUPFD, 100);
    ::close(opened);
    ASSERT_GE(sock, 100);
    struct stat info
    {};
    ASSERT_EQ(::fstat(sock, &info), 0);
    const QString socketLink = QStringLiteral("socket:[%1]").arg(info.st_ino);

    const QString list = dir.filePath(QStringLiteral("fd-list"));
    clientIs(script(QStringLiteral("fds"), "for f in /proc/$$/fd/*; do readlink \"$f\"; done > '" +
                                               list.toLocal8Bit() + ".part'\nmv '" + list.toLocal8Bit() +
                                               ".part' '" + list.toLocal8Bit() + "'\n"));
    ASSERT_EQ(launcher.play(), Launcher::Outcome::Started);
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(list); }));
    QFile file(list);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString links = QString::fromLocal8Bit(file.readAll());
    EXPECT_FALSE(links.contains(socketLink)) << links.toStdString();
    ::close(sock);

    // An interpreter that does not exist: the start fails, the user is told, the window stays.
    host.visible = true;
    settings.paths[2] = script(QStringLiteral("broken"), "");
    QFile broken(settings.paths[2]);
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("#!/nonexistent/interpreter\n");
    broken.close();
    EXPECT_EQ(launcher.play(), Launcher::Outcome::StartFailed);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages.front().text.contains(QStringLiteral("No such file or directory")))
        << prompts.messages.front().text.toStdString();
    EXPECT_TRUE(host.visible);
}
