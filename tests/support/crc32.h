#pragma once
// CRC-32 (the zlib one) bit by bit rather than by table: a second witness to
// the run record reader's own, for the tests and the fuzzer.

#include <cstddef>
#include <cstdint>

namespace nuvalo::test {

inline std::uint32_t crc32(const std::uint8_t* bytes, std::size_t length) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < length; ++i) {
        c ^= bytes[i];
        for (int k = 0; k < 8; ++k) {
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
        }
    }
    return ~c;
}

} // namespace nuvalo::test
