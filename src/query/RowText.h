#pragma once

#include "ByteReader.h"
#include "Records.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Helpers shared by the info decoders.
namespace vantry::query::rowtext {

// The bytes as they came, one char per byte.
std::string raw(Bytes bytes);
// The same bytes seen as chars, without a copy.
std::string_view chars(Bytes bytes);
// A text as shown: UTF-8 when well-formed or only cut inside its last character (which is then
// dropped), otherwise read as Windows-1251.
std::string shown(const std::string& bytes);
std::string shown(Bytes bytes);
std::string decimal(unsigned value);
// Digits only, at least one, value fitting an int; otherwise none.
std::optional<int> decimalValue(std::string_view text);
// 'W' or 'w' stands for Windows; anything else for Linux.
bool isWindows(std::uint8_t osIndicator);
// The status icon of the binary info replies: open when there is no password and a free slot,
// password when the flag is 1, full otherwise (also for flags other than 0 and 1).
Image binaryStatus(std::uint8_t passwordFlag, std::uint8_t players, std::uint8_t maximum);

} // namespace vantry::query::rowtext
