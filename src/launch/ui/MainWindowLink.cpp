#include "MainWindowLink.h"

#include "TFormAuto.h"
#include "TFormPass.h"
#include "base/IntervalTimer.h"
#include "browser/QueryService.h"
#include "browser/ServerListModel.h"
#include "browser/ui/ListView.h"
#include "launch/AutoConnect.h"
#include "launch/Launcher.h"

#include <QPushButton>
#include <QWidget>

namespace vantry::launch {

MainWindowLink::MainWindowLink(const MainWindowParts& parts, const options::LiveSettings& settings,
                               const IniFile* settingsFile, QObject* parent)
    : QObject(parent), m_parts(parts)
{
    if (m_parts.autoButton)
        m_autoPalette = m_parts.autoButton->palette();
    m_launcher = std::make_unique<Launcher>(settings, *this);
    m_autoConnect = std::make_unique<AutoConnect>(*m_launcher, *this);
    // The main window as parent: window managers keep the dialogs above it.
    m_pass = std::make_unique<TFormPass>(*m_launcher, settingsFile, m_parts.window);
    m_auto = std::make_unique<TFormAuto>(*m_autoConnect, m_parts.window);
    // A main window that goes first takes its dialogs with it.
    connect(m_pass.get(), &QObject::destroyed, this, [this] { (void)m_pass.release(); });
    connect(m_auto.get(), &QObject::destroyed, this, [this] { (void)m_auto.release(); });

    if (m_parts.autoTimer)
        connect(m_parts.autoTimer, &IntervalTimer::timeout, this,
                [this] { guarded([this] { m_autoConnect->poll(); }); });
    // The check runs inside the datagram handler; a join it decides on is deferred by AutoConnect.
    if (m_parts.queries && m_parts.servers)
        connect(m_parts.queries, &browser::QueryService::serverListed, this, [this](int row) {
            if (row < 0 || row >= m_parts.servers->count())
                return;
            const query::ServerRow& listed = m_parts.servers->server(row);
            m_autoConnect->check(listed.from, listed.playerCount);
        });
}

MainWindowLink::~MainWindowLink()
{
    if (m_pass)
        disconnect(m_pass.get(), nullptr, this, nullptr);
    if (m_auto)
        disconnect(m_auto.get(), nullptr, this, nullptr);
}

void MainWindowLink::setShowHook(const std::function<void(QWidget*)>& hook)
{
    m_pass->setShowHook(hook);
    m_auto->setShowHook(hook);
}

ListedServer MainWindowLink::entry(int row) const
{
    const query::ServerRow& listed = m_parts.servers->server(row);
    return {listed.kind,           listed.from,   listed.playerCount,
            listed.maxPlayerCount, listed.status, QString::fromStdString(listed.name),
            listed.protocol};
}

std::optional<ListedServer> MainWindowLink::selectedServer() const
{
    const int row = m_parts.list ? m_parts.list->selectedRow() : -1;
    if (row < 0 || !m_parts.servers || row >= m_parts.servers->count())
        return std::nullopt;
    return entry(row);
}

std::optional<ListedServer> MainWindowLink::findServer(const query::Endpoint& server) const
{
    const int row = m_parts.servers ? m_parts.servers->find(server) : -1;
    if (row < 0)
        return std::nullopt;
    return entry(row);
}

bool MainWindowLink::selectServer(const query::Endpoint& server)
{
    const int row = m_parts.servers ? m_parts.servers->find(server) : -1;
    if (row < 0 || !m_parts.list)
        return false;
    m_parts.servers->showAdded();        // the view selects only rows it was told of
    return m_parts.list->selectRow(row); // false while the filter hides it
}

void MainWindowLink::clearServers()
{
    if (m_parts.servers)
        m_parts.servers->clear();
}

void MainWindowLink::sendInfoRequest(const query::Endpoint& server)
{
    if (m_parts.queries)
        m_parts.queries->sendInfoRequest(server);
}

void MainWindowLink::setButtonEnabled(Button button, bool enabled)
{
    QPushButton* b = nullptr;
    switch (button) {
    case Button::ScanAll:
        b = m_parts.scanAll;
        break;
    case Button::Refresh:
        b = m_parts.refresh;
        break;
    case Button::Play:
        b = m_parts.play;
        break;
    }
    if (b)
        b->setEnabled(enabled);
}

void MainWindowLink::setAutoCaptionRed(bool red)
{
    if (!m_parts.autoButton)
        return;
    QPalette palette = m_autoPalette;
    palette.setColor(QPalette::ButtonText, red ? QColor(Qt::red) : QColor(Qt::black));
    m_parts.autoButton->setPalette(palette);
}

void MainWindowLink::setAutoTimerEnabled(bool enabled)
{
    if (m_parts.autoTimer)
        m_parts.autoTimer->setEnabled(enabled);
}

void MainWindowLink::setTrayAnimation(bool on)
{
    if (m_parts.trayAnimation)
        m_parts.trayAnimation(on);
}

void MainWindowLink::setStatusText(int panel, const QString& text)
{
    if (m_parts.setStatus)
        m_parts.setStatus(panel, text);
}

bool MainWindowLink::windowVisible() const
{
    return m_parts.window && m_parts.window->isVisible();
}

void MainWindowLink::restoreForQuestion()
{
    // A box whose parent is hidden opens as a window of its own, on the task bar: nothing to
    // restore but a minimised state.
    if (m_parts.window && m_parts.window->isMinimized())
        m_parts.window->setWindowState(m_parts.window->windowState() & ~Qt::WindowMinimized);
}

void MainWindowLink::bringToFront()
{
    restoreForQuestion();
    if (m_parts.window && m_parts.window->isVisible()) {
        m_parts.window->raise();
        m_parts.window->activateWindow();
    }
}

void MainWindowLink::hideWindow()
{
    if (m_parts.hide)
        m_parts.hide();
    else if (m_parts.window)
        m_parts.window->hide();
}

void MainWindowLink::showPasswordPrompt(const query::Endpoint& server)
{
    m_pass->openFor(server);
}

void MainWindowLink::showAutoDialog(const std::optional<ListedServer>& row)
{
    m_auto->openFor(row);
}

void MainWindowLink::hideAutoDialog()
{
    m_auto->hide();
}

void MainWindowLink::guarded(const std::function<void()>& handler)
{
    if (m_parts.guard)
        m_parts.guard(handler);
    else
        handler();
}

} // namespace vantry::launch
