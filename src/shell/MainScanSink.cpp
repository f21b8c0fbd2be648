#include "MainScanSink.h"

#include "ScanController.h"
#include "StatusPanels.h"
#include "base/IntervalTimer.h"
#include "base/Prompter.h"
#include "browser/DetailsModels.h"
#include "browser/MasterListFetch.h"
#include "browser/QueryService.h"
#include "browser/ServerListModel.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGroupBox>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QPushButton>
#include <QTimer>

namespace vantry {

void MainScanSink::sendInfo(const QString& host, std::uint16_t port)
{
    m_scan.queries().sendInfo(host, port);
}

void MainScanSink::sendOldInfo(const QString& host, std::uint16_t port)
{
    m_scan.queries().sendOldInfo(host, port);
}

void MainScanSink::sendInfo(const query::Endpoint& to)
{
    m_scan.queries().sendInfo(to);
}

void MainScanSink::sendOldInfo(const query::Endpoint& to)
{
    m_scan.queries().sendOldInfo(to);
}

void MainScanSink::broadcastSent(std::uint32_t address, std::uint32_t mask)
{
    m_scan.queries().expectBroadcastAnswers(address, mask);
}

void MainScanSink::pause(int ms)
{
    if (ms <= 0)
        return;
    // The window stays responsive through the pause; replies are decoded meanwhile.
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// Running the event loop costs far more than a probe; after every probe it would make a fast
// sweep ten times slower than its sends. The loop runs when a millisecond has passed since it
// last ran: the window still answers at once, and every probe keeps its stop check.
void MainScanSink::yield()
{
    if (m_sinceYield.isValid() && m_sinceYield.nsecsElapsed() < YieldEveryNs)
        return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_sinceYield.start();
}

std::optional<std::uint32_t> MainScanSink::localAddress()
{
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        const auto flags = iface.flags();
        if (!(flags & QNetworkInterface::IsUp) || (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : iface.addressEntries())
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                return entry.ip().toIPv4Address();
    }
    return std::nullopt;
}

void MainScanSink::setStatus(int panel, const QString& text)
{
    m_scan.controls().panels->setText(panel, text);
}

void MainScanSink::setStatusAddress(std::uint32_t address)
{
    m_scan.controls().panels->setAddress(address);
}

void MainScanSink::setStatusCount(int count)
{
    m_scan.controls().panels->setCount(count);
}

std::optional<int> MainScanSink::statusCount() const
{
    return m_scan.controls().panels->count();
}

QString MainScanSink::status(int panel) const
{
    return m_scan.controls().panels->text(panel);
}

void MainScanSink::warn(const QString& text)
{
    prompter().message(QStringLiteral("Warning"), text, BoxIcon::Warning);
    if (m_scan.controls().showOptions)
        m_scan.controls().showOptions();
}

void MainScanSink::listsFailed(const QString& text, bool fixInOptions)
{
    prompter().message(QCoreApplication::translate("vantry::shell::MainScanSink", "Поиск серверов"), text,
                       BoxIcon::Warning);
    if (fixInOptions && m_scan.controls().showOptionsAt)
        m_scan.controls().showOptionsAt("EditSteamKey");
}

void MainScanSink::enterScanning()
{
    const ScanControls& c = m_scan.controls();
    if (!m_scan.autoArmed())
        c.autoButton->setEnabled(false);
    c.scanMode->setEnabled(false);
    c.play->setEnabled(false);
    c.scanAll->setEnabled(false);
    c.refresh->setEnabled(false);
    c.stop->setEnabled(true);
    m_scan.servers().clear();
    m_scan.players().clear();
}

void MainScanSink::leaveScanning()
{
    const ScanControls& c = m_scan.controls();
    c.scanMode->setEnabled(true);
    c.cooldown->setEnabled(true);
    c.stop->setEnabled(false);
    if (m_scan.servers().count() > 0)
        c.refresh->setEnabled(true);
}

void MainScanSink::beginRefresh()
{
    const ScanControls& c = m_scan.controls();
    if (!m_scan.autoArmed())
        c.autoButton->setEnabled(false);
    c.refresh->setEnabled(false);
    c.play->setEnabled(false);
}

void MainScanSink::clearLists()
{
    m_scan.servers().clear();
    m_scan.players().clear();
}

void MainScanSink::endRefresh()
{
    m_scan.controls().refresh->setEnabled(true);
}

QVector<query::Endpoint> MainScanSink::listedServers() const
{
    const browser::ServerListModel& servers = m_scan.servers();
    QVector<query::Endpoint> out;
    const int n = servers.count();
    out.reserve(n);
    for (int i = 0; i < n; ++i)
        out.append(servers.server(i).from);
    return out;
}

int MainScanSink::listedCount() const
{
    return m_scan.servers().count();
}

bool MainScanSink::scanButtonEnabled() const
{
    return m_scan.controls().scanAll->isEnabled();
}

int MainScanSink::favouritesTimerInterval() const
{
    return m_scan.controls().favourites->interval();
}

void MainScanSink::setFavouritesTimerInterval(int ms)
{
    m_scan.controls().favourites->setInterval(ms);
}

browser::ListSource* MainScanSink::listSource()
{
    return &m_scan.masterLists();
}

void MainScanSink::beginListed(int ratePerSecond, bool old)
{
    m_scan.queries().beginListed(ratePerSecond, old);
}

void MainScanSink::queryListed(std::span<const query::Endpoint> servers)
{
    m_scan.queries().queryListed(servers);
}

std::size_t MainScanSink::listedAsked() const
{
    return m_scan.queries().listedAsked();
}

void MainScanSink::endListed()
{
    m_scan.queries().endListed();
}

} // namespace vantry
