#include "query/XashList.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <unordered_set>

// The community masters' replies and the HTTP list, from bytes nobody checked. A reply decodes
// only with its own key and never yields more entries than its bytes hold; a list names each
// address once, none of them 0.0.0.0, and never more records than it has tokens.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vantry::query;
    const auto check = [](bool ok) {
        if (!ok)
            std::abort();
    };
#if VANTRY_FUZZ_XASH == 1
    std::uint32_t key = 0;
    if (size >= 4)
        key = std::uint32_t{data[0]} | std::uint32_t{data[1]} << 8 | std::uint32_t{data[2]} << 16 |
              std::uint32_t{data[3]} << 24;
    const Bytes datagram(data + (size >= 4 ? 4 : 0), size - (size >= 4 ? 4 : 0));
    XashReplyError error = XashReplyError::None;
    const auto page = decodeXashReply(datagram, key, error);
    check(page.has_value() == (error == XashReplyError::None));
    if (page) {
        check(datagram.size() >= 12 && (datagram.size() - 12) % 6 == 0);
        check(page->size() <= (datagram.size() - 12) / 6);
        for (const Endpoint& e : *page)
            check(e.address != 0 && e.port != 0);
        XashReplyError other = XashReplyError::None;
        check(!decodeXashReply(datagram, key ^ 1u, other) && other == XashReplyError::WrongKey);
    }
#else
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const XashHttpList list = parseXashHttpList(body);
    std::unordered_set<std::uint64_t> seen;
    for (const XashListedServer& s : list.servers) {
        check(s.address.address != 0 && s.address.port != 0);
        check(seen.insert(s.address.key()).second);
    }
    check(list.servers.size() + list.skipped <= size / 2 + 1);
#endif
    return 0;
}
