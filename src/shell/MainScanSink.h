#pragma once

#include "browser/ScanEngine.h"

#include <QElapsedTimer>

namespace vantry {

class ScanController;

// The scan engine's sink in the main window: probes go out through the endpoint, pauses and
// yields run the window's event loop, and the buttons, lists and panels follow the sweep.
class MainScanSink final : public browser::ScanSink
{
public:
    explicit MainScanSink(ScanController& scan) : m_scan(scan) {}

    void sendInfo(const QString& host, std::uint16_t port) override;
    void sendOldInfo(const QString& host, std::uint16_t port) override;
    void sendInfo(const query::Endpoint& to) override;
    void sendOldInfo(const query::Endpoint& to) override;
    void pause(int ms) override;
    void yield() override;
    std::optional<std::uint32_t> localAddress() override;
    void broadcastSent(std::uint32_t address, std::uint32_t mask) override;

    void setStatus(int panel, const QString& text) override;
    void setStatusAddress(std::uint32_t address) override;
    void setStatusCount(int count) override;
    std::optional<int> statusCount() const override;
    QString status(int panel) const override;
    void warn(const QString& text) override;
    void listsFailed(const QString& text, bool fixInOptions) override;

    void enterScanning() override;
    void leaveScanning() override;
    void beginRefresh() override;
    void clearLists() override;
    void endRefresh() override;

    QVector<query::Endpoint> listedServers() const override;
    int listedCount() const override;

    bool scanButtonEnabled() const override;
    int favouritesTimerInterval() const override;
    void setFavouritesTimerInterval(int ms) override;

    browser::ListSource* listSource() override;
    void beginListed(int ratePerSecond, bool old) override;
    void queryListed(std::span<const query::Endpoint> servers) override;
    std::size_t listedAsked() const override;
    void endListed() override;

private:
    static constexpr qint64 YieldEveryNs = 1'000'000;
    ScanController& m_scan;
    QElapsedTimer m_sinceYield;
};

} // namespace vantry
