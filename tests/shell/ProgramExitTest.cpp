// The real program on a private X server, ended from outside by the signals that the end of a
// session and service managers send: it must end within seconds and write its settings, with a
// box waiting for an answer or with the window hidden.
#include "XServer.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <signal.h>

namespace vantry {
namespace {

constexpr int EndMs = 5000;

// The program started with its settings in a temporary folder; killed if a test leaves it running.
class RunningProgram
{
public:
    explicit RunningProgram(const QString& display)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // A copy the user runs meanwhile must not take this one for a second copy and end it.
        env.insert(QStringLiteral("TMPDIR"), m_dir.path());
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(m_dir.path());
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral(VANTRY_BINARY), {QStringLiteral("--settings"), settingsPath()});
    }
    ~RunningProgram()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(EndMs);
        }
    }

    QString settingsPath() const { return m_dir.filePath(QStringLiteral("vantry.ini")); }
    void signal(int number) { ::kill(static_cast<pid_t>(m_process.processId()), number); }
    bool ended() { return m_process.waitForFinished(EndMs); }
    // Ended by itself with status 0 (not by the signal's default action).
    bool endedCleanly() const
    {
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }
    QByteArray settings() const
    {
        QFile file(settingsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QByteArray output() { return m_process.readAll(); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

// Waits until the screen shows exactly one window of the program, and returns it.
xcb_window_t waitForOneWindow(xcb_connection_t* c)
{
    constexpr xcb_window_t None = XCB_WINDOW_NONE;
    xcb_window_t shown = None;
    const bool found = QTest::qWaitFor(
        [&] {
            const QVector<xcb_window_t> windows = test::shownTopLevels(c);
            shown = windows.size() == 1 ? windows.front() : None;
            return shown != None;
        },
        15000);
    return found ? shown : None;
}

TEST(ProgramExit, TermWhileTheHotKeyBoxWaitsAtStartEndsTheProgramAndWritesTheSettings)
{
    START_X_OR_SKIP(server);
    test::XConnection holder(server), probe(server);
    ASSERT_TRUE(holder.c && probe.c);
    // Another program holds Shift+Alt+S: the program says so in a box before its window shows.
    xcb_generic_error_t* error =
        xcb_request_check(holder.c, xcb_grab_key_checked(holder.c, 1, test::rootOf(holder.c),
                                                         XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_1,
                                                         test::keycodeOf(holder.c, test::KeyS),
                                                         XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    ASSERT_EQ(error, nullptr);

    RunningProgram program(server.display());
    const xcb_window_t box = waitForOneWindow(probe.c);
    ASSERT_NE(box, xcb_window_t(XCB_WINDOW_NONE)) << program.output().constData();
    ASSERT_TRUE(test::isDialogWindow(probe.c, box)) << "the hot key's box is the first window";

    program.signal(SIGTERM);
    ASSERT_TRUE(program.ended()) << "the program kept running";
    EXPECT_TRUE(program.endedCleanly()) << "killed by the signal, not ended by it";
    EXPECT_TRUE(program.settings().contains("[Settings]\nHeight=")) << "the settings were not written";
}

TEST(ProgramExit, HupWhileHiddenByTheHotKeyEndsTheProgramAndWritesTheSettings)
{
    START_X_OR_SKIP(server);
    test::XConnection keyboard(server), probe(server);
    ASSERT_TRUE(keyboard.c && probe.c);

    RunningProgram program(server.display());
    const xcb_window_t main = waitForOneWindow(probe.c);
    ASSERT_NE(main, xcb_window_t(XCB_WINDOW_NONE)) << program.output().constData();
    EXPECT_EQ(test::windowCaption(probe.c, main), QStringLiteral("Vantry 1.98"));
    test::typeChord(keyboard.c, {test::KeyShiftL, test::KeyAltL, test::KeyS});
    ASSERT_TRUE(QTest::qWaitFor([&] { return test::shownTopLevels(probe.c).isEmpty(); }, EndMs))
        << "the hot key did not hide the window";

    program.signal(SIGHUP);
    ASSERT_TRUE(program.ended()) << "the program kept running hidden";
    EXPECT_TRUE(program.endedCleanly());
    EXPECT_TRUE(program.settings().contains("[Settings]\nHeight=")) << "the settings were not written";
}

} // namespace
} // namespace vantry
