#pragma once

#include "BatchSocket.h"
#include "query/ListExchange.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vantry::net {

// The one master driver of the window and the command line: a UDP socket of one master's own,
// kept for all its pages (a master starts a new socket's list from the beginning). Connected, so
// that the kernel drops anyone else's datagrams and reports a closed port.
class MasterLink
{
public:
    // Throws BatchSocketError when no socket can be opened.
    explicit MasterLink(const query::Endpoint& master);
    ~MasterLink();
    MasterLink(const MasterLink&) = delete;
    MasterLink& operator=(const MasterLink&) = delete;
    MasterLink(MasterLink&& other) noexcept;
    MasterLink& operator=(MasterLink&&) = delete;

    const query::Endpoint& master() const { return m_master; }
    // For an event loop's notifier, or poll.
    int fd() const { return m_fd; }
    // A request the kernel refuses at once is a lost request: the paging asks again.
    void send(std::span<const std::uint8_t> request);
    // Hands every waiting datagram of the master to `take`, and a refusal to `refusedNow`.
    void drain(const std::function<void(query::Bytes)>& take, const std::function<void()>& refusedNow);
    // Every waiting datagram to `exchange`; true when one of them was taken.
    bool drain(query::ListExchange& exchange, std::int64_t nowMs);
    // Sends what `exchange` asks for now; when it wants to be asked again, none once it ended.
    std::optional<std::int64_t> pump(query::ListExchange& exchange, std::int64_t nowMs);
    // The master's host reported that nothing listens on its port (ICMP port unreachable); the
    // paging then runs out its retries as for silence.
    bool refused() const { return m_refused; }
    std::size_t foreignDatagrams() const { return m_foreign; }

private:
    query::Endpoint m_master;
    int m_fd = -1;
    bool m_refused = false;
    std::size_t m_foreign = 0; // from anyone but the master: dropped
    // The largest UDP payload: a reply is read whole whatever its size, then bounded by the decoder.
    std::vector<std::uint8_t> m_buffer;
};

// One master's listing as the blocking driver runs it.
struct MasterListing
{
    query::Endpoint master;
    std::unique_ptr<query::ListExchange> exchange;
    // The master's host reported that nothing listens on its port (ICMP port unreachable); the
    // paging then runs out its retries as for silence.
    bool refused = false;
    std::size_t foreignDatagrams = 0; // from anyone but the master: dropped
};

// Runs every listing to its end side by side, each on a link of its own. `stop`, when given, is
// asked between waits and ends every listing where it stands. Throws BatchSocketError when a
// socket cannot be opened.
void fetchMasterLists(std::vector<MasterListing>& listings, const std::function<bool()>& stop = {},
                      query::Clock& clock = query::systemClock());

} // namespace vantry::net
