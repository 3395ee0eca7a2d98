#include "engine/paradox/px_blob.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/error.h"
#include "engine/paradox/px_fields.h"

namespace tarnel::paradox {

namespace {
constexpr int kSlotTable = 12;          // slot array starts after the block header
constexpr int kSlots = 64;
constexpr int kSlotData = 0x150;        // first 16-byte unit available for data
constexpr int kSmallLimit = 2048;       // larger blobs get a block of their own
constexpr int kSingleHeader = 9;
constexpr int kGraphicPrefix = 8;
constexpr int kMaxChunks = 0xFFFF;
} // namespace

BlobFile::BlobFile(const std::string& path, bool writable) : file_(File::open(path, !writable))
{
    unsigned char head[0x15];
    if (file_.readAt(0, head, sizeof head) != sizeof head || head[0] != 0)
        corrupt("it is not a Paradox blob file (bad header)");
    if (file_.size() < kChunk) corrupt("the header is truncated");
}

void BlobFile::create(const std::string& path)
{
    auto f = File::create(path);
    std::vector<unsigned char> head(kChunk, 0);
    head[0] = 0;
    PutLe16(&head[1], 1);        // header is one chunk
    PutLe16(&head[3], 1);        // modification count
    PutLe16(&head[0x0B], 0x1000);
    PutLe16(&head[0x0D], 0x1000);
    head[0x10] = 0x10;          // unit of the shared blocks
    PutLe16(&head[0x11], kSlots);
    PutLe16(&head[0x13], kSmallLimit);
    f.writeAt(0, head.data(), head.size());
}

void BlobFile::corrupt(const std::string& what) const
{
    throw EngineError(BaseName(file_.path()) + ": " + what);
}

void BlobFile::scan()
{
    if (scanned_) return;
    blocks_.clear();
    std::int64_t size = file_.size();
    std::int64_t pos = kChunk;
    while (pos + 3 <= size) {
        unsigned char h[3];
        file_.readExact(pos, h, 3, "data");
        int chunks = GetLe16(h + 1);
        if (chunks == 0) corrupt("block at offset " + std::to_string(pos) + " has a length of zero");
        if (h[0] < 2 || h[0] > 4) corrupt("block at offset " + std::to_string(pos) + " has an unknown type " + std::to_string(h[0]));
        blocks_[pos] = Block{h[0], chunks};
        pos += static_cast<std::int64_t>(chunks) * kChunk;
    }
    scanned_ = true;
}

std::string BlobFile::read(std::uint32_t ref, std::uint32_t size, bool graphic)
{
    std::int64_t offset = ref & 0xFFFFFF00u;
    int slot = static_cast<int>(ref & 0xFF);
    std::int64_t fileSize = file_.size();
    std::string where = "blob at offset " + std::to_string(offset);
    if (offset < kChunk || offset % kChunk != 0 || offset + kChunk > fileSize)
        corrupt(where + " lies outside the file (" + std::to_string(fileSize) + " bytes)");
    unsigned char h[kSingleHeader];
    file_.readExact(offset, h, sizeof h, "data");
    std::string data;
    if (h[0] == 2) {
        if (slot != 0xFF) corrupt(where + ": a single-blob block is referenced with a slot number");
        std::uint32_t stored = GetLe32(h + 3);
        std::int64_t chunks = GetLe16(h + 1);
        if (stored != size) corrupt(where + ": the record says " + std::to_string(size) + " bytes, the blob file " + std::to_string(stored));
        if (kSingleHeader + static_cast<std::int64_t>(size) > chunks * kChunk ||
            offset + kSingleHeader + static_cast<std::int64_t>(size) > fileSize)
            corrupt(where + ": the blob runs past the end of its block or of the file");
        data.resize(size);
        file_.readExact(offset + kSingleHeader, data.data(), size, "data");
    } else if (h[0] == 3) {
        if (slot >= kSlots) corrupt(where + ": slot " + std::to_string(slot) + " does not exist");
        unsigned char e[5];
        file_.readExact(offset + kSlotTable + slot * 5, e, 5, "data");
        std::int64_t start = e[0] * 16;
        std::uint32_t stored = e[1] == 0 ? 0 : (static_cast<std::uint32_t>(e[1]) - 1) * 16 + e[4];
        if (e[0] == 0 || e[4] == 0) corrupt(where + ": slot " + std::to_string(slot) + " is empty");
        if (stored != size) corrupt(where + ": the record says " + std::to_string(size) + " bytes, the blob file " + std::to_string(stored));
        if (start < kSlotTable + kSlots * 5 || start + size > kChunk)
            corrupt(where + ": slot " + std::to_string(slot) + " points outside its block");
        data.resize(size);
        file_.readExact(offset + start, data.data(), size, "data");
    } else {
        corrupt(where + ": the record points at a " + std::string(h[0] == 4 ? "free" : "non-data") + " block");
    }
    if (graphic) {
        if (data.size() < kGraphicPrefix) corrupt(where + ": graphic blob is too short");
        data.erase(0, kGraphicPrefix);
    }
    return data;
}

std::int64_t BlobFile::allocate(int chunks)
{
    scan();
    for (auto& [pos, b] : blocks_) {
        if (b.type != 4 || b.chunks < chunks) continue;
        std::int64_t at = pos;
        int rest = b.chunks - chunks;
        b = Block{0, chunks};   // type set by the caller's write
        if (rest > 0) {
            std::int64_t restPos = at + static_cast<std::int64_t>(chunks) * kChunk;
            unsigned char h[3] = {4, 0, 0};
            PutLe16(h + 1, static_cast<std::uint16_t>(rest));
            file_.writeAt(restPos, h, 3);
            blocks_[restPos] = Block{4, rest};
        }
        return at;
    }
    std::int64_t end = file_.size();
    if (end % kChunk) end += kChunk - end % kChunk;
    if (!blocks_.empty()) {
        const auto& [lastPos, last] = *blocks_.rbegin();
        end = std::max(end, lastPos + static_cast<std::int64_t>(last.chunks) * kChunk);
    }
    if (end + static_cast<std::int64_t>(chunks) * kChunk > 0xFFFFFF00ll)
        corrupt("the blob file is full (4 GB)");
    blocks_[end] = Block{0, chunks};
    return end;
}

std::uint32_t BlobFile::write(const std::string& value, bool graphic, std::uint32_t& size,
                              std::uint16_t& modification)
{
    std::string data;
    if (graphic) {
        unsigned char prefix[kGraphicPrefix] = {1, 0, 0, 1, 0, 0, 0, 0};
        PutLe32(prefix + 4, static_cast<std::uint32_t>(value.size()));
        data.assign(reinterpret_cast<char*>(prefix), kGraphicPrefix);
    }
    data += value;
    if (data.size() > 0xFFFF0000u) corrupt("a blob of " + std::to_string(data.size()) + " bytes is too large");
    size = static_cast<std::uint32_t>(data.size());

    unsigned char mh[2];
    file_.readExact(3, mh, 2, "data");
    modification = static_cast<std::uint16_t>(GetLe16(mh) + 1);
    if (modification == 0) modification = 1;
    PutLe16(mh, modification);

    scan();
    if (data.size() < kSmallLimit) {
        int units = static_cast<int>((data.size() + 15) / 16);
        // Look for a shared block with a free slot and room.
        for (auto& [pos, b] : blocks_) {
            if (b.type != 3) continue;
            unsigned char blk[kChunk];
            file_.readExact(pos, blk, kChunk, "data");
            std::vector<bool> used(kChunk / 16, false);
            int freeSlot = -1;
            for (int s = kSlots - 1; s >= 0; --s) {
                unsigned char* e = blk + kSlotTable + s * 5;
                if (e[0] == 0 || e[4] == 0) {
                    if (freeSlot < 0) freeSlot = s;
                    continue;
                }
                for (int u = e[0]; u < e[0] + e[1] && u < kChunk / 16; ++u) used[static_cast<size_t>(u)] = true;
            }
            if (freeSlot < 0) continue;
            int run = 0;
            for (int u = kSlotData / 16; u < kChunk / 16; ++u) {
                run = used[static_cast<size_t>(u)] ? 0 : run + 1;
                if (run == units) {
                    int start = u - units + 1;
                    file_.writeAt(pos + start * 16, data.data(), data.size());
                    unsigned char e[5] = {static_cast<unsigned char>(start), static_cast<unsigned char>(units), 0, 0,
                                          static_cast<unsigned char>(data.size() - (units - 1) * 16)};
                    PutLe16(e + 2, modification);
                    file_.writeAt(pos + kSlotTable + freeSlot * 5, e, 5);
                    file_.writeAt(3, mh, 2);
                    return static_cast<std::uint32_t>(pos) | static_cast<std::uint32_t>(freeSlot);
                }
            }
        }
        // A new shared block.
        std::int64_t pos = allocate(1);
        std::vector<unsigned char> blk(kChunk, 0);
        blk[0] = 3;
        PutLe16(&blk[1], 1);
        int start = kSlotData / 16, slot = kSlots - 1;
        std::memcpy(&blk[static_cast<size_t>(start * 16)], data.data(), data.size());
        unsigned char* e = &blk[static_cast<size_t>(kSlotTable + slot * 5)];
        e[0] = static_cast<unsigned char>(start);
        e[1] = static_cast<unsigned char>(units);
        PutLe16(e + 2, modification);
        e[4] = static_cast<unsigned char>(data.size() - (units - 1) * 16);
        file_.writeAt(pos, blk.data(), blk.size());
        blocks_[pos] = Block{3, 1};
        file_.writeAt(3, mh, 2);
        return static_cast<std::uint32_t>(pos) | static_cast<std::uint32_t>(slot);
    }
    std::int64_t need = (kSingleHeader + static_cast<std::int64_t>(data.size()) + kChunk - 1) / kChunk;
    if (need > kMaxChunks) corrupt("a blob of " + std::to_string(data.size()) + " bytes is too large");
    int chunks = static_cast<int>(need);
    std::int64_t pos = allocate(chunks);
    std::string block(static_cast<size_t>(chunks) * kChunk, '\0');
    block[0] = 2;
    PutLe16(reinterpret_cast<unsigned char*>(&block[1]), static_cast<std::uint16_t>(chunks));
    PutLe32(reinterpret_cast<unsigned char*>(&block[3]), size);
    PutLe16(reinterpret_cast<unsigned char*>(&block[7]), modification);
    std::memcpy(&block[kSingleHeader], data.data(), data.size());
    file_.writeAt(pos, block.data(), block.size());
    blocks_[pos] = Block{2, chunks};
    file_.writeAt(3, mh, 2);
    return static_cast<std::uint32_t>(pos) | 0xFFu;
}

void BlobFile::release(std::uint32_t ref)
{
    std::int64_t offset = ref & 0xFFFFFF00u;
    int slot = static_cast<int>(ref & 0xFF);
    scan();
    auto it = blocks_.find(offset);
    if (it == blocks_.end()) return;   // nothing there to free
    if (it->second.type == 2 && slot == 0xFF) {
        unsigned char t = 4;
        file_.writeAt(offset, &t, 1);
        it->second.type = 4;
    } else if (it->second.type == 3 && slot < kSlots) {
        unsigned char blk[kChunk];
        file_.readExact(offset, blk, kChunk, "data");
        std::memset(blk + kSlotTable + slot * 5, 0, 5);
        bool any = false;
        for (int s = 0; s < kSlots; ++s) {
            const unsigned char* e = blk + kSlotTable + s * 5;
            if (e[0] != 0 && e[4] != 0) any = true;
        }
        file_.writeAt(offset + kSlotTable + slot * 5, blk + kSlotTable + slot * 5, 5);
        if (!any) {
            unsigned char t = 4;
            file_.writeAt(offset, &t, 1);
            it->second.type = 4;
        }
    }
}

} // namespace tarnel::paradox
