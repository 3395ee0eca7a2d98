// Laying out index trees from sorted keys.
//
// Compact nodes (FoxPro) are 512 bytes. A leaf starts with 24 bytes of
// header (attributes, count, siblings, free room, then the bit layout of its
// entries); fixed-width entries of record number, bytes shared with the
// previous key and trailing pad bytes dropped follow from the front, and the
// remaining key bytes are packed from the back. An interior node holds full
// keys, each followed by the big-endian record number and offset of the child
// whose last key it is.
//
// A .ndx page is 512 bytes: a key count, then entries of child page, record
// number and key. A leaf's child pages are 0; an interior node has one child
// more than keys, key k being the last key under child k.
#include "engine/dbf/index/index_writer.h"

#include <algorithm>
#include <cstring>

#include "engine/bytes.h"
#include "engine/dbf/index/index_key.h"
#include "engine/error.h"

namespace tarnel {

namespace {

constexpr size_t kNode = 512;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

unsigned BitsFor(std::uint64_t v)
{
    unsigned bits = 1;
    while (bits < 64 && (v >> bits) != 0) ++bits;
    return bits;
}

struct Child {
    std::uint32_t offset;
    const IndexKey* last;
};

void PutEntry(unsigned char* p, std::uint64_t value, unsigned width)
{
    for (unsigned b = 0; b < width; ++b) p[b] = static_cast<unsigned char>(value >> (8 * b));
}

// One tag's tree appended to out (whose size is a multiple of kNode); returns the root's offset.
std::uint32_t AppendCompactTree(std::string& out, const std::vector<IndexKey>& keys, int keyLength, char pad)
{
    const size_t length = static_cast<size_t>(keyLength);
    std::uint32_t maxRecord = 0;
    for (const IndexKey& k : keys) maxRecord = std::max(maxRecord, k.record);
    const unsigned countBits = BitsFor(length);
    unsigned recordBits = std::max(BitsFor(maxRecord), 8u);
    const unsigned width = (recordBits + 2 * countBits + 7) / 8;
    recordBits = std::min(32u, width * 8 - 2 * countBits);
    const std::uint32_t recordMask = recordBits == 32 ? 0xFFFFFFFFu : (1u << recordBits) - 1;

    // Key i in a leaf that starts at key start: the bytes it shares with the
    // key before it, and its trailing pad bytes.
    auto packing = [&](size_t i, size_t start) {
        const std::string& key = keys[i].key;
        size_t trail = 0;
        while (trail < length && key[length - 1 - trail] == pad) ++trail;
        size_t dup = 0;
        if (i > start)
            while (dup < length - trail && keys[i - 1].key[dup] == key[dup]) ++dup;
        return std::pair{dup, trail};
    };

    // Leaves: as many keys as fit, each leaf compressing from its own first key.
    std::vector<std::pair<size_t, size_t>> leaves;
    for (size_t i = 0; i < keys.size() || leaves.empty();) {
        size_t start = i, used = 0;
        for (; i < keys.size(); ++i) {
            const auto [dup, trail] = packing(i, start);
            size_t cost = width + (length - dup - trail);
            if (used + cost > kNode - 24) break;
            used += cost;
        }
        leaves.emplace_back(start, i);
    }

    const std::uint32_t first = static_cast<std::uint32_t>(out.size());
    out.resize(out.size() + leaves.size() * kNode, '\0');
    std::vector<Child> level;
    for (size_t n = 0; n < leaves.size(); ++n) {
        auto* p = reinterpret_cast<unsigned char*>(out.data()) + first + n * kNode;
        const std::uint32_t self = first + static_cast<std::uint32_t>(n * kNode);
        const auto [start, end] = leaves[n];
        PutLe16(p, leaves.size() == 1 ? 3 : 2);
        PutLe16(p + 2, static_cast<std::uint16_t>(end - start));
        PutLe32(p + 4, n == 0 ? kNone : self - kNode);
        PutLe32(p + 8, n + 1 == leaves.size() ? kNone : self + kNode);
        PutLe32(p + 14, recordMask);
        p[18] = static_cast<unsigned char>((1u << countBits) - 1);
        p[19] = p[18];
        p[20] = static_cast<unsigned char>(recordBits);
        p[21] = static_cast<unsigned char>(countBits);
        p[22] = static_cast<unsigned char>(countBits);
        p[23] = static_cast<unsigned char>(width);
        size_t back = kNode;
        for (size_t i = start; i < end; ++i) {
            const auto [dup, trail] = packing(i, start);
            size_t fresh = length - dup - trail;
            back -= fresh;
            std::memcpy(p + back, keys[i].key.data() + dup, fresh);
            std::uint64_t entry = keys[i].record | (std::uint64_t(dup) << recordBits) |
                                  (std::uint64_t(trail) << (recordBits + countBits));
            PutEntry(p + 24 + (i - start) * width, entry, width);
        }
        PutLe16(p + 12, static_cast<std::uint16_t>(back - 24 - (end - start) * width));
        if (end > start) level.push_back({self, &keys[end - 1]});
    }
    if (leaves.size() == 1) return first;

    // Interior levels up to a single root.
    const size_t perNode = (kNode - 12) / (length + 8);
    while (true) {
        const size_t nodes = (level.size() + perNode - 1) / perNode;
        const std::uint32_t base = static_cast<std::uint32_t>(out.size());
        out.resize(out.size() + nodes * kNode, '\0');
        std::vector<Child> above;
        for (size_t n = 0; n < nodes; ++n) {
            auto* p = reinterpret_cast<unsigned char*>(out.data()) + base + n * kNode;
            const std::uint32_t self = base + static_cast<std::uint32_t>(n * kNode);
            size_t from = n * perNode, to = std::min(level.size(), from + perNode);
            PutLe16(p, nodes == 1 ? 1 : 0);
            PutLe16(p + 2, static_cast<std::uint16_t>(to - from));
            PutLe32(p + 4, n == 0 ? kNone : self - kNode);
            PutLe32(p + 8, n + 1 == nodes ? kNone : self + kNode);
            unsigned char* e = p + 12;
            for (size_t c = from; c < to; ++c, e += length + 8) {
                std::memcpy(e, level[c].last->key.data(), length);
                PutBe32(e + length, level[c].last->record);
                PutBe32(e + length + 4, level[c].offset);
            }
            above.push_back({self, level[to - 1].last});
        }
        if (nodes == 1) return base;
        level = std::move(above);
    }
}

} // namespace

bool KeyLess(const std::string& a, const std::string& b, KeyOrder order)
{
    if (order == KeyOrder::Decimal && a.size() == 12 && b.size() == 12) return CompareMdxNumbers(a, b) < 0;
    if (order == KeyOrder::Double && a.size() == 8 && b.size() == 8) {
        double x, y;
        std::memcpy(&x, a.data(), 8);
        std::memcpy(&y, b.data(), 8);
        return x < y;
    }
    return a < b;
}

std::string BuildCompactIndex(const std::string& directory, const std::vector<std::string>& names,
                              const std::vector<std::string>& headers,
                              const std::vector<std::vector<IndexKey>>& keys, const std::vector<char>& pads)
{
    const bool compound = !directory.empty();
    std::string out = directory;
    std::vector<IndexKey> entries;   // the directory: tag names to header offsets
    for (size_t t = 0; t < headers.size(); ++t) {
        if (headers[t].size() != 2 * kNode) throw EngineError("an index tag header is not 1024 bytes");
        const std::uint32_t at = static_cast<std::uint32_t>(out.size());
        out += headers[t];
        const int keyLength = GetLe16(headers[t].data() + 12);
        for (const IndexKey& k : keys[t])
            if (static_cast<int>(k.key.size()) != keyLength) throw EngineError("a key does not have its tag's length");
        std::uint32_t root = AppendCompactTree(out, keys[t], keyLength, pads[t]);
        PutLe32(out.data() + at, root);
        PutLe32(out.data() + at + 4, 0);   // no free nodes
        if (compound) {
            std::string name = names[t].substr(0, static_cast<size_t>(GetLe16(directory.data() + 12)));
            name.resize(static_cast<size_t>(GetLe16(directory.data() + 12)), ' ');
            entries.push_back({name, at});
        }
    }
    // Where the file's header keeps its end (older writers do), it is moved to the new end.
    auto end = [&] {
        if (GetLe32(out.data() + 8) != 0) PutLe32(out.data() + 8, static_cast<std::uint32_t>(out.size()));
    };
    if (!compound) {
        end();
        return out;
    }
    std::sort(entries.begin(), entries.end(), [](const IndexKey& a, const IndexKey& b) { return a.key < b.key; });
    std::uint32_t root = AppendCompactTree(out, entries, GetLe16(directory.data() + 12), ' ');
    PutLe32(out.data(), root);
    PutLe32(out.data() + 4, 0);
    end();
    return out;
}

std::string BuildNdxIndex(const std::string& header, const std::vector<IndexKey>& keys)
{
    if (header.size() != kNode) throw EngineError("an index header is not 512 bytes");
    const size_t length = GetLe16(header.data() + 12), item = GetLe16(header.data() + 18);
    size_t perNode = (kNode - 4) / item;
    const size_t stored = GetLe16(header.data() + 14);
    if (stored >= 2 && stored < perNode) perNode = stored;
    if (perNode < 3) throw EngineError("an index entry is too long for its page");
    std::string out = header;
    auto page = [&]() {
        out.resize(out.size() + kNode, '\0');
        return static_cast<std::uint32_t>(out.size() / kNode - 1);
    };
    std::vector<Child> level;
    for (size_t i = 0; i < keys.size() || level.empty();) {
        std::uint32_t self = page();
        char* p = out.data() + size_t(self) * kNode;
        size_t n = std::min(perNode, keys.size() - i);
        PutLe32(p, static_cast<std::uint32_t>(n));
        for (size_t k = 0; k < n; ++k) {
            char* e = p + 4 + k * item;
            PutLe32(e + 4, keys[i + k].record);
            std::memcpy(e + 8, keys[i + k].key.data(), std::min(length, keys[i + k].key.size()));
        }
        i += n;
        level.push_back({self, n ? &keys[i - 1] : nullptr});
        if (keys.empty()) break;
    }
    // Interior pages hold one child more than keys, all within the page.
    const size_t children = std::min(perNode + 1, (kNode - 4) / item);
    while (level.size() > 1) {
        std::vector<Child> above;
        for (size_t from = 0; from < level.size(); from += children) {
            size_t to = std::min(level.size(), from + children);
            std::uint32_t self = page();
            char* p = out.data() + size_t(self) * kNode;
            PutLe32(p, static_cast<std::uint32_t>(to - from - 1));
            for (size_t c = from; c < to; ++c) {
                char* e = p + 4 + (c - from) * item;
                PutLe32(e, level[c].offset);
                std::memcpy(e + 8, level[c].last->key.data(), std::min(length, level[c].last->key.size()));
            }
            above.push_back({self, level[to - 1].last});
        }
        level = std::move(above);
    }
    PutLe32(out.data(), level.front().offset);
    PutLe32(out.data() + 4, static_cast<std::uint32_t>(out.size() / kNode));
    return out;
}

std::string NdxHeader(const std::string& expression, int keyLength, bool numeric, bool unique)
{
    if (keyLength <= 0 || keyLength > 100) throw EngineError("an index key of " + std::to_string(keyLength) + " bytes is too long");
    if (expression.size() > 100) throw EngineError("the index expression is too long");
    std::string h(kNode, '\0');
    const int item = (keyLength + 8 + 3) / 4 * 4;
    PutLe16(h.data() + 12, static_cast<std::uint16_t>(keyLength));
    PutLe16(h.data() + 14, static_cast<std::uint16_t>((kNode - 4) / item));
    PutLe16(h.data() + 16, numeric ? 1 : 0);
    PutLe16(h.data() + 18, static_cast<std::uint16_t>(item));
    h[23] = unique ? 1 : 0;
    std::memcpy(h.data() + 24, expression.data(), expression.size());
    return h;
}

std::string CompactTagHeader(const std::string& expression, const std::string& filter, int keyLength, bool compound,
                             bool candidate)
{
    if (keyLength <= 0 || keyLength > 240) throw EngineError("an index key of " + std::to_string(keyLength) + " bytes is too long");
    if (expression.size() + filter.size() + 2 > kNode) throw EngineError("the index expression is too long");
    std::string h(2 * kNode, '\0');
    PutLe16(h.data() + 12, static_cast<std::uint16_t>(keyLength));
    h[14] = static_cast<char>(0x20 | (compound ? 0x40 : 0) | (filter.empty() ? 0 : 0x08) | (candidate ? 0x04 : 0));
    h[15] = 1;
    std::memcpy(h.data() + kNode, expression.data(), expression.size());
    std::memcpy(h.data() + kNode + expression.size() + 1, filter.data(), filter.size());
    PutLe16(h.data() + 510, static_cast<std::uint16_t>(expression.size() + 1));
    PutLe16(h.data() + 506, static_cast<std::uint16_t>(filter.size() + 1));
    return h;
}

std::string CompoundDirectoryHeader()
{
    std::string h = CompactTagHeader("", "", 10, true);
    h[14] = static_cast<char>(0xE0);
    return h;
}

} // namespace tarnel
