#include "Endpoint.h"

#include <charconv>

namespace vantry::query {

namespace {

// Up to three digits; from_chars alone would take a sign or a fourth digit.
bool decimalPart(const char*& p, const char* end, unsigned limit, unsigned& value)
{
    const char* start = p;
    value = 0;
    while (p != end && *p >= '0' && *p <= '9' && p - start < 5) {
        value = value * 10 + unsigned(*p - '0');
        ++p;
    }
    return p != start && value <= limit;
}

} // namespace

std::optional<std::uint32_t> Endpoint::parseAddress(std::string_view text)
{
    std::uint32_t address = 0;
    const char* p = text.data();
    const char* end = p + text.size();
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (p == end || *p != '.')
                return std::nullopt;
            ++p;
        }
        const char* start = p;
        unsigned value = 0;
        if (!decimalPart(p, end, 255, value) || p - start > 3)
            return std::nullopt;
        address = (address << 8) | value;
    }
    if (p != end)
        return std::nullopt;
    return address;
}

std::optional<std::uint16_t> Endpoint::parsePort(std::string_view text)
{
    const std::size_t digits = text.find_first_not_of('0');
    if (text.empty() || digits == std::string_view::npos)
        return std::nullopt; // empty or 0
    const std::string_view significant = text.substr(digits);
    const char* p = significant.data();
    const char* end = p + significant.size();
    unsigned port = 0;
    if (!decimalPart(p, end, 65535, port) || p != end)
        return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

std::optional<Endpoint> Endpoint::parse(std::string_view text, std::uint16_t defaultPort)
{
    const std::size_t colon = text.find(':');
    const auto address = parseAddress(text.substr(0, colon));
    if (!address)
        return std::nullopt;
    if (colon == std::string_view::npos)
        return Endpoint{*address, defaultPort};
    const auto port = parsePort(text.substr(colon + 1));
    if (!port)
        return std::nullopt;
    return Endpoint{*address, *port};
}

HostText HostText::read(std::string_view text)
{
    if (text.find('[') != std::string_view::npos || text.find('%') != std::string_view::npos ||
        text.find(':') != text.rfind(':'))
        return {Kind::Ipv6};
    if (const auto address = Endpoint::parseAddress(text))
        return {Kind::Address, *address};
    if (text.empty() || text.find_first_not_of("0123456789.") == std::string_view::npos)
        return {Kind::Invalid};
    return {Kind::Name};
}

std::string addressText(std::uint32_t address)
{
    char text[16];
    char* p = text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned octet = (address >> shift) & 0xFF;
        if (octet >= 100)
            *p++ = char('0' + octet / 100);
        if (octet >= 10)
            *p++ = char('0' + octet / 10 % 10);
        *p++ = char('0' + octet % 10);
        if (shift > 0)
            *p++ = '.';
    }
    return std::string(text, p);
}

std::string endpointText(const Endpoint& endpoint)
{
    return addressText(endpoint.address) + ':' + std::to_string(endpoint.port);
}

} // namespace vantry::query
