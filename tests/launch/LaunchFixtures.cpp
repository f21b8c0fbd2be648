#include "LaunchFixtures.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <stdexcept>

namespace vantry::test {

namespace {

query::Game gameOf(const QString& text)
{
    for (int g = 0; g <= static_cast<int>(query::Game::Unknown); ++g)
        if (text == QLatin1String(query::gameText(static_cast<query::Game>(g))))
            return static_cast<query::Game>(g);
    return query::Game::Unknown;
}

} // namespace

int FakeHost::add(const QString& kind, const query::Endpoint& server, Players players,
                  std::optional<query::Image> st)
{
    rows.append({gameOf(kind), server, players.count, players.maximum, st, {}});
    return static_cast<int>(rows.size()) - 1;
}

int FakeHost::add(const QString& kind, const QString& address, const QString& port, Players players,
                  std::optional<query::Image> st)
{
    const auto server = query::Endpoint::parse((address + u':' + port).toStdString());
    if (!server)
        throw std::invalid_argument("not a server address: " + (address + u':' + port).toStdString());
    return add(kind, *server, players, st);
}

void FakeHost::remove(const query::Endpoint& server)
{
    for (qsizetype i = 0; i < rows.size(); ++i)
        if (rows[i].server() == server) {
            rows.removeAt(i);
            if (selected == i)
                selected = -1;
            else if (selected > i)
                --selected;
            return;
        }
}

std::optional<launch::ListedServer> FakeHost::selectedServer() const
{
    if (selected < 0 || selected >= rows.size())
        return std::nullopt;
    return rows[selected];
}

std::optional<launch::ListedServer> FakeHost::findServer(const query::Endpoint& server) const
{
    for (const launch::ListedServer& r : rows)
        if (r.server() == server)
            return r;
    return std::nullopt;
}

bool FakeHost::selectServer(const query::Endpoint& server)
{
    for (qsizetype i = 0; i < rows.size(); ++i)
        if (rows[i].server() == server) {
            selected = static_cast<int>(i);
            log << QStringLiteral("select ") + launch::serverText(server);
            return true;
        }
    return false;
}

void FakeHost::clearServers()
{
    rows.clear();
    selected = -1;
    log << QStringLiteral("clear");
}

void FakeHost::sendInfoRequest(const query::Endpoint& server)
{
    sends.append(server);
    log << QStringLiteral("send");
}

void FakeHost::setButtonEnabled(Button button, bool enabled)
{
    buttons[static_cast<int>(button)] = enabled;
}

void FakeHost::setAutoCaptionRed(bool red)
{
    autoRed = red;
}

void FakeHost::setAutoTimerEnabled(bool enabled)
{
    timer = enabled;
    log << (enabled ? QStringLiteral("timer on") : QStringLiteral("timer off"));
}

void FakeHost::setTrayAnimation(bool on)
{
    tray = on;
}

void FakeHost::setStatusText(int panel, const QString& text)
{
    status[panel] = text;
}

void FakeHost::restoreForQuestion()
{
    log << QStringLiteral("restore");
}

void FakeHost::bringToFront()
{
    log << QStringLiteral("front");
}

void FakeHost::hideWindow()
{
    visible = false;
    log << QStringLiteral("hide");
}

void FakeHost::showPasswordPrompt(const query::Endpoint& server)
{
    promptFor = server;
    ++promptCount;
}

void FakeHost::showAutoDialog(const std::optional<launch::ListedServer>& row)
{
    ++autoDialogShown;
    autoDialogRow = row;
}

void FakeHost::hideAutoDialog()
{
    ++autoDialogHidden;
}

RecordingPrompter::RecordingPrompter()
{
    setPrompter(this);
}

RecordingPrompter::~RecordingPrompter()
{
    setPrompter(nullptr);
}

void RecordingPrompter::message(const QString& caption, const QString& text, BoxIcon)
{
    messages.append({caption, text});
    if (log)
        *log << QStringLiteral("message");
}

bool RecordingPrompter::confirm(const QString& text)
{
    questions << text;
    if (log)
        *log << QStringLiteral("confirm");
    return answer;
}

void RecordingPrompter::beep()
{
    ++beeps;
    if (log)
        *log << QStringLiteral("beep");
}

Probe::Probe() = default;

Probe::~Probe()
{
    qunsetenv("VANTRY_LAUNCH_PROBE_ENV");
}

QString Probe::install(const QString& folderName, const QString& name)
{
    const QString dir = folder(folderName);
    QDir().mkpath(dir);
    const QString path = dir + u'/' + name;
    QFile::remove(path);
    QFile::copy(QStringLiteral(VANTRY_LAUNCH_PROBE), path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QString Probe::folder(const QString& name) const
{
    return m_dir.path() + u'/' + name;
}

void Probe::watchEnvironment(const QStringList& names)
{
    qputenv("VANTRY_LAUNCH_PROBE_ENV", names.join(u':').toLocal8Bit());
}

void Probe::expect(const QString& name)
{
    m_record = m_dir.path() + QStringLiteral("/record-") + name;
    QFile::remove(m_record);
    QFile::remove(m_record + QStringLiteral(".env"));
    qputenv("VANTRY_LAUNCH_PROBE_OUT", m_record.toLocal8Bit());
    m_starts = m_dir.path() + QStringLiteral("/starts-") + name;
    QFile::remove(m_starts);
    qputenv("VANTRY_LAUNCH_PROBE_STARTS", m_starts.toLocal8Bit());
}

int Probe::starts() const
{
    QFile file(m_starts);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return static_cast<int>(file.readAll().count('\n'));
}

std::optional<Probe::Record> Probe::wait() const
{
    const QDeadlineTimer deadline(10000);
    while (!QFile::exists(m_record)) {
        if (deadline.hasExpired())
            return std::nullopt;
        QThread::msleep(10);
    }
    QFile file(m_record);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QList<QByteArray> parts = file.readAll().split('\0');
    if (!parts.isEmpty() && parts.last().isEmpty())
        parts.removeLast();
    if (parts.isEmpty())
        return std::nullopt;
    Record record;
    record.workingDirectory = QString::fromLocal8Bit(parts.takeFirst());
    for (const QByteArray& p : parts)
        record.arguments << QString::fromLocal8Bit(p);
    QFile env(m_record + QStringLiteral(".env"));
    if (env.open(QIODevice::ReadOnly))
        for (const QByteArray& variable : env.readAll().split('\0'))
            if (!variable.isEmpty())
                record.environment << QString::fromLocal8Bit(variable);
    return record;
}

} // namespace vantry::test
