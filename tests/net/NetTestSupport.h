#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vantry::test {

// A plain POSIX UDP socket for the other end of a test: sends and receives on loopback only.
class RawSocket
{
public:
    // Binds 0.0.0.0:port (0: any); reuseAddress sets SO_REUSEADDR before binding.
    explicit RawSocket(std::uint16_t port = 0, bool reuseAddress = false);
    ~RawSocket();
    RawSocket(const RawSocket&) = delete;
    RawSocket& operator=(const RawSocket&) = delete;

    bool ok() const { return m_fd >= 0; }
    std::uint16_t port() const;
    // Refuses (returns false) any destination outside 127.0.0.0/8.
    bool sendTo(std::span<const std::uint8_t> data, const std::string& host, std::uint16_t port);

    struct Received
    {
        std::vector<std::uint8_t> data;
        std::string fromIp;
        std::uint16_t fromPort = 0;
    };
    std::optional<Received> receive(int timeoutMs);

private:
    int m_fd = -1;
};

std::vector<std::uint8_t> bytesOf(std::string_view text);

} // namespace vantry::test
