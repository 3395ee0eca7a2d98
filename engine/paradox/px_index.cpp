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

    std::string body;   // the index blocks, numbered from 1
    int blocks = 0, levels = 0, root = 0;
    std::int64_t entries = 0;
    while (!level.empty()) {
        ++levels;
        size_t groups = (level.size() + static_cast<size_t>(perBlock) - 1) / static_cast<size_t>(perBlock);
        int firstNumber = blocks + 1;
        std::vector<Entry> parents;
        for (size_t g = 0; g < groups; ++g) {
            std::string block(static_cast<size_t>(blockSize), '\0');
            auto* p = reinterpret_cast<unsigned char*>(block.data());
            size_t from = g * static_cast<size_t>(perBlock);
            size_t to = std::min(level.size(), from + static_cast<size_t>(perBlock));
            int number = firstNumber + static_cast<int>(g);
            PutU16(p, static_cast<std::uint16_t>(g + 1 < groups ? number + 1 : 0));
            PutU16(p + 2, static_cast<std::uint16_t>(g > 0 ? number - 1 : 0));
            PutU16(p + 4, static_cast<std::uint16_t>(static_cast<std::int16_t>((to - from - 1) * static_cast<size_t>(entrySize))));
            unsigned sum = 0;
            for (size_t e = from; e < to; ++e) {
                unsigned char* r = p + 6 + (e - from) * static_cast<size_t>(entrySize);
                std::memcpy(r, level[e].key.data(), level[e].key.size());
                PutShortField(r + keyWidth_, level[e].block);
                PutShortField(r + keyWidth_ + 2, level[e].count);
                PutShortField(r + keyWidth_ + 4, 0);
                sum += level[e].count;
            }
            entries += static_cast<std::int64_t>(to - from);
            body += block;
            parents.push_back({level[from].key, static_cast<unsigned>(number), sum});
        }
        blocks += static_cast<int>(groups);
        if (groups == 1) {
            root = firstNumber;
            break;
        }
        level = std::move(parents);
    }
    if (blocks > 0xFFFF) throw EngineError(BaseName(pxPath) + ": the primary index grows past its limit");

    std::string head(static_cast<size_t>(kIndexHeaderSize), '\0');
    auto* h = reinterpret_cast<unsigned char*>(head.data());
    PutU16(h + hdr::RecordSize, static_cast<std::uint16_t>(entrySize));
    PutU16(h + hdr::HeaderSize, kIndexHeaderSize);
    h[hdr::FileType] = 1;
    h[hdr::BlockCode] = kIndexBlockCode;
    PutU32(h + hdr::NumRecords, static_cast<std::uint32_t>(entries));
    PutU16(h + hdr::UsedBlocks, static_cast<std::uint16_t>(blocks));
    PutU16(h + hdr::FileBlocks, static_cast<std::uint16_t>(blocks));
    PutU16(h + hdr::FirstBlock, static_cast<std::uint16_t>(blocks > 0 ? 1 : 0));
    PutU16(h + hdr::LastBlock, static_cast<std::uint16_t>(blocks));
    PutU16(h + 0x1E, static_cast<std::uint16_t>(root));
    h[0x20] = static_cast<unsigned char>(levels);
    PutU16(h + hdr::NumFields, static_cast<std::uint16_t>(header_.keyFields));
    h[hdr::SortOrder] = static_cast<unsigned char>(header_.raw[hdr::SortOrder]);
    h[hdr::Version] = static_cast<unsigned char>(header_.version);
    PutU16(h + hdr::MaxBlocks, static_cast<std::uint16_t>(blocks));
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
    {
        auto f = File::create(temp);
        f.writeAt(0, head.data(), head.size());
        f.writeAt(kIndexHeaderSize, body.data(), body.size());
    }
    if (std::rename(temp.c_str(), pxPath.c_str()) != 0) {
        std::remove(temp.c_str());
        throw EngineError(BaseName(pxPath) + ": cannot replace the primary index");
    }
}

} // namespace tarnel::paradox
