#pragma once

#include "ByteReader.h"
#include "Records.h"

#include <string>
#include <string_view>

namespace vantry::query {

// The fields an old info-string reply carries, as raw bytes.
struct OldInfoFields
{
    std::string description;
    std::string protocol;
    std::string name;
    std::string map;
    std::string players;
    std::string maximum;
    std::string os;
    std::string password;
    std::string relay; // the "\proxy\" marker: "1" for an HLTV relay
    std::string bots;
};

// The info string: bytes 23.. of the datagram up to its first NUL; empty for 23 bytes or fewer.
std::string_view oldInfoString(Bytes datagram);

// The value after the last occurrence of `marker` (for example "\map\") that a backslash
// follows; markers are found whatever the case of their ASCII letters, values keep theirs.
// A value at the very end with no backslash after it is not found. Each search resumes after
// the backslash that ended the previous value.
std::string extractField(std::string_view infoString, std::string_view marker);

OldInfoFields extractOldInfo(Bytes datagram);

// Every old reply becomes a row; unknown games get the kind "?". No duplicate test here.
ServerRow AddOld(const OldInfoFields& fields, const Endpoint& from);

} // namespace vantry::query
