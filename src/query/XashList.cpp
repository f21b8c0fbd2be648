#include "XashList.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <unordered_set>

namespace vantry::query {

namespace {

constexpr std::array<std::uint8_t, 6> ReplyHeader = {0xFF, 0xFF, 0xFF, 0xFF, 0x66, 0x0A};
constexpr std::uint8_t KeyOpen = 0x7F;
constexpr std::uint8_t KeyClose = 0x08;
constexpr std::size_t KeyedHeader = ReplyHeader.size() + 6;
constexpr std::size_t EntrySize = 6;
// A game folder longer than any real one is cut, so the request stays one small datagram.
constexpr std::size_t MaxGameDir = 64;

void append(std::vector<std::uint8_t>& out, std::string_view text)
{
    out.insert(out.end(), text.begin(), text.end());
}

void appendPair(std::vector<std::uint8_t>& out, std::string_view key, std::string_view value)
{
    out.push_back('\\');
    append(out, key);
    out.push_back('\\');
    append(out, value);
}

bool space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The tokens of a list body, comments dropped and quotes removed.
std::vector<std::string_view> tokens(std::string_view body)
{
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < body.size()) {
        const char c = body[i];
        if (space(c)) {
            ++i;
        } else if (c == '#' || (c == '/' && i + 1 < body.size() && body[i + 1] == '/')) {
            const std::size_t end = body.find('\n', i);
            i = end == std::string_view::npos ? body.size() : end + 1;
        } else if (c == '"') {
            // An unclosed quote runs to the end of the body.
            const std::size_t end = body.find('"', i + 1);
            const std::size_t stop = end == std::string_view::npos ? body.size() : end;
            out.push_back(body.substr(i + 1, stop - i - 1));
            i = stop == body.size() ? stop : stop + 1;
        } else {
            std::size_t end = i;
            // A comment may follow a token without a blank: an address holds neither mark.
            while (end < body.size() && !space(body[end]) && body[end] != '"' && body[end] != '#' &&
                   body.substr(end, 2) != "//")
                ++end;
            out.push_back(body.substr(i, end - i));
            i = end;
        }
    }
    return out;
}

} // namespace

std::vector<std::uint8_t> xashMasterRequest(const XashRequest& request)
{
    std::string_view gameDir = request.gameDir;
    gameDir =
        gameDir.substr(0, std::min({gameDir.size(), MaxGameDir, gameDir.find('\\'), gameDir.find('\0')}));
    char key[9];
    std::snprintf(key, sizeof key, "%08x", static_cast<unsigned>(request.key));
    std::vector<std::uint8_t> out;
    out.push_back('1');
    out.push_back(0xFF);
    append(out, "0.0.0.0:0");
    out.push_back(0);
    appendPair(out, "clver", XashClientVersion);
    appendPair(out, "buildnum", XashBuildNumber);
    appendPair(out, "gamedir", gameDir);
    appendPair(out, "nat", "0");
    if (request.notEmpty)
        appendPair(out, "empty", "1");
    if (request.notFull)
        appendPair(out, "full", "1");
    if (request.noPassword)
        appendPair(out, "password", "0");
    appendPair(out, "key", key);
    out.push_back(0);
    return out;
}

std::optional<std::vector<Endpoint>> decodeXashReply(Bytes datagram, std::uint32_t expectedKey,
                                                     XashReplyError& error)
{
    error = XashReplyError::None;
    if (datagram.size() < KeyedHeader) {
        error = datagram.size() < ReplyHeader.size() ? XashReplyError::Short : XashReplyError::WrongKey;
        if (datagram.size() >= ReplyHeader.size() &&
            !std::equal(ReplyHeader.begin(), ReplyHeader.end(), datagram.begin()))
            error = XashReplyError::BadHeader;
        return std::nullopt;
    }
    if (!std::equal(ReplyHeader.begin(), ReplyHeader.end(), datagram.begin())) {
        error = XashReplyError::BadHeader;
        return std::nullopt;
    }
    ByteReader reader(datagram, ReplyHeader.size());
    const std::uint8_t open = reader.u8();
    const auto key = static_cast<std::uint32_t>(reader.i32le());
    const std::uint8_t close = reader.u8();
    if (open != KeyOpen || close != KeyClose || key != expectedKey) {
        error = XashReplyError::WrongKey;
        return std::nullopt;
    }
    const std::size_t body = datagram.size() - KeyedHeader;
    if (body % EntrySize != 0) {
        error = XashReplyError::RaggedEntry;
        return std::nullopt;
    }
    std::vector<Endpoint> servers;
    servers.reserve(body / EntrySize);
    for (std::size_t i = 0; i < body / EntrySize; ++i) {
        const std::array<std::uint8_t, 4> o = reader.bytes4();
        const std::uint8_t high = reader.u8();
        const std::uint8_t low = reader.u8();
        const Endpoint entry{std::uint32_t{o[0]} << 24 | std::uint32_t{o[1]} << 16 |
                                 std::uint32_t{o[2]} << 8 | o[3],
                             static_cast<std::uint16_t>(high << 8 | low)};
        // The zero entry ends this datagram, not the list: more datagrams may follow.
        if (entry == Endpoint{})
            break;
        if (entry.address != 0 && entry.port != 0)
            servers.push_back(entry);
    }
    return servers;
}

XashHttpList parseXashHttpList(std::string_view body)
{
    XashHttpList list;
    std::unordered_set<std::uint64_t> seen;
    const std::vector<std::string_view> words = tokens(body);
    for (std::size_t i = 0; i < words.size(); i += 2) {
        const std::string_view directive = words[i];
        if (i + 1 >= words.size()) {
            if (directive == "ip" || directive == "gs")
                ++list.skipped;
            break;
        }
        if (directive != "ip" && directive != "gs")
            continue; // with its operand
        const std::optional<Endpoint> address = Endpoint::parse(words[i + 1], XashServerPort);
        if (!address || address->address == 0) {
            ++list.skipped;
            continue;
        }
        if (!seen.insert(address->key()).second)
            continue;
        list.servers.push_back(
            {*address, directive == "ip" ? XashServerKind::Xash : XashServerKind::GoldSrc});
    }
    return list;
}

} // namespace vantry::query
