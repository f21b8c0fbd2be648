#include "XashMasterEmu.h"

#include "EmuServer.h"
#include "ProfileTable.h"
#include "Replies.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantry::emu {

namespace {

constexpr std::size_t MaxDatagram = 512;
constexpr std::size_t EntrySize = 6;

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The value of \key\value in an info string; none when absent.
std::optional<std::string> infoValue(const std::string& info, const std::string& key)
{
    const std::string mark = "\\" + key + "\\";
    std::size_t at = 0;
    // Keys sit at even positions: \k\v\k\v.
    while ((at = info.find(mark, at)) != std::string::npos) {
        std::size_t slashes = 0;
        for (std::size_t i = 0; i < at; ++i)
            slashes += info[i] == '\\';
        if (slashes % 2 == 0) {
            const std::size_t start = at + mark.size();
            const std::size_t end = info.find('\\', start);
            return info.substr(start, end == std::string::npos ? std::string::npos : end - start);
        }
        ++at;
    }
    return std::nullopt;
}

void putEntry(std::vector<std::uint8_t>& out, const ListedAddress& a)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(a.address >> shift));
    out.push_back(static_cast<std::uint8_t>(a.port >> 8));
    out.push_back(static_cast<std::uint8_t>(a.port));
}

std::vector<std::vector<std::uint8_t>> datagrams(const std::vector<ListedAddress>& servers,
                                                 const std::optional<std::uint32_t>& key)
{
    std::vector<std::uint8_t> header = {0xFF, 0xFF, 0xFF, 0xFF, 0x66, 0x0A};
    if (key) {
        header.push_back(0x7F);
        for (int shift = 0; shift < 32; shift += 8)
            header.push_back(static_cast<std::uint8_t>(*key >> shift));
        header.push_back(0x08);
    }
    const std::size_t perDatagram = (MaxDatagram - header.size()) / EntrySize - 1;
    std::vector<std::vector<std::uint8_t>> out;
    std::size_t next = 0;
    do {
        std::vector<std::uint8_t> d = header;
        for (std::size_t n = 0; n < perDatagram && next < servers.size(); ++n)
            putEntry(d, servers[next++]);
        putEntry(d, {0, 0});
        out.push_back(std::move(d));
    } while (next < servers.size());
    return out;
}

void sendAll(int fd, const std::string& data)
{
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

} // namespace

XashMasterEmu::XashMasterEmu(std::map<std::string, std::vector<ListedAddress>> lists,
                             XashMasterOptions options, std::uint32_t address, std::uint16_t port)
    : m_lists(std::move(lists)), m_options(options), m_address(address), m_port(port)
{}

XashMasterEmu::~XashMasterEmu()
{
    stop();
}

std::string XashMasterEmu::endpointText() const
{
    return dottedAddress(m_address) + ":" + std::to_string(m_port);
}

std::vector<std::string> XashMasterEmu::infoSeen() const
{
    std::lock_guard lock(m_mutex);
    return m_info;
}

std::vector<std::vector<std::uint8_t>> XashMasterEmu::answer(std::span<const std::uint8_t> request) const
{
    if (request.size() < 3 || request[0] != '1')
        return {};
    const std::string text(request.begin() + 2, request.end());
    const std::size_t seedEnd = text.find('\0');
    if (seedEnd == std::string::npos)
        return {};
    std::string info = text.substr(seedEnd + 1);
    if (const std::size_t nul = info.find('\0'); nul != std::string::npos)
        info.resize(nul);
    std::optional<std::uint32_t> key;
    if (const auto k = infoValue(info, "key"))
        key = static_cast<std::uint32_t>(std::strtoul(k->c_str(), nullptr, 16));
    const auto clver = infoValue(info, "clver");
    const auto build = infoValue(info, "buildnum");
    if (!clver || std::strtod(clver->c_str(), nullptr) < 0.20 || !build ||
        std::atoi(build->c_str()) < m_options.minBuild)
        return datagrams({m_options.updateNotice}, key);
    std::vector<ListedAddress> listed;
    // Servers register region 255; a request for another region lists none.
    if (request[1] == 0xFF) {
        if (const auto dir = infoValue(info, "gamedir")) {
            if (const auto it = m_lists.find(*dir); it != m_lists.end())
                listed = it->second;
        }
    }
    std::vector<std::vector<std::uint8_t>> out;
    if (m_options.forgedFirst)
        out = datagrams(listed.empty() ? std::vector<ListedAddress>{{0x7F0000FD, 27015}} : listed,
                        key.value_or(0) ^ 0x5A5A5A5A);
    for (auto& d : datagrams(listed, m_options.unkeyed ? std::nullopt : key))
        out.push_back(std::move(d));
    return out;
}

void XashMasterEmu::start()
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

void XashMasterEmu::stop()
{
    if (!m_loop.stop())
        return;
    ::close(m_fd);
    m_fd = -1;
}

