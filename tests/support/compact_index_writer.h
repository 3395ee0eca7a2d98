#pragma once
// Writes a FoxPro compact single-tag index (.idx) from sorted keys, for the
// tests and benchmarks that need an indexed table larger than the fixtures.
// Leaves store every key whole (no shared or trailing bytes dropped), which
// the compact form allows; interior nodes hold the last key of each child.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/bytes.h"

namespace tarnel::test {

struct CompactEntry {
    std::string key;          // keyLength bytes
    std::uint32_t record = 0; // 1-based
};

// entries must be sorted by key, then record.
inline void WriteCompactIndex(const std::string& path, const std::string& expression, int keyLength,
                              const std::vector<CompactEntry>& entries)
{
    constexpr size_t kNode = 512;
    const size_t width = static_cast<size_t>(keyLength);
    std::string file(2 * kNode, '\0');
    struct Child { std::string key; std::uint32_t record; std::uint32_t offset; };
    // A new node of a level, linked to the one before it on that level.
    auto node = [&](std::uint16_t attributes, size_t count, const std::vector<Child>& siblings) {
        file.append(kNode, '\0');
        const size_t at = file.size() - kNode;
        char* p = file.data() + at;
        PutLe16(p, attributes);
        PutLe16(p + 2, static_cast<std::uint16_t>(count));
        PutLe32(p + 4, siblings.empty() ? 0xFFFFFFFFu : siblings.back().offset);
        PutLe32(p + 8, 0xFFFFFFFFu);
        if (!siblings.empty()) PutLe32(file.data() + siblings.back().offset + 8, static_cast<std::uint32_t>(at));
        return at;
    };
    std::vector<Child> level;

    const size_t perLeaf = (kNode - 24) / (4 + width);
    for (size_t first = 0; first < entries.size() || (first == 0 && level.empty()); first += perLeaf) {
        const size_t count = std::min(perLeaf, entries.size() - first);
        const size_t at = node(2, count, level);
        char* p = file.data() + at;
        PutLe16(p + 12, static_cast<std::uint16_t>(kNode - 24 - count * (4 + width)));
        PutLe32(p + 14, 0x00FFFFFFu);
        p[18] = 0x0F; p[19] = 0x0F; p[20] = 24; p[21] = 4; p[22] = 4; p[23] = 4;
        size_t end = kNode;
        for (size_t k = 0; k < count; ++k) {
            const CompactEntry& e = entries[first + k];
            if (e.key.size() != width) throw std::logic_error("a key of the wrong length");
            PutLe32(p + 24 + 4 * k, e.record & 0x00FFFFFFu);
            end -= width;
            e.key.copy(p + end, width);
        }
        const CompactEntry last = count ? entries[first + count - 1] : CompactEntry{std::string(width, ' '), 0};
        level.push_back({last.key, last.record, static_cast<std::uint32_t>(at)});
        if (entries.empty()) break;
    }
    const size_t perNode = (kNode - 12) / (width + 8);
    while (level.size() > 1) {
        std::vector<Child> up;
        for (size_t first = 0; first < level.size(); first += perNode) {
            const size_t count = std::min(perNode, level.size() - first);
            const size_t at = node(0, count, up);
            char* p = file.data() + at;
            for (size_t k = 0; k < count; ++k) {
                const Child& c = level[first + k];
                char* e = p + 12 + k * (width + 8);
                c.key.copy(e, width);
                PutBe32(e + width, c.record);
                PutBe32(e + width + 4, c.offset);
            }
            up.push_back({level[first + count - 1].key, level[first + count - 1].record, static_cast<std::uint32_t>(at)});
        }
        level = std::move(up);
    }
    char* root = file.data() + level.front().offset;
    PutLe16(root, static_cast<std::uint16_t>(GetLe16(root) | 1));

    char* h = file.data();
    PutLe32(h, level.front().offset);
    PutLe32(h + 4, 0xFFFFFFFFu);
    PutLe16(h + 12, static_cast<std::uint16_t>(keyLength));
    h[14] = 0x20;   // compact
    h[15] = 0x01;
    PutLe16(h + 510, static_cast<std::uint16_t>(expression.size() + 1));
    expression.copy(h + kNode, kNode - 1);

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(file.data(), static_cast<std::streamsize>(file.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

} // namespace tarnel::test
