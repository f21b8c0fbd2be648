#pragma once

#include "query/Endpoint.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;

namespace vantry::net {

class MasterLoop;

struct XashFetchRequest
{
    QStringList masters; // "host[:port]", port 27010 when not given
    QString listUrl;     // base of the HTTP list; empty: not asked
    std::vector<std::string> gameDirs = {"cstrike"};
    bool notEmpty = false;
    bool notFull = false;
    bool noPassword = false;
    // A master sends its whole list at once: once a datagram came, the list has ended when none
    // follows for quietMs.
    int quietMs = 600;
    // No datagram within this after a request: asked again, at most `retries` times. A master that
    // drops requests over its rate limit answers a later, spaced one.
    int replyWaitMs = 1500;
    int retries = 2;
    int httpTimeoutMs = 10'000;
};

// Asks every community master for each game folder, one folder after another per master and the
// masters side by side, and the HTTP list for each folder, on the thread's event loop. Answers
// whose key is not the request's are dropped; addresses are merged, each kept once.
class XashFetch : public QObject
{
    Q_OBJECT
public:
    explicit XashFetch(QObject* parent = nullptr);
    ~XashFetch() override;

    void start(const XashFetchRequest& request);
    void cancel();
    bool running() const { return m_running; }
    const std::vector<query::Endpoint>& servers() const { return m_servers; }
    // In English, one sentence each, for a box or stderr.
    QStringList problems() const { return m_problems; }
    // Masters and lists asked, and those of them the machine's network could not reach (no name
    // resolution, no route).
    int sources() const { return m_sources; }
    int unreachable() const { return m_unreachable; }

    // Runs a fetch to its end on a local event loop. Needs a QCoreApplication.
    static XashFetch* runAndWait(const XashFetchRequest& request, QObject* parent);

    static constexpr std::size_t Limit = 100'000;
    static constexpr qint64 MaxListBody = 8 * 1024 * 1024;

signals:
    // New addresses came; servers() holds them at its end.
    void listed();
    void finished();

private:
    void mastersEnded();
    void askList(std::size_t game);
    void add(const std::vector<query::Endpoint>& found);
    void problem(const QString& text);
    void checkFinished();

    XashFetchRequest m_request;
    bool m_running = false;
    bool m_starting = false;
    MasterLoop* m_masters;
    QNetworkAccessManager* m_network = nullptr;
    std::vector<QPointer<QNetworkReply>> m_replies;
    std::vector<query::Endpoint> m_servers;
    std::unordered_set<std::uint64_t> m_seen;
    QStringList m_problems;
    int m_sources = 0;
    int m_unreachable = 0;
};

} // namespace vantry::net
