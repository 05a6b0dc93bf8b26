#pragma once
// Byte patterns for the wire tests: every byte of a block gets a value that
// differs from its neighbours' and is never zero, so a field read one byte
// off, or a text that stops at the wrong place, shows at once.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrix::test {

inline uint8_t Pat(size_t i) {
    return static_cast<uint8_t>(1 + (i * 37) % 251);
}

inline std::vector<uint8_t> PatternBytes(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = Pat(i);
    return v;
}

// Little-endian values of the pattern, computed here rather than through
// the library's own loaders.
inline uint16_t PatU16(size_t o) {
    return static_cast<uint16_t>(Pat(o) + 256 * Pat(o + 1));
}
inline uint32_t PatU32(size_t o) {
    return Pat(o) + 256u * Pat(o + 1) + 65536u * Pat(o + 2) + 16777216u * Pat(o + 3);
}
inline std::string PatText(size_t o, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(Pat(o + i)));
    return s;
}

// "\xE4\xB8\xAD" and its neighbours: three-byte characters of the Chinese set.
inline const std::string kZhong = "\xE4\xB8\xAD";  // U+4E2D
inline const std::string kWen = "\xE6\x96\x87";    // U+6587

}  // namespace kestrix::test
