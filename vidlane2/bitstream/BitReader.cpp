#include "bitstream/BitReader.h"

namespace vidlane2 {

namespace {

// Writes the unescaped payload to out, which has room for size bytes; returns its length.
std::size_t unescapeInto(const std::uint8_t* data, std::size_t size, std::uint8_t* out)
{
    std::size_t length = 0;
    unsigned zeros = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (zeros >= 2 && data[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = data[i] == 0 ? zeros + 1 : 0;
        out[length++] = data[i];
    }
    return length;
}

} // namespace

Rbsp::Rbsp(const std::uint8_t* data, std::size_t size)
{
    if (size <= m_small.size()) {
        m_size = unescapeInto(data, size, m_small.data());
        return;
    }
    m_large.resize(size);
    m_size = unescapeInto(data, size, m_large.data());
    if (m_size == 0)
        m_large.clear(); // nothing left: the (empty) small buffer serves
}

BitReader::BitReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_sizeBits(size * 8) {}

std::uint32_t BitReader::bits(unsigned count)
{
    if (m_failed || count > 32 || m_sizeBits - m_position < count) {
        m_failed = true;
        return 0;
    }
    std::uint32_t value = 0;
    for (unsigned i = 0; i < count; ++i, ++m_position)
        value = (value << 1) | ((m_data[m_position / 8] >> (7 - m_position % 8)) & 1u);
    return value;
}

std::uint32_t BitReader::ue()
{
    unsigned zeros = 0;
    while (!m_failed && bits(1) == 0)
        if (++zeros > 31)
            m_failed = true;
    if (m_failed)
        return 0;
    // At most 2^32 - 2: fits, since zeros <= 31.
    return static_cast<std::uint32_t>((std::uint64_t{1} << zeros) - 1 + bits(zeros));
}

std::int32_t BitReader::se()
{
    const std::uint32_t code = ue();
    const std::int64_t magnitude = (static_cast<std::int64_t>(code) + 1) / 2;
    return static_cast<std::int32_t>(code % 2 ? magnitude : -magnitude);
}

void BitReader::skip(std::size_t count)
{
    if (m_failed || m_sizeBits - m_position < count) {
        m_failed = true;
        return;
    }
    m_position += count;
}

} // namespace vidlane2
