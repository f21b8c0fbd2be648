#include "Launcher.h"

#include "ClientStart.h"
#include "ClientWatch.h"
#include "GameClients.h"
#include "GameCommand.h"
#include "RecentServers.h"
#include "XashClient.h"
#include "base/IniFile.h"
#include "base/Prompter.h"
#include "options/LiveSettings.h"

#include <QDir>

namespace vantry::launch {

namespace {

const QString ErrorCaption = QStringLiteral("Error");

} // namespace

Launcher::Launcher(const options::LiveSettings& settings, LaunchHost& host)
    : m_settings(settings), m_host(host)
{}

Launcher::~Launcher() = default;

Launcher::Outcome Launcher::play()
{
    if (const std::optional<query::Endpoint> armed = m_armed ? m_armed->armedTarget() : std::nullopt) {
        // Play while auto-connect waits joins the target itself, its port included. The selected
        // row only stands in for the target's kind and status while the target is not listed.
        const query::Endpoint target = *armed;
        std::optional<ListedServer> row = m_host.findServer(target);
        if (!row)
            row = m_host.selectedServer();
        if (!row) {
            refuse(QStringLiteral("Server ") + serverText(target) +
                   QStringLiteral(" is not listed; nothing started."));
            return Outcome::Refused;
        }
        m_host.setTrayAnimation(false);
        m_armed->endByPlay();
        return launch(*row, target);
    }
    const std::optional<ListedServer> row = m_host.selectedServer();
    if (!row) {
        refuse(QStringLiteral("No server selected; nothing started."));
        return Outcome::Refused;
    }
    m_host.setTrayAnimation(false);
    return launch(*row, row->server());
}

Launcher::Outcome Launcher::playServer(const query::Endpoint& server)
{
    const std::optional<ListedServer> row = m_host.findServer(server);
    if (!row) {
        refuse(QStringLiteral("Server ") + serverText(server) +
               QStringLiteral(" is no longer listed; nothing started."));
        return Outcome::Refused;
    }
    m_host.setTrayAnimation(false);
    if (m_armed && m_armed->armedTarget())
        m_armed->endByPlay();
    return launch(*row, server);
}

Launcher::Outcome Launcher::join(const JoinTarget& target)
{
    if (m_host.findServer(target.server))
        return playServer(target.server);
    m_host.setTrayAnimation(false);
    if (m_armed && m_armed->armedTarget())
        m_armed->endByPlay();
    ListedServer row;
    row.kind = target.kind;
    row.endpoint = target.server;
    row.name = target.name;
    row.protocol = target.protocol;
    return launch(row, target.server);
}

bool Launcher::acceptPassword(const query::Endpoint& server, const QString& password)
{
    if (!m_host.findServer(server)) {
        refuse(QStringLiteral("Server ") + serverText(server) +
               QStringLiteral(" is no longer listed; nothing started."));
        return false;
    }
    givePassword(password, server);
    return true;
}

void Launcher::givePassword(const QString& password, const query::Endpoint& server)
{
    m_passwordParam = PasswordPrefix + password;
    m_passwordGiven = true;
    m_passwordServer = server;
}

void Launcher::withdrawPassword()
{
    m_passwordGiven = false;
}

QString Launcher::passwordParamFor(const query::Endpoint& server) const
{
    if (m_passwordServer && *m_passwordServer == server)
        return m_passwordParam;
    return {};
}

Launcher::Outcome Launcher::launch(const ListedServer& row, const query::Endpoint& target)
{
    if (row.status == query::Image::Full) {
        if (!m_host.windowVisible())
            m_host.restoreForQuestion();
        if (!prompter().confirm(QStringLiteral("Server is full.  Connect now ?")))
            return Outcome::Declined;
    }
    const bool passwordReady = m_passwordGiven && m_passwordServer && *m_passwordServer == target;
    if (row.status == query::Image::Password && !passwordReady) {
        m_host.showPasswordPrompt(target);
        return Outcome::PromptShown;
    }

    const int slot = slotForKind(row.kind);
    if (slot < 0) {
        m_passwordGiven = false;
        prompter().message(ErrorCaption,
                           QStringLiteral("No game client for the game \"") +
                               QString::fromLatin1(query::gameText(row.kind)) +
                               QStringLiteral("\"; nothing started."),
                           BoxIcon::Error);
        return Outcome::UnknownKind;
    }
    const NeededClient client = neededClient(m_settings, row.kind, row.protocol);
    const QString& path = client.path;
    if (path.isEmpty()) {
        m_passwordGiven = false;
        prompter().message(ErrorCaption, missingClientText(client), BoxIcon::Error);
        return Outcome::MissingPath;
    }

    ClientStart start;
    if (client.xash) {
        XashLaunch request;
        request.client = path;
        request.game = row.kind;
        request.address = addressText(target);
        request.port = QString::number(target.port);
        request.passwordParam = passwordParamFor(target);
        request.wrapper = m_settings.launchWrapper(slot);
        start = planXashStart(request, *m_steam);
    } else {
        GameLaunch request;
        request.slot = slot;
        request.gamePath = path;
        request.startParams = m_settings.startParams(slot);
        request.address = addressText(target);
        request.port = QString::number(target.port);
        request.passwordParam = passwordParamFor(target);
        request.wrapper = m_settings.launchWrapper(slot);
        start = planClientStart(request, *m_steam);
    }
    const QString failure = start.failure.isEmpty() ? startClient(start, path) : start.failure;
    // A failed start clears the flag like a missing path: the next try asks for the password again.
    m_passwordGiven = false;
    if (!failure.isEmpty()) {
        prompter().message(ErrorCaption,
                           QStringLiteral("Unable to start ") + QDir::toNativeSeparators(path) +
                               QStringLiteral(": ") + failure,
                           BoxIcon::Error);
        return Outcome::StartFailed;
    }
    m_lastProgram = start.program;
    m_lastArguments = start.arguments;
    record(row, target);
    m_host.hideWindow();
    return Outcome::Started;
}

QString Launcher::startClient(const ClientStart& start, const QString& gamePath)
{
    QString error;
    std::unique_ptr<ClientWatch> watch = ClientWatch::start(start, m_exitWatch, &error);
    if (!watch)
        return error;
    QObject::connect(watch.get(), &ClientWatch::failedEarly, watch.get(),
                     [this, gamePath](const ClientExit& exit) {
                         // The game is gone: the window comes back so that another server can be chosen.
                         m_host.bringToFront();
                         prompter().message(ErrorCaption, earlyExitText(gamePath, exit), BoxIcon::Error);
                     });
    // The last watch may be telling of its client right now; it goes when the loop is back.
    if (m_watch)
        m_watch.release()->deleteLater();
    m_watch = std::move(watch);
    return {};
}

void Launcher::record(const ListedServer& row, const query::Endpoint& target)
{
    if (!m_recent)
        return;
    try {
        // A row that only stands in for an unlisted target (auto-connect) lends its kind, not its name.
        const QString name = row.endpoint == target ? row.name : QString();
        m_recent->record({target, row.kind, name, QDateTime::currentDateTimeUtc(), row.protocol});
    } catch (const StoreWriteError& e) {
        // The client runs all the same; only its place in the recent list is lost.
        prompter().message(ErrorCaption, e.text(), BoxIcon::Error);
    }
}

void Launcher::refuse(const QString& text) const
{
    prompter().message(ErrorCaption, text, BoxIcon::Error);
}

} // namespace vantry::launch
