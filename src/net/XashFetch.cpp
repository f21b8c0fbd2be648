#include "XashFetch.h"

#include "MasterLoop.h"
#include "SteamServerList.h"
#include "query/XashExchange.h"
#include "query/XashList.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>

namespace vantry::net {

namespace {

struct HostPort
{
    QString host;
    std::uint16_t port = query::XashMasterPort;
};

std::optional<HostPort> splitHost(const QString& text)
{
    HostPort out;
    const QString trimmed = text.trimmed();
    const qsizetype colon = trimmed.lastIndexOf(u':');
    out.host = colon < 0 ? trimmed : trimmed.left(colon);
    if (colon >= 0) {
        bool ok = false;
        const int port = trimmed.mid(colon + 1).toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            return std::nullopt;
        out.port = static_cast<std::uint16_t>(port);
    }
    if (out.host.isEmpty())
        return std::nullopt;
    return out;
}

} // namespace

XashFetch::XashFetch(QObject* parent) : QObject(parent), m_masters(new MasterLoop(this))
{
    connect(m_masters, &MasterLoop::listed, this,
            [this](std::size_t i) { add(m_masters->exchange(i).servers()); });
    connect(m_masters, &MasterLoop::finished, this, &XashFetch::mastersEnded);
}

XashFetch::~XashFetch()
{
    cancel();
}

void XashFetch::cancel()
{
    m_running = false;
    m_masters->cancel();
    for (const QPointer<QNetworkReply>& reply : m_replies) {
        if (reply) {
            reply->disconnect(this);
            reply->abort();
            reply->deleteLater();
        }
    }
    m_replies.clear();
}

void XashFetch::start(const XashFetchRequest& request)
{
    cancel();
    m_request = request;
    m_servers.clear();
    m_seen.clear();
    m_problems.clear();
    m_sources = m_unreachable = 0;
    m_running = true;
    m_starting = true;
    query::XashAsking asking;
    asking.gameDirs = request.gameDirs;
    asking.notEmpty = request.notEmpty;
    asking.notFull = request.notFull;
    asking.noPassword = request.noPassword;
    asking.quietMs = request.quietMs;
    asking.replyWaitMs = request.replyWaitMs;
    asking.retries = request.retries;
    asking.limit = Limit;
    QStringList named;
    for (const QString& text : request.masters) {
        const std::optional<HostPort> where = splitHost(text);
        if (!where) {
            problem(QStringLiteral("Master server \"%1\" is not host:port.").arg(text));
            continue;
        }
        const QString name = where->host + u':' + QString::number(where->port);
        if (named.contains(name, Qt::CaseInsensitive))
            continue;
        named.append(name);
        m_masters->add(name, where->host, where->port,
                       std::make_unique<query::XashExchange>(asking, QRandomGenerator::global()->generate()));
    }
    if (!request.listUrl.trimmed().isEmpty()) {
        m_network = m_network ? m_network : new QNetworkAccessManager(this);
        for (std::size_t game = 0; game < request.gameDirs.size(); ++game)
            askList(game);
    }
    m_starting = false;
    checkFinished();
}

void XashFetch::mastersEnded()
{
    for (std::size_t i = 0; i < m_masters->size(); ++i) {
        const QString& name = m_masters->name(i);
        ++m_sources;
        switch (m_masters->end(i)) {
        case MasterLoop::End::Unresolved:
            ++m_unreachable;
            problem(QStringLiteral("Cannot find the address of master server %1.").arg(name));
            break;
        case MasterLoop::End::CannotAsk:
            ++m_unreachable;
            problem(QStringLiteral("Cannot ask master server %1: %2.").arg(name, m_masters->error(i)));
            break;
        case MasterLoop::End::Asked:
            if (m_masters->exchange(i).outcome() == query::MasterOutcome::Silent)
                problem(QStringLiteral("Master server %1 did not answer.").arg(name));
            break;
        case MasterLoop::End::Running:
            break;
        }
    }
    checkFinished();
}

void XashFetch::askList(std::size_t game)
{
    QString base = m_request.listUrl.trimmed();
    while (base.endsWith(u'/'))
        base.chop(1);
    const QUrl url(base + QStringLiteral("/v1/servers/") + QString::fromStdString(m_request.gameDirs[game]));
    if (!url.isValid() || (url.scheme() != u"http" && url.scheme() != u"https")) {
        problem(
            QStringLiteral("'%1' is not an http or https address of a server list.").arg(m_request.listUrl));
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(m_request.httpTimeoutMs);
    QNetworkReply* reply = m_network->get(request);
    m_replies.emplace_back(reply);
    connect(reply, &QNetworkReply::downloadProgress, this, [reply](qint64 received, qint64) {
        if (received > MaxListBody)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        const QString where = reply->url().toString();
        ++m_sources;
        if (reply->error() != QNetworkReply::NoError) {
            m_unreachable += networkMissing(reply->error()) ? 1 : 0;
            problem(QStringLiteral("The server list at %1 failed: %2.").arg(where, reply->errorString()));
        } else {
            const QByteArray body = reply->readAll();
            const query::XashHttpList list = query::parseXashHttpList(
                std::string_view(body.constData(), static_cast<std::size_t>(body.size())));
            std::vector<query::Endpoint> found;
            found.reserve(list.servers.size());
            for (const query::XashListedServer& s : list.servers)
                found.push_back(s.address);
            add(found);
        }
        std::erase_if(m_replies, [reply](const QPointer<QNetworkReply>& r) { return !r || r == reply; });
        checkFinished();
    });
}

void XashFetch::add(const std::vector<query::Endpoint>& found)
{
    const std::size_t before = m_servers.size();
    for (const query::Endpoint& e : found)
        if (m_servers.size() < Limit && m_seen.insert(e.key()).second)
            m_servers.push_back(e);
    if (m_servers.size() > before)
        emit listed();
}

void XashFetch::problem(const QString& text)
{
    if (!m_problems.contains(text))
        m_problems.append(text);
}

void XashFetch::checkFinished()
{
    if (!m_running || m_starting || !m_replies.empty() || m_masters->running())
        return;
    m_running = false;
    // From the event loop: a caller connecting after start() still sees it.
    QTimer::singleShot(0, this, [this] {
        if (!m_running)
            emit finished();
    });
}

XashFetch* XashFetch::runAndWait(const XashFetchRequest& request, QObject* parent)
{
    auto* fetch = new XashFetch(parent);
    QEventLoop loop;
    connect(fetch, &XashFetch::finished, &loop, &QEventLoop::quit);
    fetch->start(request);
    // The end always comes from the loop, even for a fetch with nothing to ask.
    loop.exec();
    return fetch;
}

} // namespace vantry::net
