#include "MasterEmu.h"

#include "EmuServer.h"
#include "ProfileTable.h"
#include "Replies.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantry::emu {

namespace {

constexpr std::uint32_t EndlessBase = (127u << 24) | (128u << 16) | 1;
constexpr std::uint32_t EndlessCount = (1u << 23) - 2; // up to 127.255.255.254
constexpr std::uint16_t EndlessPort = 27015;

enum Fault
{
    Lost,
    Repeated,
    Malformed,
};

void putEntry(std::vector<std::uint8_t>& out, const ListedAddress& a)
{
    out.push_back(static_cast<std::uint8_t>(a.address >> 24));
    out.push_back(static_cast<std::uint8_t>(a.address >> 16));
    out.push_back(static_cast<std::uint8_t>(a.address >> 8));
    out.push_back(static_cast<std::uint8_t>(a.address));
    out.push_back(static_cast<std::uint8_t>(a.port >> 8));
    out.push_back(static_cast<std::uint8_t>(a.port));
}

std::vector<std::uint8_t> reply(const std::vector<ListedAddress>& entries, bool endMarker)
{
    std::vector<std::uint8_t> out = {0xFF, 0xFF, 0xFF, 0xFF, 0x66, 0x0A};
    for (const ListedAddress& a : entries)
        putEntry(out, a);
    if (endMarker)
        putEntry(out, {});
    return out;
}

// "a.b.c.d:port" as a master request carries it; false when it starts with no address and
// port. A port is at most five digits and whatever follows them is ignored: qstat sends its seed
// in a field of fixed size, where a shorter seed leaves the tail of the longer one before it.
bool parseSeed(const std::string& text, ListedAddress& out)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || !parseAddress(text.substr(0, colon), out.address))
        return false;
    std::string port;
    for (std::size_t i = colon + 1;
         i < text.size() && port.size() < 5 && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        port += text[i];
    if (port.empty())
        return false;
    const unsigned long value = std::stoul(port);
    if (value > 65535)
        return false;
    out.port = static_cast<std::uint16_t>(value);
    return true;
}

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

MasterBook masterBookFrom(const ProfileTable& table, std::uint16_t anyPort)
{
    MasterBook book;
    for (const auto& [address, port] : table.addresses(anyPort))
        book.servers.push_back({address, port});
    return book;
}

