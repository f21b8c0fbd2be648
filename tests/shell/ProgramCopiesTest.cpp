// The real program, copied to a folder of its own as a user unpacks or installs it: where it keeps
// its settings, and what a second copy started beside the first one does.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <gtest/gtest.h>

namespace vantry {
namespace {

constexpr int EndMs = 8000;

// A home, a configuration folder and a program folder holding a copy of the program, in a
// temporary folder; TMPDIR there too, so the single-instance socket is this test's own.
class Desktop
{
public:
    Desktop()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("home"));
        QDir(m_dir.path()).mkpath(QStringLiteral("apps/vantry"));
        QDir(m_dir.path()).mkpath(QStringLiteral("run"));
        QFile::setPermissions(m_dir.filePath(QStringLiteral("run")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::copy(QStringLiteral(VANTRY_BINARY), program());
        QFile::setPermissions(program(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString program() const { return m_dir.filePath(QStringLiteral("apps/vantry/vantry")); }
    QString beside() const { return m_dir.filePath(QStringLiteral("apps/vantry/vantry.ini")); }
    QString configFile() const { return m_dir.filePath(QStringLiteral("xdg/vantry/vantry.ini")); }

    void start(QProcess& process) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("xdg")));
        env.insert(QStringLiteral("TMPDIR"), m_dir.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("run")));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(m_dir.filePath(QStringLiteral("home")));
        process.start(program(), {});
    }

    // The running copy answers later ones once its socket is there.
    bool listening() const
    {
        return !QDir(m_dir.path()).entryList({QStringLiteral("vantry-*")}, QDir::System).isEmpty();
    }

private:
    QTemporaryDir m_dir;
};

// The program ends by itself on SIGTERM once it has taken the signal over (when its window is
// made); before, the signal's default action would kill it.
bool catchesTerm(const QProcess& process)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(process.processId()));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
    return false;
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Starts a copy, waits until it is up and ends it as a session's end does: it writes its settings.
void runAndEnd(const Desktop& desktop)
{
    QProcess copy;
    desktop.start(copy);
    ASSERT_TRUE(copy.waitForStarted(EndMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return catchesTerm(copy); }, EndMs)) << copy.readAll().constData();
    ::kill(static_cast<pid_t>(copy.processId()), SIGTERM);
    ASSERT_TRUE(copy.waitForFinished(EndMs));
    EXPECT_EQ(copy.exitCode(), 0);
}

TEST(ProgramCopies, SettingsGoToTheXdgFolderUnlessACopyBringsItsOwnBesideIt)
{
    {
        Desktop desktop;
        runAndEnd(desktop);
        EXPECT_TRUE(bytesOf(desktop.configFile()).contains("[Settings]")) << "written to the XDG folder";
        EXPECT_FALSE(QFile::exists(desktop.beside())) << "nothing left beside the program";
    }
    {
        // A portable copy: unpacked with its settings beside it, it keeps using them there.
        Desktop desktop;
        QFile file(desktop.beside());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Settings]\nCSPort=27016\n");
        file.close();
        runAndEnd(desktop);
        const QByteArray kept = bytesOf(desktop.beside());
        EXPECT_TRUE(kept.contains("CSPort=27016")) << kept.constData();
        EXPECT_TRUE(kept.contains("Height=")) << "written back beside the program";
        EXPECT_FALSE(QFile::exists(desktop.configFile())) << "the XDG folder is not touched";
    }
}

TEST(ProgramCopies, SecondCopySaysOnStderrThatItBroughtTheFirstForwardAndEnds)
{
    Desktop desktop;
    QProcess first;
    desktop.start(first);
    ASSERT_TRUE(first.waitForStarted(EndMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.listening() && catchesTerm(first); }, EndMs))
        << first.readAll().constData();

    QProcess second;
    desktop.start(second);
    ASSERT_TRUE(second.waitForFinished(EndMs)) << "the second copy kept running";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(second.readAllStandardError(),
              QByteArray("Vantry is already running: its window was brought forward.\n"));
    EXPECT_EQ(first.state(), QProcess::Running) << "the first copy goes on";

    ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
    EXPECT_TRUE(first.waitForFinished(EndMs));
}

} // namespace
} // namespace vantry
