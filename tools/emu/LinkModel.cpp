#include "LinkModel.h"

#include <charconv>
#include <vector>

namespace vantry::emu {

std::optional<LinkShape> readLinkShape(const std::string& text)
{
    std::vector<int> parts;
    const char* at = text.data();
    const char* const end = text.data() + text.size();
    for (;;) {
        int n = 0;
        const auto [next, error] = std::from_chars(at, end, n);
        if (error != std::errc() || n < 0)
            return std::nullopt;
        parts.push_back(n);
        if (next == end)
            break;
        if (*next != ':')
            return std::nullopt;
        at = next + 1;
    }
    if (parts.size() < 2 || parts.size() > 3 || (parts.size() == 3 && parts[2] > 60'000))
        return std::nullopt;
    LinkShape shape;
    shape.downKbps = parts[0];
    shape.upKbps = parts[1];
    if (parts.size() == 3)
        shape.queueMs = parts[2];
    return shape;
}

} // namespace vantry::emu
