#include "SteamServerList.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace vantry::net {

bool networkMissing(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyNotFoundError:
        return true;
    default:
        return false;
    }
}

namespace {

QString apiName(const ServerListRequest& request)
{
    return QStringLiteral("the Steam Web API at ") + request.baseUrl;
}

} // namespace

SteamServerList::SteamServerList(QObject* parent)
    : QObject(parent), m_network(new QNetworkAccessManager(this))
{
    // A redirect would carry the key to wherever it points.
    m_network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

SteamServerList::~SteamServerList()
{
    cancel();
}

void SteamServerList::cancel()
{
    if (QNetworkReply* reply = m_reply) {
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void SteamServerList::finishWith(ServerListResult result)
{
    result.error = redactKey(result.error, m_request.key);
    // From the event loop, so that a caller's connections made after fetch() see it too.
    QTimer::singleShot(0, this, [this, result] { emit finished(result); });
}

void SteamServerList::fetch(const ServerListRequest& request)
{
    cancel();
    m_request = request;
    m_request.key = request.key.trimmed();
    m_body.clear();
    m_tooLarge = false;

    if (const QString problem = keyProblem(m_request.key); !problem.isEmpty()) {
        finishWith({std::nullopt, problem, false});
        return;
    }
    const QUrl url = serverListUrl(m_request);
    if (!url.isValid()) {
        finishWith({std::nullopt,
                    QStringLiteral("'%1' is not an http or https address to ask the Steam Web API at")
                        .arg(m_request.baseUrl),
                    false});
        return;
    }
    QNetworkRequest req(url);
    req.setTransferTimeout(m_request.timeoutMs);
    req.setRawHeader("Accept", "application/json");
    m_reply = m_network->get(req);
    connect(m_reply, &QNetworkReply::readyRead, this, &SteamServerList::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &SteamServerList::onFinished);
}

void SteamServerList::onReadyRead()
{
    if (!m_reply)
        return;
    const QByteArray chunk = m_reply->readAll();
    if (m_body.size() + chunk.size() > m_request.maxBodyBytes) {
        m_tooLarge = true;
        m_reply->abort(); // finished() follows
        return;
    }
    m_body += chunk;
}

void SteamServerList::onFinished()
{
    QNetworkReply* reply = m_reply;
    if (!reply)
        return;
    m_reply = nullptr;
    reply->deleteLater();
    if (!m_tooLarge && reply->isReadable())
        m_body += reply->readAll();

    ServerListResult result;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int code = status.isValid() ? status.toInt() : 0;
    if (m_tooLarge || m_body.size() > m_request.maxBodyBytes) {
        result.error = apiName(m_request) +
                       QStringLiteral(" sent a reply larger than %1 bytes").arg(m_request.maxBodyBytes);
    } else if (code == 401 || code == 403) {
        result.keyRefused = true;
        result.error = apiName(m_request) +
                       QStringLiteral(" refused the key (HTTP %1): check the Steam Web API key").arg(code);
    } else if (code == 429) {
        result.error = apiName(m_request) + QStringLiteral(" is asked too often (HTTP 429): try again later");
    } else if (code != 0 && code != 200) {
        result.error = apiName(m_request) + QStringLiteral(" answered with HTTP %1").arg(code);
    } else if (reply->error() == QNetworkReply::OperationCanceledError) {
        // Only the transfer timeout cancels a reply that still reports: a cancel of our own
        // disconnects first, and a reply too large is told above.
        result.error = apiName(m_request) +
                       QStringLiteral(" did not answer within %1 ms (timed out)").arg(m_request.timeoutMs);
    } else if (reply->error() != QNetworkReply::NoError) {
        result.error = QStringLiteral("cannot reach ") + apiName(m_request) + QStringLiteral(": ") +
                       reply->errorString();
        result.unreachable = networkMissing(reply->error());
    } else {
        QString why;
        result.reply = parseServerList(m_body, m_request.limit, why);
        if (!result.reply)
            result.error =
                apiName(m_request) + QStringLiteral(" sent a reply that is not a server list: ") + why;
    }
    m_body.clear();
    finishWith(std::move(result));
}

ServerListResult SteamServerList::fetchAndWait(const ServerListRequest& request)
{
    SteamServerList list;
    ServerListResult out;
    QEventLoop loop;
    connect(&list, &SteamServerList::finished, &loop, [&](const ServerListResult& r) {
        out = r;
        loop.quit();
    });
    list.fetch(request);
    loop.exec();
    return out;
}

} // namespace vantry::net