MasterEmu::MasterEmu(MasterBook book, MasterFaults faults, std::uint32_t address, std::uint16_t port)
    : m_book(std::move(book)), m_faults(faults), m_address(address), m_port(port)
{
    m_book.pageSize = std::clamp<std::size_t>(m_book.pageSize, 1, 10'000);
}

MasterEmu::~MasterEmu()
{
    stop();
}

std::string MasterEmu::endpointText() const
{
    return dottedAddress(m_address) + ":" + std::to_string(m_port);
}

std::size_t MasterEmu::pageCount() const
{
    const std::size_t total = m_book.servers.size() + (m_faults.endless ? EndlessCount : 0);
    return (total + m_book.pageSize - 1) / m_book.pageSize;
}

std::vector<ListedAddress> MasterEmu::page(std::size_t index) const
{
    std::vector<ListedAddress> out;
    const std::size_t first = index * m_book.pageSize;
    const std::size_t total = m_book.servers.size() + (m_faults.endless ? EndlessCount : 0);
    for (std::size_t pos = first; pos < std::min(total, first + m_book.pageSize); ++pos) {
        if (pos < m_book.servers.size())
            out.push_back(m_book.servers[pos]);
        else
            out.push_back(
                {EndlessBase + static_cast<std::uint32_t>(pos - m_book.servers.size()), EndlessPort});
    }
    return out;
}

bool MasterEmu::lastPage(std::size_t index) const
{
    return index + 1 >= pageCount();
}

// The page after the one whose last entry is the seed; the first page for the first seed and for
// a seed that ends no page.
std::size_t MasterEmu::pageAfter(const ListedAddress& seed) const
{
    if (seed.address == 0 && seed.port == 0)
        return 0;
    if (m_faults.endless && seed.port == EndlessPort && seed.address >= EndlessBase &&
        seed.address - EndlessBase < EndlessCount) {
        const std::size_t pos = m_book.servers.size() + (seed.address - EndlessBase);
        return pos / m_book.pageSize + 1;
    }
    for (std::size_t index = 0; index * m_book.pageSize < m_book.servers.size(); ++index) {
        const std::size_t last = std::min(m_book.servers.size(), (index + 1) * m_book.pageSize) - 1;
        const ListedAddress& a = m_book.servers[last];
        if (a.address == seed.address && a.port == seed.port)
            return index + 1;
    }
    return 0;
}

std::vector<std::uint8_t> MasterEmu::answer(std::span<const std::uint8_t> request, bool newSender)
{
    // '1', region, seed, NUL, filter, NUL
    if (request.size() < 4 || request[0] != '1')
        return {};
    const std::uint8_t region = request[1];
    const auto seedEnd = std::find(request.begin() + 2, request.end(), 0);
    if (seedEnd == request.end())
        return {};
    const std::string seedText(request.begin() + 2, seedEnd);
    const auto filterEnd = std::find(seedEnd + 1, request.end(), 0);
    const std::string filter(seedEnd + 1, filterEnd);
    {
        std::lock_guard lock(m_seenMutex);
        m_filters.push_back(filter);
        m_regions.push_back(region);
    }
    ListedAddress seed;
    if (!parseSeed(seedText, seed))
        return {};
    if (!m_book.requiredFilter.empty() && filter.find(m_book.requiredFilter) == std::string::npos)
        return reply({}, true);

    const std::size_t index = newSender ? 0 : pageAfter(seed);
    if (index >= pageCount())
        return m_faults.noEndMarker ? std::vector<std::uint8_t>{} : reply({}, true);
    const auto once = [&](Fault fault, int pageIndex) {
        if (pageIndex < 0 || static_cast<std::size_t>(pageIndex) != index || m_faultDone[fault])
            return false;
        m_faultDone[fault] = true;
        return true;
    };
    if (once(Lost, m_faults.lostPage))
        return {};
    if (once(Repeated, m_faults.repeatedPage)) {
        const std::size_t before = index == 0 ? 0 : index - 1;
        return reply(page(before), lastPage(before) && !m_faults.noEndMarker);
    }
    std::vector<std::uint8_t> out = reply(page(index), lastPage(index) && !m_faults.noEndMarker);
    if (once(Malformed, m_faults.malformedPage))
        out.insert(out.end(), {0x7F, 0x00, 0x00}); // half an entry
    return out;
}

std::vector<std::string> MasterEmu::filtersSeen() const
{
    std::lock_guard lock(m_seenMutex);
    return m_filters;
}

std::vector<std::uint8_t> MasterEmu::regionsSeen() const
{
    std::lock_guard lock(m_seenMutex);
    return m_regions;
}

void MasterEmu::start()
{
    if (m_loop.running())
        return;
    if ((m_address >> 24) != 127)
        throw EmuError("a master is emulated on loopback only, not " + dottedAddress(m_address));
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        throw EmuError("socket: " + std::string(std::strerror(errno)));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(m_port);
    addr.sin_addr.s_addr = htonl(m_address);
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = errno;
        ::close(m_fd);
        m_fd = -1;
        throw EmuError("bind " + dottedAddress(m_address) + ":" + std::to_string(m_port) + ": " +
                       std::strerror(err));
    }
    socklen_t length = sizeof addr;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &length);
    m_port = ntohs(addr.sin_port);
    try {
        m_loop.openWake();
    } catch (...) {
        ::close(m_fd);
        m_fd = -1;
        throw;
    }
    m_loop.start([this] { run(); });
}

void MasterEmu::stop()
{
    if (!m_loop.stop())
        return;
    ::close(m_fd);
    m_fd = -1;
}

void MasterEmu::run()
{
    std::vector<std::uint8_t> buffer(2048);
    std::map<std::uint64_t, std::int64_t> lastAnswered; // by sender
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_loop.wakeFd(), POLLIN, 0}};
    while (!m_loop.stopping()) {
        if (::poll(fds, 2, 200) < 0 && errno != EINTR)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        for (;;) {
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(m_fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr*>(&from), &length);
            if (n < 0)
                break;
            ++m_requests;
            const std::uint64_t sender =
                std::uint64_t{ntohl(from.sin_addr.s_addr)} << 16 | ntohs(from.sin_port);
            const std::int64_t now = nowMs();
            if (m_faults.minIntervalMs > 0) {
                const auto it = lastAnswered.find(sender);
                if (it != lastAnswered.end() && now - it->second < m_faults.minIntervalMs) {
                    ++m_dropped;
                    continue;
                }
            }
            const std::vector<std::uint8_t> out =
                answer(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(n)),
                       !lastAnswered.contains(sender));
            lastAnswered[sender] = now;
            if (out.empty())
                continue;
            if (::sendto(m_fd, out.data(), out.size(), 0, reinterpret_cast<const sockaddr*>(&from), length) ==
                static_cast<ssize_t>(out.size()))
                ++m_replies;
        }
    }
}

} // namespace vantry::emu
