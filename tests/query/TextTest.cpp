#include "query/Text.h"

#include <gtest/gtest.h>
#include <vector>

using namespace vantry::query;

namespace {

bool wellFormed(std::vector<std::uint8_t> bytes)
{
    return isWellFormedUtf8(bytes);
}

std::string decode(std::vector<std::uint8_t> bytes)
{
    return decodeText(std::span<const std::uint8_t>(bytes));
}

} // namespace

TEST(Text, MalformedUtf8IsRecognised)
{
    EXPECT_TRUE(wellFormed({}));
    EXPECT_TRUE(wellFormed({'a', 0xD0, 0x9F, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80}));
    EXPECT_FALSE(wellFormed({0xC0, 0x80}));             // overlong NUL
    EXPECT_FALSE(wellFormed({0xC1, 0xBF}));             // overlong
    EXPECT_FALSE(wellFormed({0xE0, 0x80, 0x80}));       // overlong three-byte
    EXPECT_FALSE(wellFormed({0xED, 0xA0, 0x80}));       // surrogate
    EXPECT_FALSE(wellFormed({0xF4, 0x90, 0x80, 0x80})); // above U+10FFFF
    EXPECT_FALSE(wellFormed({0xF5, 0x80, 0x80, 0x80}));
    EXPECT_FALSE(wellFormed({0xD0}));             // cut at the end
    EXPECT_FALSE(wellFormed({0xE2, 0x82}));       // cut at the end
    EXPECT_FALSE(wellFormed({0xE2, 0x28, 0xAC})); // bad continuation
    EXPECT_FALSE(wellFormed({0x80}));             // lone continuation
}

TEST(Text, NonUtf8TextIsReadAsWindows1251)
{
    // "Привет" in Windows-1251.
    EXPECT_EQ(decode({0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2}), "Привет");
    EXPECT_EQ(decode({'a', 0xA8, 0xB8, 0xB9}), "aЁё№");
    EXPECT_EQ(decode({0x98}), "\xEF\xBF\xBD"); // the unassigned byte
    // Well-formed UTF-8 stays as it is, even where it could also be read as 1251.
    EXPECT_EQ(decode({0xD0, 0x9F, 'x'}), "Пx");
    EXPECT_EQ(decode({'p', 'l', 'a', 'i', 'n'}), "plain");
}

TEST(Text, NameCutInsideItsLastCharacterLosesOnlyThatCharacter)
{
    const auto name = [](std::vector<std::uint8_t> bytes) { return decodeName(bytes); };
    EXPECT_EQ(name({}), "");
    EXPECT_EQ(name({'a', 0xD0, 0x9F, 0xD0}), "aП");
    EXPECT_EQ(name({'a', 0xF0, 0x9F, 0x98}), "a");
    EXPECT_EQ(name({0xD0, 0x9F, 'x'}), "Пx"); // whole, as decodeText keeps it
    // Only a correct start of a character counts as cut; anything else is Windows-1251.
    EXPECT_EQ(name({'a', 0xF0, 0x8F}), "aрЏ");
    EXPECT_EQ(name({'a', 0xF4, 0x90}), "aфђ");
    EXPECT_EQ(name({'a', 0xE2, 0x82, 'b'}), "aв‚b");
    EXPECT_EQ(name({0xCF, 0xF0, 0xE8}), "При");
    // A text the settings file holds is never cut short.
    EXPECT_EQ(decode({'a', 0xD0}), "aР");
}
