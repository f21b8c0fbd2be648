#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vantry::query {

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF).
bool isWellFormedUtf8(std::span<const std::uint8_t> bytes);

// Windows-1251 to UTF-8; the one unassigned byte (0x98) becomes U+FFFD.
std::string cp1251ToUtf8(std::span<const std::uint8_t> bytes);

// The program's 8-bit texts: kept as they are when they are well-formed UTF-8, otherwise read as
// Windows-1251 (servers and settings files of the Russian edition's era).
std::string decodeText(std::span<const std::uint8_t> bytes);

inline std::string decodeText(const std::string& bytes)
{
    return decodeText({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

} // namespace vantry::query
