#pragma once

#include "ByteReader.h"
#include "Endpoint.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The community masters of the GoldSrc-compatible open engine and its static HTTP list. A master
// answers one request with its whole list at once, in as many datagrams as it needs.
namespace vantry::query {

// The version and build the requests announce: a master lists no servers to an older client, only
// its notice to update.
inline constexpr std::string_view XashClientVersion = "0.21";
inline constexpr std::string_view XashBuildNumber = "4000";
inline constexpr std::uint16_t XashMasterPort = 27010;
inline constexpr std::uint16_t XashServerPort = 27015;

struct XashRequest
{
    std::string gameDir = "cstrike";
    std::uint32_t key = 0; // echoed by the master in every datagram of its answer
    bool notEmpty = false;
    bool notFull = false;
    bool noPassword = false;
};

// '1', region 0xFF, "0.0.0.0:0", NUL, the info string (clver, buildnum, gamedir, nat 0, key and
// the filters), NUL. A game folder is cut at its first backslash or NUL.
std::vector<std::uint8_t> xashMasterRequest(const XashRequest& request);

enum class XashReplyError
{
    None,
    Short,
    BadHeader,   // not FF FF FF FF 66 0A
    WrongKey,    // no key, or another request's
    RaggedEntry, // the entries are not whole 6-byte ones
};

// One datagram's servers, without the end entry and entries that cannot be a server.
// `expectedKey`: the request's key; a datagram without it is someone else's and dropped.
std::optional<std::vector<Endpoint>> decodeXashReply(Bytes datagram, std::uint32_t expectedKey,
                                                     XashReplyError& error);

enum class XashServerKind
{
    Xash,    // "ip": protocol 49
    GoldSrc, // "gs": protocol 48
};

struct XashListedServer
{
    Endpoint address;
    XashServerKind kind = XashServerKind::Xash;
};

struct XashHttpList
{
    std::vector<XashListedServer> servers; // in file order, each address once
    // Records read but not listed: IPv6 addresses, host names, malformed addresses.
    std::size_t skipped = 0;
};

// The body of <base>/v1/servers/<gamedir>: whitespace-separated tokens, "//" and "#" comments to
// the end of the line, "..." quoting a token, one directive and one operand per record. Host names
// are not resolved: the address of a record is taken only as IPv4 digits.
XashHttpList parseXashHttpList(std::string_view body);

} // namespace vantry::query
