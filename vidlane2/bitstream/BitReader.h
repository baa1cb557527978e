#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vidlane2 {

// The payload of a NAL unit with its emulation-prevention bytes (the 03 of
// 00 00 03) removed: the bits the syntax describes. Held in place up to 1 KiB
// (any usual parameter set), so that the decoder reading one in every packet
// allocates nothing; larger ones on the heap.
class Rbsp {
public:
    Rbsp(const std::uint8_t* data, std::size_t size);
    Rbsp(const Rbsp&) = delete;
    Rbsp& operator=(const Rbsp&) = delete;

    const std::uint8_t* data() const { return m_large.empty() ? m_small.data() : m_large.data(); }
    std::size_t size() const { return m_size; }

private:
    std::array<std::uint8_t, 1024> m_small;
    std::vector<std::uint8_t> m_large;
    std::size_t m_size = 0;
};

// Reads bits, most significant first. Reading past the end, or an Exp-Golomb
// code longer than 32 bits, sets failed() and yields 0 from then on, so a
// parser may read on and check once.
class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size);

    std::uint32_t bits(unsigned count); // count <= 32
    bool flag() { return bits(1) != 0; }
    std::uint32_t ue();
    std::int32_t se();
    void skip(std::size_t count);
    void fail() { m_failed = true; } // for values out of their range
    bool failed() const { return m_failed; }

private:
    const std::uint8_t* m_data;
    std::size_t m_sizeBits;
    std::size_t m_position = 0;
    bool m_failed = false;
};

} // namespace vidlane2
