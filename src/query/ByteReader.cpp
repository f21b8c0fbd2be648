#include "ByteReader.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace vantry::query {

namespace {

std::size_t saturatingAdd(std::size_t a, std::size_t b)
{
    return b > std::numeric_limits<std::size_t>::max() - a ? std::numeric_limits<std::size_t>::max() : a + b;
}

} // namespace

ByteReader::ByteReader(Bytes data, std::size_t position) : m_data(data), m_position(position) {}

std::uint8_t ByteReader::byteAt(Bytes data, std::size_t index)
{
    return index < data.size() ? data[index] : 0;
}

std::uint8_t ByteReader::u8()
{
    const std::uint8_t value = byteAt(m_data, m_position);
    skip(1);
    return value;
}

std::array<std::uint8_t, 4> ByteReader::bytes4()
{
    std::array<std::uint8_t, 4> out{};
    if (m_position < m_data.size()) {
        const std::size_t available = std::min<std::size_t>(out.size(), m_data.size() - m_position);
        std::memcpy(out.data(), m_data.data() + m_position, available);
    }
    skip(out.size());
    return out;
}

std::int32_t ByteReader::i32le()
{
    const std::array<std::uint8_t, 4> b = bytes4();
    const std::uint32_t u = std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
                            std::uint32_t{b[3]} << 24;
    std::int32_t value = 0;
    std::memcpy(&value, &u, sizeof value);
    return value;
}

Bytes ByteReader::cstring()
{
    if (m_position >= m_data.size()) {
        skip(1); // the NUL that the zeros past the end provide
        return {};
    }
    const Bytes rest = m_data.subspan(m_position);
    const void* nul = std::memchr(rest.data(), 0, rest.size());
    const std::size_t length =
        nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - rest.data()) : rest.size();
    skip(length + 1);
    return rest.first(length);
}

void ByteReader::skip(std::size_t count)
{
    m_position = saturatingAdd(m_position, count);
}

} // namespace vantry::query