void XashMasterEmu::run()
{
    std::vector<std::uint8_t> buffer(2048);
    // The times of the requests answered per client address within the last second.
    std::map<std::uint32_t, std::deque<std::int64_t>> answered;
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
            const std::span<const std::uint8_t> request(buffer.data(), static_cast<std::size_t>(n));
            {
                std::lock_guard lock(m_mutex);
                const std::string text(request.begin(), request.end());
                const std::size_t nul = text.find('\0');
                m_info.push_back(nul == std::string::npos ? std::string() : text.substr(nul + 1));
            }
            if (m_options.perSecond > 0) {
                // A sliding second: a client over its limit is dropped however the seconds fall.
                std::deque<std::int64_t>& times = answered[ntohl(from.sin_addr.s_addr)];
                const std::int64_t now = nowMs();
                while (!times.empty() && now - times.front() >= 1000)
                    times.pop_front();
                if (times.size() >= static_cast<std::size_t>(m_options.perSecond)) {
                    ++m_dropped;
                    continue;
                }
                times.push_back(now);
            }
            for (const std::vector<std::uint8_t>& d : answer(request))
                if (::sendto(m_fd, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&from), length) ==
                    static_cast<ssize_t>(d.size()))
                    ++m_sent;
        }
    }
}

HttpListEmu::HttpListEmu(std::map<std::string, std::string> bodies) : m_bodies(std::move(bodies)) {}

HttpListEmu::~HttpListEmu()
{
    stop();
}

std::string HttpListEmu::baseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + "/list";
}

std::vector<std::string> HttpListEmu::targets() const
{
    std::lock_guard lock(m_mutex);
    return m_targets;
}

void HttpListEmu::start(std::uint16_t port)
{
    if (m_loop.running())
        return;
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listen < 0)
        throw EmuError("socket: " + std::string(std::strerror(errno)));
    const int on = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(m_listen, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listen, 16) != 0) {
        const int err = errno;
        ::close(m_listen);
        m_listen = -1;
        throw EmuError("listen 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(err));
    }
    socklen_t length = sizeof addr;
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &length);
    m_port = ntohs(addr.sin_port);
    try {
        m_loop.openWake();
    } catch (...) {
        ::close(m_listen);
        m_listen = -1;
        throw;
    }
    m_loop.start([this] { run(); });
}

void HttpListEmu::stop()
{
    if (!m_loop.stop())
        return;
    ::close(m_listen);
    m_listen = -1;
}

void HttpListEmu::run()
{
    pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_loop.wakeFd(), POLLIN, 0}};
    while (!m_loop.stopping()) {
        if (::poll(fds, 2, 200) < 0 && errno != EINTR)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        serve(fd);
        ::close(fd);
    }
}

void HttpListEmu::serve(int fd)
{
    std::string head;
    char chunk[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (m_loop.stopping() || ::poll(&p, 1, 5000) <= 0 || head.size() > 16'384)
            return;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return;
        head.append(chunk, static_cast<std::size_t>(n));
    }
    const std::string line = head.substr(0, head.find("\r\n"));
    const std::size_t first = line.find(' ');
    const std::size_t second = line.find(' ', first + 1);
    const std::string target = first == std::string::npos || second == std::string::npos
                                   ? ""
                                   : line.substr(first + 1, second - first - 1);
    {
        std::lock_guard lock(m_mutex);
        m_targets.push_back(target);
    }
    const std::string mark = "/v1/servers/";
    const std::size_t at = target.rfind(mark);
    const auto it = at == std::string::npos ? m_bodies.end() : m_bodies.find(target.substr(at + mark.size()));
    const bool found = line.rfind("GET ", 0) == 0 && it != m_bodies.end();
    const std::string body = found ? it->second : std::string();
    sendAll(fd, std::string(found ? "HTTP/1.1 200 OK" : "HTTP/1.1 404 Not Found") +
                    "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
}

std::map<std::string, std::vector<ListedAddress>> xashListsFrom(const ProfileTable& table,
                                                                std::uint16_t anyPort)
{
    std::map<std::string, std::vector<ListedAddress>> out;
    for (const auto& [address, port] : table.addresses(anyPort))
        if (const auto profile = table.find(address, port))
            out[profile->gameDir].push_back({address, port});
    return out;
}

std::string httpListBody(const std::vector<ListedAddress>& servers)
{
    std::string out = "// servers listed by the emulated project\n# updated hourly\n";
    for (std::size_t i = 0; i < servers.size(); ++i) {
        const std::string address = dottedAddress(servers[i].address);
        const std::string port = servers[i].port == 27015 ? "" : ":" + std::to_string(servers[i].port);
        if (i % 3 == 1)
            out += "motd \"welcome back\"\n";
        out += (i % 2 ? "gs \"" : "ip \"") + address + port + "\" // record " + std::to_string(i) + "\n";
    }
    out += "ip [2001:db8::1]:27015\n";
    return out;
}

} // namespace vantry::emu
