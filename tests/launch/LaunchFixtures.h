#pragma once

#include "base/Prompter.h"
#include "launch/LaunchHost.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <optional>

namespace vantry::test {

// A row's player count and maximum; none where the reply's text was not a number.
// A row's player count and maximum; none where the reply's text was not a number.
struct Players
{
    std::optional<int> count = 3;
    std::optional<int> maximum = 16;
};

// The main window as the launcher sees it: a list of rows, the controls' states, and a log of the
// calls in order.
class FakeHost : public launch::LaunchHost
{
public:
    QVector<launch::ListedServer> rows;
    int selected = -1;
    bool visible = true;
    bool buttons[3] = {true, true, true}; // ScanAll, Refresh, Play
    bool autoRed = false;
    bool timer = false;
    bool tray = false;
    QString status[3];
    QVector<query::Endpoint> sends;
    std::optional<query::Endpoint> promptFor;
    int promptCount = 0;
    int autoDialogShown = 0;
    std::optional<launch::ListedServer> autoDialogRow;
    int autoDialogHidden = 0;
    QStringList log;

    // Adds a row; returns its index. The kind as the list's first column shows it.
    int add(const QString& kind, const query::Endpoint& server, Players players = {},
            std::optional<query::Image> status = query::Image::Open);
    int add(const QString& kind, const QString& address, const QString& port, Players players = {},
            std::optional<query::Image> status = query::Image::Open);
    void remove(const query::Endpoint& server);
    bool enabled(Button button) const { return buttons[static_cast<int>(button)]; }

    std::optional<launch::ListedServer> selectedServer() const override;
    std::optional<launch::ListedServer> findServer(const query::Endpoint& server) const override;
    bool selectServer(const query::Endpoint& server) override;
    void clearServers() override;
    void sendInfoRequest(const query::Endpoint& server) override;
    void setButtonEnabled(Button button, bool enabled) override;
    void setAutoCaptionRed(bool red) override;
    void setAutoTimerEnabled(bool enabled) override;
    void setTrayAnimation(bool on) override;
    void setStatusText(int panel, const QString& text) override;
    bool windowVisible() const override { return visible; }
    void restoreForQuestion() override;
    void bringToFront() override;
    void hideWindow() override;
    void showPasswordPrompt(const query::Endpoint& server) override;
    void showAutoDialog(const std::optional<launch::ListedServer>& row) override;
    void hideAutoDialog() override;
};

// Records every box and answers questions as told; installed for the life of the object.
class RecordingPrompter : public Prompter
{
public:
    struct Box
    {
        QString caption;
        QString text;
    };

    RecordingPrompter();
    ~RecordingPrompter() override;

    QVector<Box> messages;
    QStringList questions;
    bool answer = true;
    int beeps = 0;
    QStringList* log = nullptr; // when set, boxes and beeps are logged there too

    void message(const QString& caption, const QString& text, BoxIcon icon) override;
    bool confirm(const QString& text) override;
    void beep() override;
};

// Copies of the test suite's probe program in folders of a temporary directory, standing in for
// game clients; each start writes a record file.
class Probe
{
public:
    struct Record
    {
        QString workingDirectory;
        QStringList arguments;
        QStringList environment; // NAME=value of the variables watchEnvironment() named and it had
    };

    Probe();
    ~Probe();
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    // Installs a copy as folder/name and returns its full path.
    QString install(const QString& folder, const QString& name = QStringLiteral("hl.exe"));
    QString folder(const QString& name) const;
    // Names the record file the next start writes; removes an older one of that name.
    void expect(const QString& name);
    // The environment variables the clients record from now on, for as long as the probe lives.
    void watchEnvironment(const QStringList& names);
    // Waits for the record named by expect(); none after about ten seconds.
    std::optional<Record> wait() const;
    // How many clients started since expect(), whatever each wrote as its record.
    int starts() const;
    const QTemporaryDir& dir() const { return m_dir; }

private:
    QTemporaryDir m_dir;
    QString m_record;
    QString m_starts;
};

} // namespace vantry::test
