#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vantry::query {

// How far the bytes are well-formed UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF),
// and whether all that follows is the correct start of one character that the end cuts off.
struct Utf8Scan
{
    std::size_t wellFormed = 0;
    bool cutAtEnd = false;
};
Utf8Scan scanUtf8(std::span<const std::uint8_t> bytes);

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

// A text of a server's reply: as decodeText(), except that one cut in the middle of a UTF-8
// character (servers cut names at a fixed length) stays UTF-8 without its broken tail.
std::string decodeName(std::span<const std::uint8_t> bytes);

} // namespace vantry::query
