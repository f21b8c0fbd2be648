#pragma once

#include "GetServerList.h"

#include <QNetworkReply>
#include <QObject>
#include <QPointer>

class QNetworkAccessManager;

namespace vantry::net {

struct ServerListResult
{
    std::optional<ServerListReply> reply; // none on failure
    // Why it failed, for the user: never holds the key.
    QString error;
    bool keyRefused = false;  // HTTP 401 or 403
    bool unreachable = false; // no name resolution or no route: the machine's network
};

// Errors that come from the machine's network (no name resolution, no route), not from the host.
bool networkMissing(QNetworkReply::NetworkError error);

// Fetches the Steam Web API's list of servers over HTTPS (or HTTP, for a local stand-in), one
// fetch at a time, on the thread's event loop. The reply is read up to the request's cap.
class SteamServerList : public QObject
{
    Q_OBJECT
public:
    explicit SteamServerList(QObject* parent = nullptr);
    ~SteamServerList() override;

    // Starts a fetch; one already running is abandoned without a signal. A request that cannot
    // be sent (no key, a bad address) finishes at once, from the event loop.
    void fetch(const ServerListRequest& request);
    void cancel();
    bool isRunning() const { return m_reply != nullptr; }

    // Runs a fetch to its end on a local event loop. Needs a QCoreApplication.
    static ServerListResult fetchAndWait(const ServerListRequest& request);

signals:
    void finished(const vantry::net::ServerListResult& result);

private:
    void onReadyRead();
    void onFinished();
    void finishWith(ServerListResult result);

    QNetworkAccessManager* m_network;
    QPointer<QNetworkReply> m_reply;
    ServerListRequest m_request;
    QByteArray m_body;
    bool m_tooLarge = false;
};

} // namespace vantry::net
