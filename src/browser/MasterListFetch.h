#pragma once

#include "browser/ListSource.h"
#include "options/MasterSource.h"
#include "query/Clock.h"
#include "query/MasterPaging.h"

#include <QObject>

#include <memory>
#include <unordered_set>

namespace vantry::net {
class MasterLoop;
class SteamServerList;
class XashFetch;
struct ServerListResult;
} // namespace vantry::net

namespace vantry::browser {

// Fetches the lists of a sweep on the thread's event loop: the Steam Web API over Qt Network, one
// game after another, and each UDP master on a socket of its own, its games one after another at
// the master's pace. Masters and the Web API run side by side.
class MasterListFetch : public QObject, public ListSource
{
    Q_OBJECT
public:
    explicit MasterListFetch(QObject* parent = nullptr);
    ~MasterListFetch() override;

    // How long a master's page is waited for before it is asked again, and how many times; the
    // pace between requests is the settings'.
    void setReplyWait(int timeoutMs, int retries);
    // The first pause after a page that did not come, for masters asked as fast as they answer.
    void setBackoffStart(int ms) { m_pacing.backoffStartMs = ms; }
    // The clock the waits and the pace are measured on (not owned); the system's by default.
    void setClock(query::Clock& clock);

    void start(const options::MasterSource& source, int scanMode) override;
    void cancel() override;
    bool running() const override { return m_running; }
    const std::vector<query::Endpoint>& servers() const override { return m_servers; }
    QStringList problems() const override { return m_problems; }
    ListFailure failure() const override;

    // Addresses kept from all the lists together.
    static constexpr std::size_t Limit = 100'000;

signals:
    void finished();

private:
    void askApi();
    void apiAnswered(const net::ServerListResult& result);
    void mastersEnded();
    void add(const query::Endpoint& address);
    void problem(const QString& text);
    void checkFinished();
    void startXash(int scanMode);

    std::vector<query::ListFilter> m_filters;
    options::MasterSource m_source;
    query::MasterPacing m_pacing;
    bool m_running = false;
    bool m_starting = false;

    net::SteamServerList* m_api = nullptr;
    bool m_apiRunning = false;
    std::size_t m_apiNext = 0;
    net::MasterLoop* m_masters;
    std::vector<std::size_t> m_taken; // addresses of each master already added
    net::XashFetch* m_xash = nullptr;
    std::size_t m_xashTaken = 0;

    std::vector<query::Endpoint> m_servers;
    std::unordered_set<std::uint64_t> m_seen;
    QStringList m_problems;
    bool m_nothingToAsk = false;
    bool m_keyRefused = false;
    int m_sources = 0;     // asked: masters, the Web API, the community lists
    int m_unreachable = 0; // of them, not reached for want of a network
};

} // namespace vantry::browser
