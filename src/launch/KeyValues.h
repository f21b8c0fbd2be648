#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Steam's text KeyValues files (libraryfolders.vdf, appmanifest_<id>.acf): quoted or bare keys,
// each followed by a text value or a { } block of further pairs; // comments; backslash escapes in
// quoted texts; repeated keys allowed. Standard library only, so the fuzzer needs no toolkit.
namespace vantry::launch::vdf {

struct Node
{
    std::string key;
    std::string value;          // a text pair's value; empty for a block
    std::vector<Node> children; // a block's pairs, in file order
    bool isBlock = false;
};

enum class Error
{
    None,
    TooLarge,        // the text is longer than MaxInput
    TooDeep,         // blocks are nested deeper than MaxDepth
    TooManyPairs,    // more than MaxPairs pairs in all
    UnclosedQuote,   // a quoted text runs to the end of the file
    UnexpectedBrace, // '{' where a key belongs, or '}' with no block open
    MissingValue,    // a key at the end of the text or right before '}'
    UnclosedBlock,   // the text ends inside a block
};

// Limits far above what Steam writes, so that a hostile file costs bounded time and memory.
inline constexpr std::size_t MaxInput = 4u << 20;
inline constexpr int MaxDepth = 32;
inline constexpr std::size_t MaxPairs = 100000;

struct Document
{
    std::vector<Node> pairs; // the top-level pairs; empty when error is not None
    Error error = Error::None;
    int line = 0; // 1-based line of the error
};

Document parse(std::string_view text);

// The first pair of that key, compared without regard to ASCII case; null when there is none.
const Node* find(const std::vector<Node>& pairs, std::string_view key);
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// What went wrong, in a few English words ("a quoted text is not closed").
const char* describe(Error error);

} // namespace vantry::launch::vdf
