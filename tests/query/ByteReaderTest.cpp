#include "query/ByteReader.h"

#include <gtest/gtest.h>
#include <vector>

using namespace vantry::query;

TEST(ByteReader, ReadsPastTheEndGiveZeros)
{
    const std::vector<std::uint8_t> data = {0x01, 0x02, 0x03};
    ByteReader in(data);
    EXPECT_EQ(in.u8(), 1);
    // Two bytes there, two past the end.
    EXPECT_EQ(in.i32le(), 0x0302);
    EXPECT_TRUE(in.atEnd());
    EXPECT_EQ(in.u8(), 0);
    EXPECT_EQ(in.i32le(), 0);
    EXPECT_TRUE(in.cstring().empty());
    EXPECT_EQ(ByteReader::byteAt(data, 2), 3);
    EXPECT_EQ(ByteReader::byteAt(data, 3), 0);
    EXPECT_EQ(ByteReader::byteAt({}, 0), 0);
    ByteReader far(data, 1000);
    EXPECT_EQ(far.u8(), 0);
    far.skip(static_cast<std::size_t>(-1)); // saturates instead of wrapping to the start
    EXPECT_TRUE(far.atEnd());
    EXPECT_EQ(far.u8(), 0);
}

TEST(ByteReader, StringWithoutNulStopsAtTheEnd)
{
    const std::vector<std::uint8_t> data = {'a', 'b', 0, 'c', 'd'};
    ByteReader in(data);
    const Bytes ab = in.cstring();
    ASSERT_EQ(ab.size(), 2u);
    EXPECT_EQ(ab[1], 'b');
    EXPECT_EQ(in.position(), 3u);
    const Bytes cd = in.cstring();
    ASSERT_EQ(cd.size(), 2u);
    EXPECT_EQ(cd[0], 'c');
    EXPECT_TRUE(in.atEnd());
    EXPECT_EQ(in.u8(), 0);
}

TEST(ByteReader, Int32IsLittleEndianSigned)
{
    const std::vector<std::uint8_t> data = {0xFF, 0xFF, 0xFF, 0xFF, 0x0C, 0x00, 0x00, 0x80};
    ByteReader in(data);
    EXPECT_EQ(in.i32le(), -1);
    EXPECT_EQ(in.i32le(), static_cast<std::int32_t>(0x8000000C));
}
