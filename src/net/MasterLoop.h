#pragma once

#include "query/Clock.h"
#include "query/ListExchange.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

namespace vantry::net {

// Runs public lists' exchanges on the thread's event loop, each master on a socket of its own and
// all side by side: the window's counterpart of fetchMasterLists. A master named by a host name
// is looked up first; numbers are read as the rest of the program reads them, never by the
// resolver.
class MasterLoop : public QObject
{
    Q_OBJECT
public:
    enum class End
    {
        Running,
        Asked,      // the exchange ran to its end: its outcome says how
        Unresolved, // the name has no IPv4 address, or the text is no host
        CannotAsk,  // no socket: error() says why
    };

    explicit MasterLoop(QObject* parent = nullptr);
    ~MasterLoop() override;

    // The clock the exchanges' times are read on (not owned); the system's by default.
    void setClock(query::Clock& clock) { m_clock = &clock; }
    // Starts at once; `name` is how the master is reported. The end of every master, even one
    // that ends here, comes from the event loop.
    void add(const QString& name, const QString& host, std::uint16_t port,
             std::unique_ptr<query::ListExchange> exchange);
    void cancel();
    bool running() const;

    std::size_t size() const { return m_masters.size(); }
    const QString& name(std::size_t i) const;
    const query::ListExchange& exchange(std::size_t i) const;
    End end(std::size_t i) const;
    QString error(std::size_t i) const;
    // The master's host said that nothing listens on its port.
    bool refused(std::size_t i) const;

signals:
    // Master `i` listed more addresses.
    void listed(std::size_t i);
    void finished();

private:
    struct Master;
    void open(Master& master, std::uint32_t address);
    void drive(Master& master);
    void read(Master& master);
    void ended(Master& master, End end);

    query::Clock* m_clock = &query::systemClock();
    std::vector<std::shared_ptr<Master>> m_masters;
    bool m_endQueued = false;
};

} // namespace vantry::net
