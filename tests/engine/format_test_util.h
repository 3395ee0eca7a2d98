#pragma once
// Small helpers for the tests of the table formats.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "engine/dataset.h"

namespace tarnel::test {

inline FieldDef Def(const std::string& name, TFieldType type, int size = 0, int decimals = 0)
{
    FieldDef f;
    f.name = name;
    f.type = type;
    f.size = size;
    f.decimals = decimals;
    return f;
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Copies a file (writable, whatever the source's permissions).
inline void CopyFile(const std::string& from, const std::string& to)
{
    WriteFile(to, ReadFile(from));
}

// Overwrites bytes of a file in place.
inline void Patch(const std::string& path, std::int64_t offset, const std::string& bytes)
{
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(offset);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline void PatchU16(const std::string& path, std::int64_t offset, unsigned v)
{
    Patch(path, offset, std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)});
}

inline void PatchU32(const std::string& path, std::int64_t offset, std::uint32_t v)
{
    std::string b(4, '\0');
    for (int k = 0; k < 4; ++k) b[static_cast<size_t>(k)] = static_cast<char>((v >> (8 * k)) & 0xFF);
    Patch(path, offset, b);
}

inline void Truncate(const std::string& path, std::uintmax_t size) { std::filesystem::resize_file(path, size); }

} // namespace tarnel::test
