#include "launch/KeyValues.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

using namespace vantry::launch::vdf;

// Counts the pairs and checks that no block lies deeper than the parser allows.
std::size_t walk(const std::vector<Node>& pairs, int depth)
{
    // A leaf's empty list of children may lie one below the deepest block.
    if (!pairs.empty() && depth > MaxDepth)
        std::abort();
    std::size_t count = 0;
    for (const Node& n : pairs) {
        if (!n.isBlock && !n.children.empty())
            std::abort();
        if (n.isBlock && !n.value.empty())
            std::abort();
        // Every key can be found again, whatever its case.
        if (!find(pairs, n.key))
            std::abort();
        count += 1 + walk(n.children, depth + 1);
    }
    return count;
}

} // namespace

// Steam's library lists and manifests are read from the user's disk: any bytes at all.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Document doc = parse(text);
    if (doc.error == Error::None) {
        if (doc.line != 0 || walk(doc.pairs, 0) > MaxPairs)
            std::abort();
    } else if (!doc.pairs.empty() || doc.line < 1) {
        std::abort();
    }
    return 0;
}
