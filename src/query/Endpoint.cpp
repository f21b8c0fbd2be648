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

std::optional<Endpoint> Endpoint::parse(std::string_view text, std::uint16_t defaultPort)
{
    const std::size_t colon = text.find(':');
    const auto address = parseAddress(text.substr(0, colon));
    if (!address)
        return std::nullopt;
    if (colon == std::string_view::npos)
        return Endpoint{*address, defaultPort};
    const std::string_view portText = text.substr(colon + 1);
    const char* p = portText.data();
    const char* end = p + portText.size();
    unsigned port = 0;
    if (!decimalPart(p, end, 65535, port) || p != end || port == 0)
        return std::nullopt;
    return Endpoint{*address, static_cast<std::uint16_t>(port)};
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
