// FoxPro compact indexes: the compound .cdx (a directory of tags, itself a
// compact index keyed by tag name) and the compact single .idx.
//
// Nodes are 512 bytes. An interior node holds full keys, each followed by a
// big-endian record number and child offset. A leaf packs its keys: fixed-
// width entries from the front (record number, count of bytes shared with the
// previous key, count of trailing blanks dropped) and the remaining key bytes
// from the back of the node.
#include <set>

#include "engine/bytes.h"
#include "engine/dbf/index/index_file.h"

namespace tarnel {

namespace {

constexpr std::uint64_t kNode = 512;

std::string CText(const unsigned char* p, size_t n)
{
    size_t len = 0;
    while (len < n && p[len] != 0) ++len;
    return std::string(reinterpret_cast<const char*>(p), len);
}

std::string Trimmed(std::string s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
    return s;
}

class CompactIndex : public IndexFile {
public:
    CompactIndex(const std::string& path, IndexSource source, bool compound)
        : IndexFile(path, std::move(source))
    {
        if (size() < 2 * kNode) damaged("the file is shorter than its header");
        if (!compound) {
            tags_.push_back(readTagHeader(0, Stem()));
            headers_.push_back(0);
            return;
        }
        // The tag directory: keys are tag names, record numbers the offsets of their headers.
        const unsigned char* h = at(0, kNode);
        if (!(h[14] & 0x20)) damaged("it is not a compact index");
        Walk(GetLe32(h), GetLe16(h + 12), ' ', nullptr, [&](const std::string& key, std::uint32_t offset) {
            if (tags_.size() >= 1000) damaged("it holds too many tags");
            tags_.push_back(readTagHeader(offset, Trimmed(key)));
            headers_.push_back(offset);
            return true;
        });
    }

    std::vector<IndexKey> keys(size_t tag) const override
    {
        const unsigned char* h = at(headers_.at(tag), kNode);
        std::vector<IndexKey> out;
        char pad = tags_[tag].keyType == 'C' ? ' ' : '\0';
        Walk(GetLe32(h), GetLe16(h + 12), pad, nullptr, [&](const std::string& key, std::uint32_t record) {
            out.push_back({key, record});
            return true;
        });
        return out;
    }

    void seek(size_t tag, const std::string& low, const KeyVisit& visit) const override
    {
        const unsigned char* h = at(headers_.at(tag), kNode);
        char pad = tags_[tag].keyType == 'C' ? ' ' : '\0';
        IndexKey found;
        Walk(GetLe32(h), GetLe16(h + 12), pad, &low, [&](const std::string& key, std::uint32_t record) {
            if (key < low) return true;
            found.key = key;
            found.record = record;
            return visit(found);
        });
    }

private:
    std::string Stem() const
    {
        auto dot = name_.find_last_of('.');
        return dot == std::string::npos ? name_ : name_.substr(0, dot);
    }

    IndexTag readTagHeader(std::uint64_t offset, std::string name) const
    {
        const unsigned char* h = at(offset, 2 * kNode);
        IndexTag t;
        t.file = name_;
        t.name = std::move(name);
        t.keyLength = GetLe16(h + 12);
        if (t.keyLength <= 0 || t.keyLength > 240) damaged("tag " + t.name + " has a key length of " + std::to_string(t.keyLength));
        std::uint8_t options = h[14];
        if (!(options & 0x20)) damaged("tag " + t.name + " is not in compact form");
        t.unique = options & 0x01;
        t.candidate = options & 0x04;
        t.descending = GetLe16(h + 502) != 0;
        unsigned forLength = GetLe16(h + 506), keyLength = GetLe16(h + 510);
        if (keyLength + forLength > kNode) damaged("tag " + t.name + " has expressions longer than their room");
        t.expression = Trimmed(CText(h + kNode, keyLength));
        if (options & 0x08) t.filter = Trimmed(CText(h + kNode + keyLength, forLength));
        if (t.expression.empty()) damaged("tag " + t.name + " has no key expression");
        t.keyType = 'C';
        return t;
    }

