// The primary index (.px) of a keyed table, rebuilt from the data blocks.
//
// Level 1 holds one entry per data block: the key of the block's first
// record, the block number and the block's record count. Each higher level
// holds one entry per block of the level below, up to a single root block.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/error.h"
#include "engine/paradox/px_table.h"

namespace tarnel::paradox {

namespace {
constexpr int kIndexHeaderSize = 0x800;
constexpr int kIndexBlockCode = 4;

void PutShortField(unsigned char* p, unsigned v)
{
    unsigned stored = (std::min(v, 0xFFFFu)) ^ 0x8000u;
    p[0] = static_cast<unsigned char>(stored >> 8);
    p[1] = static_cast<unsigned char>(stored & 0xFF);
}
} // namespace

void ParadoxTable::rebuildIndex()
{
    if (keyWidth_ <= 0) return;
    const std::string pxPath = fileio::WithExtension(path_, ".px");
    const int entrySize = keyWidth_ + 6;
    const int blockSize = kIndexBlockCode * 1024;
    const int perBlock = (blockSize - 6) / entrySize;

    struct Entry { std::string key; unsigned block; unsigned count; };
    std::vector<Entry> level;
    for (const Block& b : chain_) {
        if (b.count == 0) continue;
        level.push_back({b.firstKey, static_cast<unsigned>(b.number), static_cast<unsigned>(b.count)});
    }

    // Group the entries into index blocks, level by level, up to one root.
    std::vector<std::vector<std::vector<Entry>>> levels;   // levels[l][block] = entries
    while (!level.empty()) {
        std::vector<std::vector<Entry>> groups;
        for (size_t from = 0; from < level.size(); from += static_cast<size_t>(perBlock))
            groups.emplace_back(level.begin() + static_cast<std::ptrdiff_t>(from),
                                level.begin() + static_cast<std::ptrdiff_t>(std::min(level.size(), from + static_cast<size_t>(perBlock))));
        levels.push_back(groups);
        if (groups.size() == 1) break;
        level.clear();
        for (const auto& g : groups) level.push_back({g.front().key, 0, 0});   // block and count set below
    }
    // Blocks are numbered and chained from the root down, each level left
    // to right: the root is block 1 and the first in the chain.
    int blocks = 0;
    std::vector<int> firstNumber(levels.size());
    for (size_t l = levels.size(); l-- > 0;) {
        firstNumber[l] = blocks + 1;
        blocks += static_cast<int>(levels[l].size());
    }
    for (size_t l = 1; l < levels.size(); ++l)
        for (size_t g = 0; g < levels[l].size(); ++g)
            for (size_t e = 0; e < levels[l][g].size(); ++e) {
                size_t child = g * static_cast<size_t>(perBlock) + e;
                unsigned sum = 0;
                for (const Entry& x : levels[l - 1][child]) sum += x.count;
                levels[l][g][e].block = static_cast<unsigned>(firstNumber[l - 1] + static_cast<int>(child));
                levels[l][g][e].count = sum;
            }
    std::string body(static_cast<size_t>(blocks) * static_cast<size_t>(blockSize), '\0');
    std::int64_t entries = 0;
    for (size_t l = 0; l < levels.size(); ++l)
        for (size_t g = 0; g < levels[l].size(); ++g) {
            int number = firstNumber[l] + static_cast<int>(g);
            auto* p = reinterpret_cast<unsigned char*>(body.data()) + static_cast<size_t>(number - 1) * static_cast<size_t>(blockSize);
            const auto& group = levels[l][g];
            SetBlockHeader(p, blockSize, entrySize, number < blocks ? number + 1 : 0, number - 1,
                           static_cast<int>(group.size()));
            for (size_t e = 0; e < group.size(); ++e) {
                unsigned char* r = p + kBlockHeader + e * static_cast<size_t>(entrySize);
                std::memcpy(r, group[e].key.data(), group[e].key.size());
                PutShortField(r + keyWidth_, group[e].block);
                PutShortField(r + keyWidth_ + 2, group[e].count);
                PutShortField(r + keyWidth_ + 4, 0);
            }
            entries += static_cast<std::int64_t>(group.size());
        }
    const int levelCount = static_cast<int>(levels.size());
    const int root = blocks > 0 ? 1 : 0;
    if (blocks > 0xFFFF) throw EngineError(BaseName(pxPath) + ": the primary index grows past its limit");

    std::string head(static_cast<size_t>(kIndexHeaderSize), '\0');
    auto* h = reinterpret_cast<unsigned char*>(head.data());
    PutLe16(h + hdr::RecordSize, static_cast<std::uint16_t>(entrySize));
    PutLe16(h + hdr::HeaderSize, kIndexHeaderSize);
    h[hdr::FileType] = 1;
    h[hdr::BlockCode] = kIndexBlockCode;
    PutLe32(h + hdr::NumRecords, static_cast<std::uint32_t>(entries));
    PutLe16(h + hdr::UsedBlocks, static_cast<std::uint16_t>(blocks));
    PutLe16(h + hdr::FileBlocks, static_cast<std::uint16_t>(blocks));
    PutLe16(h + hdr::FirstBlock, static_cast<std::uint16_t>(blocks > 0 ? 1 : 0));
    PutLe16(h + hdr::LastBlock, static_cast<std::uint16_t>(blocks));
    PutLe16(h + 0x1E, static_cast<std::uint16_t>(root));
    h[0x20] = static_cast<unsigned char>(levelCount);
    PutLe16(h + hdr::NumFields, static_cast<std::uint16_t>(header_.keyFields));
    h[hdr::SortOrder] = static_cast<unsigned char>(header_.raw[hdr::SortOrder]);
    h[hdr::Version] = static_cast<unsigned char>(header_.version);
    PutLe16(h + hdr::MaxBlocks, static_cast<std::uint16_t>(blocks));
    int pos = 0x58;
    for (int k = 0; k < header_.keyFields; ++k) {
        h[pos++] = header_.fields[static_cast<size_t>(k)].code;
        h[pos++] = header_.fields[static_cast<size_t>(k)].sizeByte;
    }
    pos += 4;
    std::string name = BaseName(pxPath);
    std::memcpy(h + pos, name.data(), std::min<size_t>(name.size(), 78));

    // Written beside the old index and moved over it in one step.
    std::string temp = pxPath + ".tmp";
    try {
        auto f = File::create(temp);
        f.writeAt(0, head.data(), head.size());
        f.writeAt(kIndexHeaderSize, body.data(), body.size());
        f.close();
        RenameFile(temp, pxPath);
    } catch (...) {
        std::remove(temp.c_str());
        throw;
    }
}

} // namespace tarnel::paradox
