#include "AutoConnect.h"

#include "base/Prompter.h"

#include <QMetaObject>

#include <algorithm>
#include <exception>

namespace vantry::launch {

namespace {

const QString Caption = QStringLiteral("Auto connect");
const QString Disabled = QStringLiteral(" Autoconnect disabled.");

} // namespace

AutoConnect::AutoConnect(Launcher& launcher, LaunchHost& host, QObject* parent)
    : QObject(parent), m_launcher(launcher), m_host(host)
{
    m_defer = [this](std::function<void()> job) {
        QMetaObject::invokeMethod(this, std::move(job), Qt::QueuedConnection);
    };
    m_launcher.setArmedWait(this);
}

AutoConnect::~AutoConnect()
{
    m_launcher.setArmedWait(nullptr);
}

std::optional<query::Endpoint> AutoConnect::armedTarget() const
{
    if (!m_armed)
        return std::nullopt;
    return m_target;
}

void AutoConnect::toggle()
{
    if (m_armed)
        endByUser();
    else
        m_host.showAutoDialog(m_host.selectedServer());
}

bool AutoConnect::arm(const ArmRequest& request)
{
    if (!request.server) {
        prompter().message(Caption, QStringLiteral("No server selected; autoconnect not started."),
                           BoxIcon::Error);
        return false;
    }
    if (!m_host.findServer(*request.server)) {
        prompter().message(Caption,
                           QStringLiteral("Server ") + serverText(*request.server) +
                               QStringLiteral(" is no longer listed; autoconnect not started."),
                           BoxIcon::Error);
        return false;
    }

    m_host.setTrayAnimation(false);
    // Off, then on again below: the first poll comes a full interval after OK.
    m_host.setAutoTimerEnabled(false);
    m_host.setButtonEnabled(LaunchHost::Button::ScanAll, false);
    m_host.setButtonEnabled(LaunchHost::Button::Refresh, false);
    m_armed = false;
    m_target = *request.server;
    m_polls = 0;
    m_host.setAutoTimerEnabled(true);
    m_threshold = request.threshold;
    m_comparison = request.comparison;
    m_ask = request.ask;
    if (!request.password.isEmpty())
        m_launcher.givePassword(request.password, *request.server);
    m_armed = true;
    m_host.setAutoCaptionRed(true);
    m_host.setTrayAnimation(true);
    m_host.setStatusText(2, QStringLiteral(" Autoconnect to ") + addressText(m_target) +
                                QStringLiteral(". Waiting ") + comparisonText(m_comparison) + u' ' +
                                QString::number(request.threshold) + QStringLiteral(" players."));
    emit armedChanged(true);
    return true;
}

void AutoConnect::poll()
{
    // A timeout queued before the mode ended.
    if (!m_armed)
        return;
    m_host.clearServers();
    // A send that fails still counts as a silent poll; its error is raised after the count.
    std::exception_ptr failure;
    try {
        if (m_target.port != 0)
            m_host.sendInfoRequest(m_target);
    } catch (...) {
        failure = std::current_exception();
    }
    // The last request's answer is not awaited: giving up happens in the tick that sent it.
    if (++m_polls >= GiveUpPolls) {
        endMode();
        emit gaveUp(m_target);
        prompter().message(Caption, QStringLiteral("Server is not avalible, autoconnect disabled."),
                           BoxIcon::None);
        m_host.setStatusText(2, Disabled);
    }
    if (failure)
        std::rethrow_exception(failure);
}

void AutoConnect::check(const query::Endpoint& from, std::optional<int> players)
{
    if (!m_armed || from != m_target)
        return;
    m_polls = 0;
    m_host.setButtonEnabled(LaunchHost::Button::Play, false);
    if (!players)
        return;
    const bool met = m_comparison == Comparison::AtMost ? *players <= m_threshold : *players > m_threshold;
    if (!met)
        return;

    // The mode ends here, synchronously, so no later reply can fire a second time.
    endMode();
    m_host.setButtonEnabled(LaunchHost::Button::Play, true);
    const query::Endpoint target = m_target;
    const int count = *players;
    const bool ask = m_ask;
    m_defer([this, target, count, ask] { join(target, count, ask); });
}

void AutoConnect::join(const query::Endpoint& target, int players, bool ask)
{
    m_host.selectServer(target);
    prompter().beep();
    if (ask) {
        m_host.bringToFront();
        const QString question = QStringLiteral("Server ") + addressText(target) + QStringLiteral(" has ") +
                                 QString::number(players) +
                                 QStringLiteral(" players now. Do you want to join ?");
        if (!prompter().confirm(question)) {
            m_host.setStatusText(2, Disabled);
            return;
        }
    }
    const Launcher::Outcome outcome = m_launcher.playServer(target);
    if (outcome == Launcher::Outcome::Started || outcome == Launcher::Outcome::PromptShown)
        emit joining(target, players);
    m_host.setStatusText(2, Disabled);
}

void AutoConnect::endByUser()
{
    endMode();
    m_host.hideAutoDialog();
    m_host.setStatusText(2, Disabled);
}

void AutoConnect::endByPlay()
{
    endMode();
    m_host.setStatusText(2, Disabled);
}

// Every end leaves the same signs: no tray animation, no polls, scanning and refresh possible,
// black caption, mode off.
void AutoConnect::endMode()
{
    m_host.setTrayAnimation(false);
    m_host.setAutoTimerEnabled(false);
    m_host.setButtonEnabled(LaunchHost::Button::ScanAll, true);
    m_host.setButtonEnabled(LaunchHost::Button::Refresh, true);
    const bool was = m_armed;
    m_armed = false;
    m_host.setAutoCaptionRed(false);
    if (was)
        emit armedChanged(false);
}

QString AutoConnect::comparisonText(Comparison comparison)
{
    return comparison == Comparison::AtMost ? QStringLiteral("<=") : QStringLiteral(">");
}

AutoConnect::Presets AutoConnect::presets(std::optional<int> players, std::optional<int> maximum,
                                          const Presets& current)
{
    Presets out = current;
    if (maximum && *maximum >= 0)
        out.maximum = *maximum;
    if (players)
        out.value = *players - 1;
    out.value = std::clamp(out.value, 0, out.maximum);
    return out;
}

int AutoConnect::thresholdFromText(const QString& text, int minimum, int maximum)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok)
        return minimum;
    return std::clamp(value, minimum, std::max(minimum, maximum));
}

} // namespace vantry::launch