    // Visits keys in index order from the first leaf, or with low from the
    // leaf that holds the first key not below low, until visit returns false.
    // An interior node's key is the last key of the child beside it.
    template <typename Visit>
    void Walk(std::uint32_t root, int keyLength, char pad, const std::string* low, Visit visit) const
    {
        if (keyLength <= 0 || keyLength > 240) damaged("a key length of " + std::to_string(keyLength));
        const size_t width = static_cast<size_t>(keyLength);
        std::uint64_t node = root;
        std::set<std::uint64_t> seen;
        for (int depth = 0;; ++depth) {
            if (depth > 64 || !seen.insert(node).second) damaged("its nodes form a loop");
            const unsigned char* p = at(node, kNode);
            std::uint16_t attributes = GetLe16(p);
            if (attributes & 0x02) break;
            unsigned count = GetLe16(p + 2);
            if (count == 0 || 12 + count * std::uint64_t(keyLength + 8) > kNode) damaged("an interior node holds a bad key count");
            unsigned child = 0;
            if (low) {
                auto entryKey = [&](unsigned k) { return reinterpret_cast<const char*>(p + 12 + k * (width + 8)); };
                while (child < count && low->compare(0, width, entryKey(child), width) > 0) ++child;
                if (child == count) return;   // every key is below low
            }
            node = GetBe32(p + 12 + child * (width + 8) + width + 4);
        }
        seen.clear();
        std::string previous(width, pad);
        while (true) {
            if (!seen.insert(node).second) damaged("its leaves form a loop");
            const unsigned char* p = at(node, kNode);
            if (!(GetLe16(p) & 0x02)) damaged("a leaf chain reaches an interior node");
            if (!readLeaf(p, keyLength, pad, previous, visit)) return;
            std::uint32_t right = GetLe32(p + 8);
            if (right == 0xFFFFFFFFu) break;
            node = right;
        }
    }

    // False when visit asked to stop.
    template <typename Visit>
    bool readLeaf(const unsigned char* p, int keyLength, char pad, std::string& previous, Visit& visit) const
    {
        unsigned count = GetLe16(p + 2);
        std::uint32_t recordMask = GetLe32(p + 14);
        unsigned dupBits = p[21], trailBits = p[22], recordBits = p[20], width = p[23];
        if (width == 0 || width > 8 || recordBits + dupBits + trailBits > width * 8u || recordBits > 32 ||
            dupBits > 8 || trailBits > 8)
            damaged("a leaf has a bad entry layout");
        if (24 + std::uint64_t(count) * width > kNode) damaged("a leaf holds a bad key count");
        std::uint64_t dupMask = (1u << dupBits) - 1, trailMask = (1u << trailBits) - 1;
        size_t end = kNode;   // key bytes are packed from the back
        std::string key;
        for (unsigned k = 0; k < count; ++k) {
            std::uint64_t entry = 0;
            for (unsigned b = 0; b < width; ++b) entry |= std::uint64_t(p[24 + k * width + b]) << (8 * b);
            std::uint32_t record = static_cast<std::uint32_t>(entry & recordMask);
            unsigned dup = static_cast<unsigned>((entry >> recordBits) & dupMask);
            unsigned trail = static_cast<unsigned>((entry >> (recordBits + dupBits)) & trailMask);
            if (dup + trail > unsigned(keyLength)) damaged("a leaf key is longer than the tag's keys");
            size_t fresh = keyLength - dup - trail;
            if (end < 24 + count * width + fresh) damaged("a leaf's keys overrun its entries");
            end -= fresh;
            key.assign(previous, 0, dup);
            key.append(reinterpret_cast<const char*>(p + end), fresh);
            key.append(trail, pad);
            if (!visit(key, record)) return false;
            previous = key;
        }
        return true;
    }
};

} // namespace

std::unique_ptr<IndexFile> OpenCompactIndex(const std::string& path, IndexSource source, bool compound)
{
    return std::make_unique<CompactIndex>(path, std::move(source), compound);
}

} // namespace tarnel
