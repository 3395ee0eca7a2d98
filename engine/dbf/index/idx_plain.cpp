// The older, uncompressed single-tag .idx of FoxPro.
//
// A 512-byte header (root node's offset, free list, end of file, key length,
// options, key and filter expressions) is followed by 512-byte nodes: the
// node's kind (1 root, 2 leaf, both bits for a lone root leaf), its key count,
// its left and right siblings, then entries of a full key and a big-endian
// pointer (the record number in a leaf, the child's offset in an interior
// node, whose key is the last key under that child).
#include <algorithm>
#include <set>

#include "engine/bytes.h"
#include "engine/dbf/index/index_file.h"
#include "engine/dbf/index/index_writer.h"
#include "engine/error.h"

namespace tarnel {

namespace {

constexpr std::uint64_t kNode = 512;
constexpr unsigned kEntryRoom = 500;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

std::string HeaderText(const unsigned char* p, size_t n)
{
    size_t len = 0;
    while (len < n && p[len] != 0) ++len;
    std::string s(reinterpret_cast<const char*>(p), len);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

class PlainIdx : public IndexFile {
public:
    PlainIdx(const std::string& path, IndexSource source) : IndexFile(path, std::move(source))
    {
        const unsigned char* h = at(0, kNode);
        IndexTag t;
        t.file = name_;
        auto dot = name_.find_last_of('.');
        t.name = dot == std::string::npos ? name_ : name_.substr(0, dot);
        t.keyLength = GetLe16(h + 12);
        if (t.keyLength <= 0 || t.keyLength + 4 > int(kEntryRoom) / 2)
            damaged("its key length of " + std::to_string(t.keyLength) + " does not fit its nodes");
        t.unique = h[14] & 0x01;
        t.expression = HeaderText(h + 16, 220);
        if (h[14] & 0x08) t.filter = HeaderText(h + 236, 220);
        if (t.expression.empty()) damaged("it has no key expression");
        tags_.push_back(std::move(t));
    }

    std::vector<IndexKey> keys(size_t tag) const override
    {
        std::vector<IndexKey> out;
        std::set<std::uint32_t> seen;
        walk(GetLe32(at(0, 4)), 0, static_cast<unsigned>(tags_.at(tag).keyLength), seen, out);
        return out;
    }

private:
    void walk(std::uint32_t node, int depth, unsigned keyLength, std::set<std::uint32_t>& seen,
              std::vector<IndexKey>& out) const
    {
        if (depth > 64 || node % kNode != 0 || !seen.insert(node).second) damaged("its nodes form a loop");
        const unsigned char* p = at(node, kNode);
        const unsigned count = GetLe16(p + 2), entry = keyLength + 4;
        if (count * entry > kEntryRoom) damaged("a node holds a bad key count");
        const bool leaf = GetLe16(p) & 0x02;
        if (!leaf && count == 0) damaged("an interior node holds no keys");
        for (unsigned k = 0; k < count; ++k) {
            const unsigned char* e = p + 12 + k * entry;
            const std::uint32_t pointer = GetBe32(e + keyLength);
            if (leaf)
                out.push_back({std::string(reinterpret_cast<const char*>(e), keyLength), pointer});
            else
                walk(pointer, depth + 1, keyLength, seen, out);
        }
    }
};

} // namespace

bool IsCompactIdx(const std::string& bytes)
{
    return bytes.size() > 14 && (static_cast<unsigned char>(bytes[14]) & 0x20);
}

std::unique_ptr<IndexFile> OpenPlainIdx(const std::string& path, IndexSource source)
{
    return std::make_unique<PlainIdx>(path, std::move(source));
}

std::string BuildPlainIdx(const std::string& header, const std::vector<IndexKey>& keys)
{
    if (header.size() < kNode) throw EngineError("An index header is too short.");
    const unsigned keyLength = GetLe16(header.data() + 12), entry = keyLength + 4;
    const size_t perNode = kEntryRoom / entry;
    std::string out = header.substr(0, kNode);

    // One node: entries of key and pointer, siblings linked within its level.
    struct Entry {
        const std::string* key;
        std::uint32_t pointer;
    };
    auto writeLevel = [&](const std::vector<Entry>& entries, bool leaf, std::vector<Entry>& above) {
        const size_t nodes = std::max<size_t>(1, (entries.size() + perNode - 1) / perNode);
        const std::uint32_t first = static_cast<std::uint32_t>(out.size());
        const bool root = nodes == 1;
        for (size_t n = 0; n < nodes; ++n) {
            std::string node(kNode, '\0');
            auto* p = reinterpret_cast<unsigned char*>(node.data());
            const size_t from = n * perNode, to = std::min(entries.size(), from + perNode);
            PutLe16(p, static_cast<std::uint16_t>((leaf ? 2 : 0) | (root ? 1 : 0)));
            PutLe16(p + 2, static_cast<std::uint16_t>(to - from));
            PutLe32(p + 4, n == 0 ? kNone : first + static_cast<std::uint32_t>((n - 1) * kNode));
            PutLe32(p + 8, n + 1 == nodes ? kNone : first + static_cast<std::uint32_t>((n + 1) * kNode));
            for (size_t k = from; k < to; ++k) {
                unsigned char* e = p + 12 + (k - from) * entry;
                std::copy(entries[k].key->begin(), entries[k].key->end(), e);
                PutBe32(e + keyLength, entries[k].pointer);
            }
            if (to > from) above.push_back({entries[to - 1].key, first + static_cast<std::uint32_t>(n * kNode)});
            out += node;
        }
        return root;
    };
    std::vector<Entry> level;
    for (const IndexKey& k : keys) {
        if (k.key.size() != keyLength) throw EngineError("A key does not have the index's key length.");
        level.push_back({&k.key, k.record});
    }
    bool leaf = true;
    while (true) {
        std::vector<Entry> above;
        const std::uint32_t start = static_cast<std::uint32_t>(out.size());
        if (writeLevel(level, leaf, above)) {
            PutLe32(out.data(), start);
            break;
        }
        level = std::move(above);
        leaf = false;
    }
    PutLe32(out.data() + 4, kNone);
    PutLe32(out.data() + 8, static_cast<std::uint32_t>(out.size()));
    return out;
}

} // namespace tarnel

namespace tarnel {

std::string PlainIdxHeader(const std::string& expression, const std::string& filter, int keyLength, bool unique)
{
    if (expression.size() >= 220 || filter.size() >= 220) throw EngineError("An index expression is too long: " + expression);
    std::string h(kNode, '\0');
    PutLe16(h.data() + 12, static_cast<std::uint16_t>(keyLength));
    h[14] = static_cast<char>((unique ? 0x01 : 0) | (filter.empty() ? 0 : 0x08));
    h[15] = 1;
    std::copy(expression.begin(), expression.end(), h.begin() + 16);
    std::copy(filter.begin(), filter.end(), h.begin() + 236);
    return h;
}

} // namespace tarnel
