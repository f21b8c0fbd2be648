#include "XashFetch.h"

#include "MasterFetch.h"
#include "query/XashList.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QSocketNotifier>
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

struct XashFetch::Master
{
    ~Master()
    {
        if (lookup >= 0)
            QHostInfo::abortHostLookup(lookup);
        // The notifier is off before its socket closes.
        if (notifier)
            notifier->setEnabled(false);
        for (QObject* o : {static_cast<QObject*>(notifier), static_cast<QObject*>(timer)}) {
            if (o) {
                o->disconnect();
                o->deleteLater();
            }
        }
    }

    QString name;
    HostPort where;
    int lookup = -1;
    std::unique_ptr<MasterLink> link;
    QSocketNotifier* notifier = nullptr;
    QTimer* timer = nullptr;
    std::size_t game = 0;            // the folder asked for now
    std::vector<std::uint32_t> keys; // every request's key: late datagrams of an earlier one count
    int attempts = 0;                // requests sent for this folder
    bool answered = false;           // a datagram of this folder came
    bool everAnswered = false;
    bool done = false;
};

XashFetch::XashFetch(QObject* parent) : QObject(parent) {}

XashFetch::~XashFetch()
{
    cancel();
}

void XashFetch::cancel()
{
    m_running = false;
    m_masters.clear();
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
    m_running = true;
    m_starting = true;
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
        auto master = std::make_shared<Master>();
        master->name = name;
        master->where = *where;
        master->timer = new QTimer(this);
        master->timer->setSingleShot(true);
        const std::weak_ptr<Master> weak = master;
        connect(master->timer, &QTimer::timeout, this, [this, weak] {
            if (const auto m = weak.lock())
                timeout(*m);
        });
        m_masters.push_back(master);
        // Numbers are read as the rest of the program reads them, never by the resolver.
        const query::HostText host = query::HostText::read(where->host.toStdString());
        if (host.kind == query::HostText::Kind::Address) {
            open(master, host.address);
            continue;
        }
        if (host.kind != query::HostText::Kind::Name) {
            problem(QStringLiteral("Cannot find the address of master server %1.").arg(name));
            master->done = true;
            continue;
        }
        master->lookup = QHostInfo::lookupHost(where->host, this, [this, weak](const QHostInfo& info) {
            const auto m = weak.lock();
            if (!m)
                return;
            m->lookup = -1;
            for (const QHostAddress& a : info.addresses()) {
                if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                    open(m, a.toIPv4Address());
                    return;
                }
            }
            problem(QStringLiteral("Cannot find the address of master server %1.").arg(m->name));
            m->done = true;
            checkFinished();
        });
    }
    if (!request.listUrl.trimmed().isEmpty()) {
        m_network = m_network ? m_network : new QNetworkAccessManager(this);
        for (std::size_t game = 0; game < request.gameDirs.size(); ++game)
            askList(game);
    }
    m_starting = false;
    checkFinished();
}

void XashFetch::open(const std::shared_ptr<Master>& master, std::uint32_t address)
{
    try {
        master->link = std::make_unique<MasterLink>(query::Endpoint{address, master->where.port});
    } catch (const BatchSocketError& e) {
        problem(QStringLiteral("Cannot ask master server %1: %2.")
                    .arg(master->name, QString::fromUtf8(e.what())));
        master->done = true;
        checkFinished();
        return;
    }
    master->notifier = new QSocketNotifier(master->link->fd(), QSocketNotifier::Read, this);
    const std::weak_ptr<Master> weak = master;
    connect(master->notifier, &QSocketNotifier::activated, this, [this, weak] {
        if (const auto m = weak.lock())
            read(*m);
    });
    ask(*master);
}

void XashFetch::ask(Master& m)
{
    if (m.game >= m_request.gameDirs.size()) {
        m.done = true;
        m.timer->stop();
        checkFinished();
        return;
    }
    query::XashRequest request;
    request.gameDir = m_request.gameDirs[m.game];
    request.key = QRandomGenerator::global()->generate();
    request.notEmpty = m_request.notEmpty;
    request.notFull = m_request.notFull;
    request.noPassword = m_request.noPassword;
    m.keys.push_back(request.key);
    const std::vector<std::uint8_t> bytes = query::xashMasterRequest(request);
    m.link->send(bytes);
    ++m.attempts;
    m.timer->start(m_request.replyWaitMs);
}

void XashFetch::timeout(Master& m)
{
    if (m.done)
        return;
    if (!m.answered && m.attempts <= m_request.retries) {
        ask(m);
        return;
    }
    if (!m.answered && !m.everAnswered) {
        // Each further folder would cost the whole wait again.
        problem(QStringLiteral("Master server %1 did not answer.").arg(m.name));
        m.done = true;
        checkFinished();
        return;
    }
    ++m.game;
    m.attempts = 0;
    m.answered = false;
    ask(m);
}

void XashFetch::read(Master& m)
{
    // A refusal is silence that needs no waiting for: the time-out comes at once.
    bool refused = false;
    m.link->drain(
        [&](query::Bytes bytes) {
            if (m.done)
                return;
            for (const std::uint32_t key : m.keys) {
                query::XashReplyError error = query::XashReplyError::None;
                if (const auto found = query::decodeXashReply(bytes, key, error)) {
                    m.answered = m.everAnswered = true;
                    add(*found);
                    // The list goes on while datagrams keep coming.
                    m.timer->start(m_request.quietMs);
                    break;
                }
            }
        },
        [&] { refused = true; });
    if (refused && !m.done && !m.answered) {
        m.attempts = m_request.retries + 1;
        m.timer->start(0);
    }
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
        if (reply->error() != QNetworkReply::NoError) {
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
    if (!m_running || m_starting || !m_replies.empty())
        return;
    for (const std::shared_ptr<Master>& m : m_masters)
        if (!m->done)
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
