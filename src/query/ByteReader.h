#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vantry::query {

using Bytes = std::span<const std::uint8_t>;

// Sequential reads over untrusted bytes. The data behaves as if it were followed by zeros without
// end, as the zero-filled receive buffer of a datagram is: reads past the end give 0, a string that
// runs to the end stops there, and the position may move past the end without harm.
class ByteReader
{
public:
    explicit ByteReader(Bytes data, std::size_t position = 0);

    std::uint8_t u8();
    std::int32_t i32le();
    std::array<std::uint8_t, 4> bytes4();
    // The bytes up to the next NUL or the end of the data; the position moves past the NUL.
    Bytes cstring();
    void skip(std::size_t count);

    std::size_t position() const { return m_position; }
    bool atEnd() const { return m_position >= m_data.size(); }

    // Byte `index` of `data`, or 0 past its end.
    static std::uint8_t byteAt(Bytes data, std::size_t index);

private:
    Bytes m_data;
    std::size_t m_position;
};

} // namespace vantry::query
