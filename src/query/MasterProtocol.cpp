#include "MasterProtocol.h"

#include <algorithm>
#include <array>

namespace vantry::query {

namespace {

constexpr std::array<std::uint8_t, 6> ReplyHeader = {0xFF, 0xFF, 0xFF, 0xFF, 0x66, 0x0A};
constexpr std::size_t EntrySize = 6;

} // namespace

std::vector<std::uint8_t> masterRequest(std::uint8_t region, const Endpoint& seed, std::string_view filter)
{
    filter = filter.substr(0, std::min({filter.size(), MaxMasterFilter, filter.find('\0')}));
    const std::string seedText = endpointText(seed);
    std::vector<std::uint8_t> out;
    out.reserve(2 + seedText.size() + 1 + filter.size() + 1);
    out.push_back('1');
    out.push_back(region);
    out.insert(out.end(), seedText.begin(), seedText.end());
    out.push_back(0);
    out.insert(out.end(), filter.begin(), filter.end());
    out.push_back(0);
    return out;
}

std::optional<MasterPage> decodeMasterReply(Bytes datagram, MasterReplyError& error)
{
    error = MasterReplyError::None;
    if (datagram.size() < ReplyHeader.size()) {
        error = MasterReplyError::Short;
        return std::nullopt;
    }
    if (!std::equal(ReplyHeader.begin(), ReplyHeader.end(), datagram.begin())) {
        error = MasterReplyError::BadHeader;
        return std::nullopt;
    }
    const std::size_t body = datagram.size() - ReplyHeader.size();
    if (body % EntrySize != 0) {
        error = MasterReplyError::RaggedEntry;
        return std::nullopt;
    }
    MasterPage page;
    page.servers.reserve(body / EntrySize);
    ByteReader reader(datagram, ReplyHeader.size());
    for (std::size_t i = 0; i < body / EntrySize; ++i) {
        const std::array<std::uint8_t, 4> octets = reader.bytes4();
        const std::uint8_t high = reader.u8();
        const std::uint8_t low = reader.u8();
        const Endpoint entry{std::uint32_t{octets[0]} << 24 | std::uint32_t{octets[1]} << 16 |
                                 std::uint32_t{octets[2]} << 8 | octets[3],
                             static_cast<std::uint16_t>(high << 8 | low)};
        if (entry == Endpoint{}) {
            page.endOfList = true;
            break;
        }
        page.last = entry;
        if (entry.address == 0 || entry.port == 0)
            ++page.unusable;
        else
            page.servers.push_back(entry);
    }
    return page;
}

} // namespace vantry::query
