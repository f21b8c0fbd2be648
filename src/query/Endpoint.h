#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vantry::query {

// An IPv4 address and port, host order: how a server is named from the socket to the row.
// Text only at the program's edges.
struct Endpoint
{
    std::uint32_t address = 0;
    std::uint16_t port = 0;

    auto operator<=>(const Endpoint&) const = default;
    // One number per endpoint, for keys and de-duplication.
    std::uint64_t key() const { return std::uint64_t{address} << 16 | port; }

    // "a.b.c.d" (the port is then defaultPort) or "a.b.c.d:port": four decimal parts of at most
    // three digits and 255, a port of 1..65535; nothing before or after.
    static std::optional<Endpoint> parse(std::string_view text, std::uint16_t defaultPort = 0);
    // Only "a.b.c.d".
    static std::optional<std::uint32_t> parseAddress(std::string_view text);
    // Decimal digits (leading zeros allowed, as a hand-edited settings file may have them) of a
    // value from 1 to 65535.
    static std::optional<std::uint16_t> parsePort(std::string_view text);
};

// How a host text is read, the same wherever a user or a file names a server. Numbers are never
// handed to a resolver: it would read "010" as octal and "1.2.3" as 1.2.0.3.
struct HostText
{
    enum class Kind
    {
        Address, // a dotted quad, each part decimal ("010" is 10)
        Name,    // anything else that may be a host name: to be looked up
        Invalid, // empty, or digits and dots that are no IPv4 address ("256.1.1.1", "1.2.3")
        Ipv6,    // two colons, brackets or a zone index
    };
    Kind kind = Kind::Invalid;
    std::uint32_t address = 0; // Address only, host order

    static HostText read(std::string_view text);
};

// "a.b.c.d", no leading zeros.
std::string addressText(std::uint32_t address);
// "a.b.c.d:port".
std::string endpointText(const Endpoint& endpoint);

} // namespace vantry::query

template <> struct std::hash<vantry::query::Endpoint>
{
    std::size_t operator()(const vantry::query::Endpoint& e) const noexcept
    {
        return std::hash<std::uint64_t>{}(e.key());
    }
};
