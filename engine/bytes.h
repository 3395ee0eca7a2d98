#pragma once
// Byte order of the numbers the table formats store: little-endian (dBASE
// headers, FoxPro memo pointers, Paradox) and big-endian (FoxPro memo blocks,
// dBASE 7 integers). Pointers may be unaligned.
#include <cstdint>

namespace tarnel {

inline std::uint16_t GetLe16(const void* at)
{
    const auto* p = static_cast<const unsigned char*>(at);
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t GetLe32(const void* at)
{
    const auto* p = static_cast<const unsigned char*>(at);
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// A signed 32-bit little-endian number.
inline std::int32_t GetLeI32(const void* at) { return static_cast<std::int32_t>(GetLe32(at)); }

inline std::uint32_t GetBe32(const void* at)
{
    const auto* p = static_cast<const unsigned char*>(at);
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

inline void PutLe16(void* at, std::uint16_t v)
{
    auto* p = static_cast<unsigned char*>(at);
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

inline void PutLe32(void* at, std::uint32_t v)
{
    auto* p = static_cast<unsigned char*>(at);
    for (int k = 0; k < 4; ++k) p[k] = static_cast<unsigned char>(v >> (8 * k));
}

inline void PutBe32(void* at, std::uint32_t v)
{
    auto* p = static_cast<unsigned char*>(at);
    for (int k = 0; k < 4; ++k) p[k] = static_cast<unsigned char>(v >> (24 - 8 * k));
}

} // namespace tarnel
