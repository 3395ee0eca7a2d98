// Laying out .mdx files.
#include "engine/dbf/index/mdx_writer.h"

#include <algorithm>
#include <cstring>

#include "engine/bytes.h"
#include "engine/error.h"

namespace tarnel {

namespace {

constexpr size_t kPage = 512;
constexpr size_t kFileHeader = 544;   // then the tag table, 32 bytes an entry
constexpr size_t kFirstTagPage = 4;

unsigned ItemLength(int keyLength)
{
    return (static_cast<unsigned>(keyLength) + 4 + 3) / 4 * 4;
}

// Keys a node holds at most: the header's figure where it is sane, with
// room left for the pointer after the last key.
unsigned KeysPerNode(const std::string& header, unsigned block)
{
    const unsigned item = GetLe16(header.data() + 18);
    if (item == 0 || item > block / 2) throw EngineError("an index tag's entry length does not fit its blocks");
    const unsigned most = (block - 8) / item - 1;
    if (most < 2) throw EngineError("an index tag's entries are too long for its blocks");
    const unsigned stated = GetLe16(header.data() + 14);
    return stated >= 2 && stated <= most ? stated : most;
}

struct Child {
    std::uint32_t page;
    const IndexKey* last;
};

std::uint32_t AppendTree(std::string& out, const std::vector<IndexKey>& keys, const std::string& header, unsigned block)
{
    const size_t keyLength = GetLe16(header.data() + 12);
    const unsigned item = GetLe16(header.data() + 18), perNode = KeysPerNode(header, block);
    if (keyLength + 4 > item) throw EngineError("an index tag's keys do not fit its entries");
    auto node = [&]() {
        const size_t at = out.size();
        out.resize(at + block, '\0');
        return at;
    };
    auto entry = [&](size_t at, size_t k) { return out.data() + at + 8 + k * item; };
    if (keys.empty()) return static_cast<std::uint32_t>(node() / kPage);   // an empty leaf
    // Nodes of a level share its entries evenly, so that none is left nearly empty.
    std::vector<Child> level;
    const size_t leaves = (keys.size() + perNode - 1) / perNode;
    for (size_t n = 0; n < leaves; ++n) {
        const size_t from = keys.size() * n / leaves, to = keys.size() * (n + 1) / leaves;
        const size_t at = node();
        PutLe32(out.data() + at, static_cast<std::uint32_t>(to - from));
        for (size_t k = from; k < to; ++k) {
            if (keys[k].key.size() != keyLength) throw EngineError("a key does not have its tag's length");
            PutLe32(entry(at, k - from), keys[k].record);
            std::memcpy(entry(at, k - from) + 4, keys[k].key.data(), keyLength);
        }
        level.push_back({static_cast<std::uint32_t>(at / kPage), &keys[to - 1]});
    }
    while (level.size() > 1) {
        std::vector<Child> above;
        const size_t nodes = (level.size() + perNode) / (perNode + 1);
        for (size_t n = 0; n < nodes; ++n) {
            const size_t from = level.size() * n / nodes, to = level.size() * (n + 1) / nodes;
            const size_t at = node();
            PutLe32(out.data() + at, static_cast<std::uint32_t>(to - from - 1));
            for (size_t c = from; c < to; ++c) {
                PutLe32(entry(at, c - from), level[c].page);
                if (c + 1 < to) std::memcpy(entry(at, c - from) + 4, level[c].last->key.data(), keyLength);
            }
            above.push_back({static_cast<std::uint32_t>(at / kPage), level[to - 1].last});
        }
        level = std::move(above);
    }
    return level.front().page;
}

} // namespace

MdxTagLayout MdxTagParts(const std::string& bytes, size_t tag)
{
    const size_t at = kFileHeader + 32 * tag;
    if (bytes.size() < at + 32) throw EngineError("the index's tag table ends early");
    MdxTagLayout out;
    out.entry = bytes.substr(at, 32);
    const std::uint64_t header = std::uint64_t(GetLe32(bytes.data() + at)) * kPage;
    if (header > bytes.size() || bytes.size() - header < kPage) throw EngineError("an index tag's header lies past the file's end");
    out.header = bytes.substr(static_cast<size_t>(header), kPage);
    return out;
}

std::string BuildMdxIndex(const std::string& fileHeader, const std::vector<MdxTagLayout>& tags)
{
    if (fileHeader.size() < kFileHeader) throw EngineError("the index's header is short");
    const unsigned block = GetLe16(fileHeader.data() + 22);
    if (block < kPage || block % kPage) throw EngineError("the index's block size is not a multiple of 512");
    std::string out = fileHeader.substr(0, kFileHeader);
    for (const MdxTagLayout& t : tags) {
        if (t.entry.size() != 32 || t.header.size() != kPage) throw EngineError("an index tag's entry or header is not whole");
        out += t.entry;
    }
    const size_t start = std::max(kFirstTagPage * kPage, out.size());
    out.resize((start + block - 1) / block * block, '\0');
    for (size_t k = 0; k < tags.size(); ++k) {
        const size_t header = out.size();
        PutLe32(out.data() + kFileHeader + 32 * k, static_cast<std::uint32_t>(header / kPage));
        out += tags[k].header;
        out.resize(header + block, '\0');
        const std::uint32_t root = AppendTree(out, tags[k].keys, tags[k].header, block);
        PutLe32(out.data() + header, root);
    }
    PutLe16(out.data() + 28, static_cast<std::uint16_t>(tags.size()));
    PutLe32(out.data() + 32, static_cast<std::uint32_t>(out.size() / kPage));   // pages in the file
    PutLe32(out.data() + 36, 0);   // no free list
    PutLe32(out.data() + 40, 0);
    return out;
}

void SetMdxKeyLength(std::string& header, int keyLength, unsigned blockSize)
{
    const unsigned item = ItemLength(keyLength);
    PutLe16(header.data() + 12, static_cast<std::uint16_t>(keyLength));
    PutLe16(header.data() + 18, static_cast<std::uint16_t>(item));
    PutLe16(header.data() + 14, static_cast<std::uint16_t>((blockSize - 8) / item - 1));
}

std::string MdxFileHeader(const std::string& stem, unsigned blockSize)
{
    std::string out(kFileHeader, '\0');
    out[0] = 2;
    out.replace(4, std::min<size_t>(stem.size(), 15), stem.substr(0, 15));
    PutLe16(out.data() + 20, static_cast<std::uint16_t>(blockSize / kPage));
    PutLe16(out.data() + 22, static_cast<std::uint16_t>(blockSize));
    out[24] = 1;      // the production index
    out[25] = 48;     // entries in the tag table
    out[26] = 32;     // bytes an entry
    return out;
}

MdxTagLayout NewMdxTag(const std::string& name, const std::string& expression, const std::string& filter, char keyType,
                       int keyLength, bool unique, bool descending, unsigned blockSize)
{
    if (expression.size() > 220 || filter.size() > 220) throw EngineError("An index expression is longer than 220 characters.");
    MdxTagLayout t;
    t.entry.assign(32, '\0');
    t.entry.replace(4, std::min<size_t>(name.size(), 10), name.substr(0, 10));
    t.entry[19] = 2;
    t.entry[20] = keyType;
    t.header.assign(kPage, '\0');
    t.header[8] = static_cast<char>((descending ? 0x08 : 0) | (unique ? 0x40 : 0));
    t.header[9] = keyType;
    SetMdxKeyLength(t.header, keyLength, blockSize);
    t.header[23] = unique ? 1 : 0;
    t.header.replace(24, expression.size(), expression);
    if (!filter.empty()) {
        t.header[0xF6] = 1;
        t.header.replace(0xFA, filter.size(), filter);
    }
    return t;
}

void ThreadMdxTags(std::vector<MdxTagLayout>& tags)
{
    // Bytes 16 and 17 of an entry: the tags whose names sort before and
    // after it (numbered from 1), byte 18 the tag above it; the first tag is the root.
    auto name = [&](size_t k) { return std::string(tags[k].entry.data() + 4, 11); };
    for (MdxTagLayout& t : tags) t.entry[16] = t.entry[17] = t.entry[18] = 0;
    for (size_t k = 1; k < tags.size(); ++k) {
        size_t at = 0;
        while (true) {
            const size_t side = name(k) < name(at) ? 16 : 17;
            const unsigned char next = static_cast<unsigned char>(tags[at].entry[side]);
            if (next == 0) {
                tags[at].entry[side] = static_cast<char>(k + 1);
                tags[k].entry[18] = static_cast<char>(at + 1);
                break;
            }
            at = next - 1u;
        }
    }
}

} // namespace tarnel
