#include "NetTestSupport.h"

#include "LoopbackGuard.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantry::test {

RawSocket::RawSocket(std::uint16_t port, bool reuseAddress)
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return;
    const int on = 1;
    if (reuseAddress)
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const int big = 4 * 1024 * 1024;
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

RawSocket::~RawSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::uint16_t RawSocket::port() const
{
    sockaddr_in addr{};
    socklen_t length = sizeof addr;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &length);
    return ntohs(addr.sin_port);
}

bool RawSocket::sendTo(std::span<const std::uint8_t> data, const std::string& host, std::uint16_t port)
{
    if (!isLoopback(host))
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    inet_pton(AF_INET, host.c_str(), &addr.sin_addr);
    return ::sendto(m_fd, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&addr),
                    sizeof addr) == static_cast<ssize_t>(data.size());
}

std::optional<RawSocket::Received> RawSocket::receive(int timeoutMs)
{
    pollfd pfd{m_fd, POLLIN, 0};
    if (::poll(&pfd, 1, timeoutMs) <= 0)
        return std::nullopt;
    Received out;
    out.data.resize(65536);
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n =
        ::recvfrom(m_fd, out.data.data(), out.data.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0)
        return std::nullopt;
    out.data.resize(static_cast<std::size_t>(n));
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    out.fromIp = text;
    out.fromPort = ntohs(from.sin_port);
    return out;
}

std::vector<std::uint8_t> bytesOf(std::string_view text)
{
    return {text.begin(), text.end()};
}

} // namespace vantry::test
