#include "MasterLoop.h"

#include "MasterFetch.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>

namespace vantry::net {

struct MasterLoop::Master
{
    ~Master()
    {
        if (lookup >= 0)
            QHostInfo::abortHostLookup(lookup);
        // The notifier is off before its socket closes. Later: the master may end inside its own
        // notifier's or timer's signal.
        if (notifier)
            notifier->setEnabled(false);
        for (QObject* o : {static_cast<QObject*>(notifier), static_cast<QObject*>(timer)}) {
            if (o) {
                o->disconnect();
                o->deleteLater();
            }
        }
    }

    std::weak_ptr<Master> self;
    std::size_t index = 0;
    QString name;
    std::uint16_t port = 0;
    std::unique_ptr<query::ListExchange> exchange;
    int lookup = -1;
    std::unique_ptr<MasterLink> link;
    QSocketNotifier* notifier = nullptr;
    QTimer* timer = nullptr;
    End end = End::Running;
    bool dropped = false; // by cancel(), perhaps from a handler of its own signal
    QString error;
};

MasterLoop::MasterLoop(QObject* parent) : QObject(parent) {}

MasterLoop::~MasterLoop()
{
    cancel();
}

void MasterLoop::cancel()
{
    for (const std::shared_ptr<Master>& m : m_masters)
        m->dropped = true;
    m_masters.clear();
}

bool MasterLoop::running() const
{
    return std::any_of(m_masters.begin(), m_masters.end(),
                       [](const std::shared_ptr<Master>& m) { return m->end == End::Running; });
}

const QString& MasterLoop::name(std::size_t i) const
{
    return m_masters.at(i)->name;
}

const query::ListExchange& MasterLoop::exchange(std::size_t i) const
{
    return *m_masters.at(i)->exchange;
}

MasterLoop::End MasterLoop::end(std::size_t i) const
{
    return m_masters.at(i)->end;
}

QString MasterLoop::error(std::size_t i) const
{
    return m_masters.at(i)->error;
}

bool MasterLoop::refused(std::size_t i) const
{
    const Master& m = *m_masters.at(i);
    return m.link && m.link->refused();
}

void MasterLoop::add(const QString& name, const QString& host, std::uint16_t port,
                     std::unique_ptr<query::ListExchange> exchange)
{
    auto master = std::make_shared<Master>();
    master->self = master;
    master->index = m_masters.size();
    master->name = name;
    master->port = port;
    master->exchange = std::move(exchange);
    master->timer = new QTimer(this);
    master->timer->setSingleShot(true);
    const std::weak_ptr<Master> weak = master;
    connect(master->timer, &QTimer::timeout, this, [this, weak] {
        if (const auto m = weak.lock())
            drive(*m);
    });
    m_masters.push_back(master);

    const query::HostText text = query::HostText::read(host.toStdString());
    if (text.kind == query::HostText::Kind::Address) {
        open(*master, text.address);
        return;
    }
    if (text.kind != query::HostText::Kind::Name) {
        ended(*master, End::Unresolved);
        return;
    }
    master->lookup = QHostInfo::lookupHost(host, this, [this, weak](const QHostInfo& info) {
        const auto m = weak.lock();
        if (!m)
            return;
        m->lookup = -1;
        for (const QHostAddress& a : info.addresses()) {
            if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                open(*m, a.toIPv4Address());
                return;
            }
        }
        ended(*m, End::Unresolved);
    });
}

void MasterLoop::open(Master& m, std::uint32_t address)
{
    try {
        m.link = std::make_unique<MasterLink>(query::Endpoint{address, m.port});
    } catch (const BatchSocketError& e) {
        m.error = QString::fromUtf8(e.what());
        ended(m, End::CannotAsk);
        return;
    }
    m.notifier = new QSocketNotifier(m.link->fd(), QSocketNotifier::Read, this);
    connect(m.notifier, &QSocketNotifier::activated, this, [this, weak = m.self] {
        if (const auto master = weak.lock())
            read(*master);
    });
    drive(m);
}

void MasterLoop::drive(Master& m)
{
    if (m.end != End::Running || m.dropped)
        return;
    const std::int64_t now = m_clock->nowMs();
    const std::optional<std::int64_t> wake = m.link->pump(*m.exchange, now);
    if (!wake) {
        ended(m, End::Asked);
        return;
    }
    m.timer->start(static_cast<int>(std::clamp<std::int64_t>(*wake - now, 0, 600'000)));
}

void MasterLoop::read(Master& m)
{
    if (m.end != End::Running || m.dropped) {
        m.link->drain([](query::Bytes) {}, [] {});
        return;
    }
    if (m.link->drain(*m.exchange, m_clock->nowMs()))
        emit listed(m.index);
    drive(m);
}

void MasterLoop::ended(Master& m, End end)
{
    m.end = end;
    if (m.timer)
        m.timer->stop();
    if (running() || m_endQueued)
        return;
    m_endQueued = true;
    // From the event loop: a caller connecting after add() still hears of it.
    QTimer::singleShot(0, this, [this] {
        m_endQueued = false;
        if (!running() && !m_masters.empty())
            emit finished();
    });
}

} // namespace vantry::net
