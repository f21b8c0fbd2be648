#pragma once

// The main window's sink for the scan engine: the endpoint, the event loop and the controls.
#include "ScanGames.h"
#include "base/Prompter.h"
#include "browser/DetailsModels.h"
#include "browser/MasterListFetch.h"
#include "browser/QueryService.h"
#include "browser/ScanEngine.h"
#include "browser/ServerListModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGroupBox>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QPushButton>
#include <QTimer>

namespace vantry {

class TForm1::ScanSinkImpl final : public browser::ScanSink
{
public:
    explicit ScanSinkImpl(TForm1& form) : m_form(form) {}

    void sendInfo(const QString& host, std::uint16_t port) override
    {
        m_form.m_queries->sendInfo(host, port);
    }
    void sendOldInfo(const QString& host, std::uint16_t port) override
    {
        m_form.m_queries->sendOldInfo(host, port);
    }

    void sendInfo(const query::Endpoint& to) override { m_form.m_queries->sendInfo(to); }
    void sendOldInfo(const query::Endpoint& to) override { m_form.m_queries->sendOldInfo(to); }

    void pause(int ms) override
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
    void yield() override
    {
        if (m_sinceYield.isValid() && m_sinceYield.nsecsElapsed() < YieldEveryNs)
            return;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        m_sinceYield.start();
    }

    std::optional<QString> localAddress() override
    {
        for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
            const auto flags = iface.flags();
            if (!(flags & QNetworkInterface::IsUp) || (flags & QNetworkInterface::IsLoopBack))
                continue;
            for (const QNetworkAddressEntry& entry : iface.addressEntries())
                if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                    return entry.ip().toString();
        }
        return std::nullopt;
    }

    void setStatus(int panel, const QString& text) override { m_form.setStatusText(panel, text); }
    void setStatusAddress(std::uint32_t address) override { m_form.setStatusAddress(address); }
    void setStatusCount(int count) override { m_form.setStatusCount(count); }
    std::optional<int> statusCount() const override { return m_form.m_panel1Count; }
    QString status(int panel) const override { return m_form.statusText(panel); }

    void warn(const QString& text) override
    {
        prompter().message(QStringLiteral("Warning"), text, BoxIcon::Warning);
        m_form.Options1Click();
    }

    void enterScanning() override
    {
        if (!m_form.m_state.autoConnect)
            m_form.SBAuto->setEnabled(false);
        m_form.RG->setEnabled(false);
        m_form.SBPlay->setEnabled(false);
        m_form.SBScanAll->setEnabled(false);
        m_form.SBRefresh->setEnabled(false);
        m_form.SBStop->setEnabled(true);
        m_form.m_servers->clear();
        m_form.m_players->clear();
    }

    void leaveScanning() override
    {
        m_form.RG->setEnabled(true);
        m_form.Timer.setEnabled(true);
        m_form.SBStop->setEnabled(false);
        if (m_form.m_servers->count() > 0)
            m_form.SBRefresh->setEnabled(true);
    }

    void beginRefresh() override
    {
        if (!m_form.m_state.autoConnect)
            m_form.SBAuto->setEnabled(false);
        m_form.SBRefresh->setEnabled(false);
        m_form.SBPlay->setEnabled(false);
    }

    void clearLists() override
    {
        m_form.m_servers->clear();
        m_form.m_players->clear();
    }

    void endRefresh() override { m_form.SBRefresh->setEnabled(true); }

    QVector<query::Endpoint> listedServers() const override
    {
        QVector<query::Endpoint> out;
        const int n = m_form.m_servers->count();
        out.reserve(n);
        for (int i = 0; i < n; ++i)
            out.append(m_form.m_servers->server(i).from);
        return out;
    }
    int listedCount() const override { return m_form.m_servers->count(); }

    bool scanButtonEnabled() const override { return m_form.SBScanAll->isEnabled(); }
    int favouritesTimerInterval() const override { return m_form.TimerFav.interval(); }
    void setFavouritesTimerInterval(int ms) override { m_form.TimerFav.setInterval(ms); }

    browser::ListSource* listSource() override { return m_form.m_lists.get(); }

private:
    static constexpr qint64 YieldEveryNs = 1'000'000;
    TForm1& m_form;
    QElapsedTimer m_sinceYield;
};

} // namespace vantry
