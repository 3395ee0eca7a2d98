#include "engine/paradox/px_table.h"

#include <algorithm>
#include <cstring>

#include "engine/error.h"
#include "engine/paradox/px_secondary.h"

namespace tarnel::paradox {

namespace {
constexpr int kMaxBlocks = 0xFFFF;
} // namespace

ParadoxTable::ParadoxTable(const std::string& path, bool readOnly, bool secondary)
    : path_(path), name_(BaseName(path)), db_(File::open(path, readOnly))
{
    readOnly_ = readOnly || !db_.writable();
    std::int64_t size = db_.size();
    unsigned char start[0x58];
    if (db_.readAt(0, start, sizeof start) != sizeof start)
        throw EngineError(name_ + ": the table header is truncated (the file holds " + std::to_string(size) + " bytes)");
    int headerSize = GetLe16(start + hdr::HeaderSize);
    if (headerSize < 0x58) throw EngineError(name_ + ": not a Paradox table (header size " + std::to_string(headerSize) + ")");
    std::string raw(static_cast<size_t>(headerSize), '\0');
    size_t got = db_.readAt(0, raw.data(), raw.size());
    if (got != raw.size())
        throw EngineError(name_ + ": the table header is truncated (" + std::to_string(headerSize) +
                          " bytes expected, the file holds " + std::to_string(size) + ")");
    header_ = ParseHeader(raw, size, name_, secondary);
    cp_ = CodePage::get(header_.codePage);
    for (const auto& f : header_.fields) defs_.push_back(f.def);
    for (int k = 0; k < header_.keyFields; ++k) keyWidth_ += header_.fields[static_cast<size_t>(k)].width;
    for (int k = 0; k < header_.keyFields; ++k)
        if (header_.fields[static_cast<size_t>(k)].isBlob())
            throw EngineError(name_ + ": the key field '" + defs_[static_cast<size_t>(k)].name + "' is a blob field");
    loadChain();
    if (!secondary) secondary_ = KeptSecondaryIndexes(path_, defs_, indexBlock_);
    // The blob file is opened when a value needs it: a damaged one leaves
    // the other fields readable.
}

std::int64_t ParadoxTable::blockOffset(int number) const
{
    return header_.headerSize + static_cast<std::int64_t>(number - 1) * header_.blockSize;
}

void ParadoxTable::loadChain()
{
    std::int64_t size = db_.size();
    std::int64_t room = size - header_.headerSize;
    blocksInFile_ = room > 0 ? static_cast<int>(std::min<std::int64_t>(room / header_.blockSize, kMaxBlocks)) : 0;
    chain_.clear();
    std::vector<bool> seen(static_cast<size_t>(blocksInFile_) + 1, false);
    int number = header_.firstBlock;
    const int cap = capacity();
    while (number != 0) {
        if (number > blocksInFile_)
            throw EngineError(name_ + ": data block " + std::to_string(number) + " lies past the end of the file (it holds " +
                              std::to_string(blocksInFile_) + " blocks); the file may be truncated");
        if (seen[static_cast<size_t>(number)])
            throw EngineError(name_ + ": the chain of data blocks loops back to block " + std::to_string(number));
        seen[static_cast<size_t>(number)] = true;
        std::vector<unsigned char> h(static_cast<size_t>(kBlockHeader + keyWidth_));
        db_.readExact(blockOffset(number), h.data(), h.size(), "data block");
        const int count = BlockRecordCount(h.data(), header_.recordSize);
        if (count > cap)
            throw EngineError(name_ + ": data block " + std::to_string(number) + " claims " + std::to_string(count) +
                              " records, but a block holds at most " + std::to_string(cap));
        chain_.push_back({number, count, std::string(h.begin() + kBlockHeader, h.end())});
        number = GetLe16(h.data());
    }
    rebuildPrefix();
    if (header_.numRecords > total_)
        throw EngineError(name_ + ": the header gives " + std::to_string(header_.numRecords) +
                          " records, but the data blocks hold " + std::to_string(total_) +
                          "; the file may be truncated or damaged");
}

void ParadoxTable::rebuildPrefix()
{
    prefix_.assign(chain_.size(), 0);
    total_ = 0;
    for (size_t k = 0; k < chain_.size(); ++k) {
        prefix_[k] = total_;
        total_ += chain_[k].count;
    }
    cachedBlock_ = 0;
}

void ParadoxTable::checkRecord(std::int64_t record) const
{
    if (record < 0 || record >= total_)
        throw EngineError(name_ + ": record " + std::to_string(record + 1) + " does not exist (the table has " +
                          std::to_string(total_) + " records)");
}

std::pair<size_t, int> ParadoxTable::locate(std::int64_t record) const
{
    checkRecord(record);
    size_t k = lastLocated_;   // a walk stays in one block for a while
    if (k < chain_.size() && k < prefix_.size() && record >= prefix_[k] && record - prefix_[k] < chain_[k].count)
        return {k, static_cast<int>(record - prefix_[k])};
    auto it = std::upper_bound(prefix_.begin(), prefix_.end(), record);
    k = static_cast<size_t>(it - prefix_.begin()) - 1;
    while (chain_[k].count == 0 || record - prefix_[k] >= chain_[k].count) ++k;   // skip empty blocks
    lastLocated_ = k;
    return {k, static_cast<int>(record - prefix_[k])};
}

void ParadoxTable::readBlock(int number, std::vector<unsigned char>& out)
{
    out.resize(static_cast<size_t>(header_.blockSize));
    db_.readExact(blockOffset(number), out.data(), out.size(), "data");
}

const unsigned char* ParadoxTable::recordBytes(std::int64_t record)
{
    auto [k, slot] = locate(record);
    if (!pending_.empty() && k >= pendingFrom_)   // gathered, not written yet
        return pendingBlock(k - pendingFrom_) + kBlockHeader +
               static_cast<size_t>(slot) * static_cast<size_t>(header_.recordSize);
    const int number = chain_[k].number;
    if (cachedBlock_ == 0 || number < cachedBlock_ || number >= cachedBlock_ + cachedRun_) {
        cachedBlock_ = 0;
        // A table open for reading only (nothing here writes it) reads the
        // blocks of the chain that follow each other in the file in one go.
        int run = 1;
        if (readOnly_)
            while (run < kReadRun && k + static_cast<size_t>(run) < chain_.size() &&
                   chain_[k + static_cast<size_t>(run)].number == number + run)
                ++run;
        cache_.resize(static_cast<size_t>(run) * static_cast<size_t>(header_.blockSize));
        db_.readExact(blockOffset(number), cache_.data(), cache_.size(), "data");
        cachedBlock_ = number;
        cachedRun_ = run;
    }
    return cache_.data() + static_cast<size_t>(number - cachedBlock_) * static_cast<size_t>(header_.blockSize) +
           kBlockHeader + static_cast<size_t>(slot) * static_cast<size_t>(header_.recordSize);
}

bool ParadoxTable::isNull(std::int64_t record, int field)
{
    if (field < 0 || field >= static_cast<int>(defs_.size())) throw EngineError(name_ + ": no field " + std::to_string(field));
    const PxField& f = header_.fields[static_cast<size_t>(field)];
    const unsigned char* p = recordBytes(record) + f.offset;
    if (f.isBlob()) return GetLe32(p + f.width - kBlobTail + 4) == 0 && IsBlank(p, f.width);
    return IsBlank(p, f.width);
}

Value ParadoxTable::value(std::int64_t record, int field)
{
    if (field < 0 || field >= static_cast<int>(defs_.size())) throw EngineError(name_ + ": no field " + std::to_string(field));
    const PxField& f = header_.fields[static_cast<size_t>(field)];
    const unsigned char* p = recordBytes(record) + f.offset;
    if (f.isBlob()) {
        std::vector<unsigned char> copy(p, p + f.width);   // the cache may be replaced while reading the blob
        return blobValue(f, copy.data());
    }
    return DecodeField(f, p, *cp_);
}

Value ParadoxTable::blobValue(const PxField& f, const unsigned char* p)
{
    const int leader = f.width - kBlobTail;
    std::uint32_t ref = GetLe32(p + leader);
    std::uint32_t size = GetLe32(p + leader + 4);
    bool graphic = f.code == pxGraphic;
    std::string data;
    if (ref == 0) {
        // Held in the record itself.
        std::uint32_t n = graphic && size >= 8 ? size - 8 : size;
        if (n == 0) return Value::null();
        if (n > static_cast<std::uint32_t>(leader))
            throw EngineError(name_ + ": field '" + f.def.name + "' gives " + std::to_string(n) +
                              " bytes, more than its record part holds");
        data.assign(reinterpret_cast<const char*>(p), n);
    } else {
        if (size == 0) return Value::null();
        if (!mb_) {
            std::string mbPath = fileio::WithExtension(path_, ".mb");
            if (!fileio::FileExists(mbPath))
                throw EngineError(BaseName(mbPath) + ": the blob file of the table is missing; field '" + f.def.name +
                                  "' cannot be read");
            mb_ = std::make_unique<BlobFile>(mbPath, !readOnly_);
        }
        data = mb_->read(ref, size, graphic);
    }
    if (data.empty()) return Value::null();
    if (f.code == pxMemo || f.code == pxFmtMemo) return Value::text(cp_->decode(data));
    return Value::bytes(std::move(data));
}

BlobFile& ParadoxTable::blobs(bool create)
{
    if (!mb_) {
        std::string mbPath = fileio::WithExtension(path_, ".mb");
        if (!fileio::FileExists(mbPath)) {
            if (!create) throw EngineError(BaseName(mbPath) + ": the blob file of the table is missing");
            BlobFile::create(mbPath);
        }
        mb_ = std::make_unique<BlobFile>(mbPath, !readOnly_);
    }
    return *mb_;
}

std::vector<int> ParadoxTable::primaryKey() const
{
    std::vector<int> key;
    for (int k = 0; k < header_.keyFields; ++k) key.push_back(k);
    return key;
}

std::vector<std::string> ParadoxTable::files() const
{
    std::vector<std::string> out{path_};
    for (const auto& f : CompanionFiles(path_)) out.push_back(f);
    return out;
}

// ---- writing -------------------------------------------------------------

void ParadoxTable::checkWritable(const char* what) const
{
    if (readOnly_) throw EngineError(name_ + ": cannot " + std::string(what) + ", the table is open for reading only");
    if (!indexBlock_.empty()) throw EngineError("Cannot " + std::string(what) + ": " + indexBlock_);
}

void ParadoxTable::checkValues(const std::vector<Value>& values) const
{
    if (values.size() != defs_.size())
        throw EngineError(name_ + ": " + std::to_string(values.size()) + " values given for " +
                          std::to_string(defs_.size()) + " fields");
}

std::string ParadoxTable::encodeRecord(const std::vector<Value>& values, const std::vector<bool>* changed,
                                       const unsigned char* old, std::vector<std::uint32_t>& released)
{
    std::string out(static_cast<size_t>(header_.recordSize), '\0');
    if (old) std::memcpy(out.data(), old, out.size());
    auto* rec = reinterpret_cast<unsigned char*>(out.data());

    // First everything that can fail on the values, before any file changes.
    struct BlobWork { const PxField* f; std::string data; };
    std::vector<BlobWork> work;
    for (size_t k = 0; k < header_.fields.size(); ++k) {
        if (changed && (k >= changed->size() || !(*changed)[k])) continue;
        const PxField& f = header_.fields[k];
        const Value& v = values[k];
        if (!f.isBlob()) {
            EncodeField(f, v, rec + f.offset, *cp_, name_);
            continue;
        }
        std::string data;
        if (!v.isNull()) {
            if (f.code == pxMemo || f.code == pxFmtMemo) {
                if (v.kind == Value::Kind::Bytes) data = v.s;
                else if (!cp_->encode(PlainText(v), data))
                    throw EngineError(name_ + ": field '" + f.def.name + "': the text holds characters that code page " +
                                      std::to_string(cp_->number()) + " cannot store");
            } else {
                if (v.kind != Value::Kind::Bytes && v.kind != Value::Kind::Text)
                    throw EngineError(name_ + ": field '" + f.def.name + "': not binary data");
                data = v.s;
            }
        }
        work.push_back({&f, std::move(data)});
    }
    // Then the blob file.
    for (auto& w : work) {
        const PxField& f = *w.f;
        unsigned char* p = rec + f.offset;
        const int leader = f.width - kBlobTail;
        std::uint32_t oldRef = GetLe32(p + leader);
        if (old && oldRef != 0) released.push_back(oldRef);
        std::memset(p, 0, static_cast<size_t>(f.width));
        if (w.data.empty()) continue;
        std::memcpy(p, w.data.data(), std::min<size_t>(w.data.size(), static_cast<size_t>(leader)));
        bool graphic = f.code == pxGraphic;
        if (!graphic && w.data.size() <= static_cast<size_t>(leader)) {
            PutLe32(p + leader + 4, static_cast<std::uint32_t>(w.data.size()));
            continue;
        }
        std::uint32_t size = 0;
        std::uint16_t modification = 0;
        std::uint32_t ref = blobs(true).write(w.data, graphic, size, modification);
        PutLe32(p + leader, ref);
        PutLe32(p + leader + 4, size);
        PutLe16(p + leader + 8, modification);
    }
    return out;
}

std::string ParadoxTable::keyOf(const std::vector<Value>& values, const std::vector<bool>* changed,
                                const unsigned char* old)
{
    std::string key(static_cast<size_t>(keyWidth_), '\0');
    if (old) std::memcpy(key.data(), old, key.size());
    for (int k = 0; k < header_.keyFields; ++k) {
        if (changed && (static_cast<size_t>(k) >= changed->size() || !(*changed)[static_cast<size_t>(k)])) continue;
        const PxField& f = header_.fields[static_cast<size_t>(k)];
        EncodeField(f, values[static_cast<size_t>(k)], reinterpret_cast<unsigned char*>(key.data()) + f.offset, *cp_, name_);
    }
    return key;
}

void ParadoxTable::writeBlock(int number, std::vector<unsigned char>& data, int next, int prev, int count)
{
    data.resize(static_cast<size_t>(header_.blockSize));
    SetBlockHeader(data.data(), header_.blockSize, header_.recordSize, next, prev, count);
    db_.writeAt(blockOffset(number), data.data(), data.size());
    if (cachedBlock_ == number) cachedBlock_ = 0;
}

int ParadoxTable::allocateBlock()
{
    int number = header_.firstFree;
    bool inChain = number > 0 &&
                   std::any_of(chain_.begin(), chain_.end(), [&](const Block& b) { return b.number == number; });
    if (number > 0 && number <= blocksInFile_ && !inChain) {
        unsigned char h[kBlockHeader];
        db_.readExact(blockOffset(number), h, sizeof h, "data");
        int next = GetLe16(h);
        header_.firstFree = (next > 0 && next <= blocksInFile_ && next != number) ? next : 0;
        return number;
    }
    header_.firstFree = 0;   // a free list that cannot be trusted is dropped
    int last = std::max(blocksInFile_, header_.fileBlocks);
    if (last >= kMaxBlocks) throw EngineError(name_ + ": the table is full (" + std::to_string(kMaxBlocks) + " blocks)");
    ++last;
    blocksInFile_ = last;
    header_.fileBlocks = last;
    return last;
}

void ParadoxTable::freeBlock(int number)
{
    std::vector<unsigned char> empty(static_cast<size_t>(header_.blockSize), 0);
    SetBlockHeader(empty.data(), header_.blockSize, header_.recordSize, header_.firstFree, 0, 0);
    db_.writeAt(blockOffset(number), empty.data(), empty.size());
    if (cachedBlock_ == number) cachedBlock_ = 0;
    header_.firstFree = number;
}

std::int64_t ParadoxTable::insertAt(std::int64_t position, const std::string& bytes)
{
    const size_t rs = static_cast<size_t>(header_.recordSize);
    const int cap = capacity();
    std::vector<unsigned char> data;
    if (chain_.empty()) {
        int number = allocateBlock();
        data.assign(static_cast<size_t>(header_.blockSize), 0);
        std::memcpy(data.data() + kBlockHeader, bytes.data(), rs);
        writeBlock(number, data, 0, 0, 1);
        chain_.push_back({number, 1, bytes.substr(0, static_cast<size_t>(keyWidth_))});
        rebuildPrefix();
        return 0;
    }
    size_t k;
    int slot;
    if (position >= total_) {
        k = chain_.size() - 1;
        slot = chain_[k].count;
    } else {
        std::tie(k, slot) = locate(position);
        if (slot == 0 && k > 0 && chain_[k - 1].count < cap) {
            --k;
            slot = chain_[k].count;
        }
    }
    Block& b = chain_[k];
    readBlock(b.number, data);
    int next = GetLe16(data.data()), prev = GetLe16(data.data() + 2);
    unsigned char* recs = data.data() + kBlockHeader;
    if (b.count < cap) {
        std::memmove(recs + (slot + 1) * rs, recs + slot * rs, static_cast<size_t>(b.count - slot) * rs);
        std::memcpy(recs + slot * rs, bytes.data(), rs);
        writeBlock(b.number, data, next, prev, b.count + 1);
        ++b.count;
        b.firstKey.assign(reinterpret_cast<char*>(recs), static_cast<size_t>(keyWidth_));
        std::int64_t at = prefix_[k] + slot;
        if (k + 1 == chain_.size()) ++total_;   // the blocks before keep their places
        else rebuildPrefix();
        return at;
    }
    // The block is full: a new block follows it, taking the new record
    // (when it goes after the block's last) or the upper half of the records.
    int number = allocateBlock();
    std::vector<unsigned char> fresh(static_cast<size_t>(header_.blockSize), 0);
    int keep = slot == b.count ? b.count : b.count / 2;
    int moved = b.count - keep;
    std::memcpy(fresh.data() + kBlockHeader, recs + keep * rs, static_cast<size_t>(moved) * rs);
    int lowCount = keep, highCount = moved;
    if (slot <= keep && !(keep == b.count)) {
        std::memmove(recs + (slot + 1) * rs, recs + slot * rs, static_cast<size_t>(keep - slot) * rs);
        std::memcpy(recs + slot * rs, bytes.data(), rs);
        ++lowCount;
    } else {
        int s = slot - keep;
        unsigned char* hr = fresh.data() + kBlockHeader;
        std::memmove(hr + (s + 1) * rs, hr + s * rs, static_cast<size_t>(moved - s) * rs);
        std::memcpy(hr + s * rs, bytes.data(), rs);
        ++highCount;
    }
    int oldNumber = b.number;
    writeBlock(number, fresh, next, oldNumber, highCount);
    if (next != 0) {
        unsigned char h[2];
        PutLe16(h, static_cast<std::uint16_t>(number));
        db_.writeAt(blockOffset(next) + 2, h, 2);
        if (cachedBlock_ == next) cachedBlock_ = 0;
    }
    writeBlock(oldNumber, data, number, prev, lowCount);
    chain_[k].count = lowCount;
    chain_[k].firstKey.assign(reinterpret_cast<char*>(recs), static_cast<size_t>(keyWidth_));
    chain_.insert(chain_.begin() + static_cast<std::ptrdiff_t>(k) + 1,
                  Block{number, highCount,
                        std::string(reinterpret_cast<char*>(fresh.data()) + kBlockHeader, static_cast<size_t>(keyWidth_))});
    std::int64_t at = prefix_[k] + slot;
    if (k + 2 == chain_.size()) {
        // A block added at the end: only the last two places change.
        prefix_.push_back(prefix_[k] + lowCount);
        ++total_;
    } else {
        rebuildPrefix();
    }
    return at;
}

void ParadoxTable::removeAt(std::int64_t position)
{
    auto [k, slot] = locate(position);
    const size_t rs = static_cast<size_t>(header_.recordSize);
    Block& b = chain_[k];
    std::vector<unsigned char> data;
    readBlock(b.number, data);
    int next = GetLe16(data.data()), prev = GetLe16(data.data() + 2);
    unsigned char* recs = data.data() + kBlockHeader;
    std::memmove(recs + slot * rs, recs + (slot + 1) * rs, static_cast<size_t>(b.count - slot - 1) * rs);
    int count = b.count - 1;
    if (count > 0 || chain_.size() == 1) {
        writeBlock(b.number, data, next, prev, count);
        b.count = count;
        b.firstKey.assign(reinterpret_cast<char*>(recs), static_cast<size_t>(keyWidth_));
    } else if (k == 0) {
        // The first block stays first: it takes over the contents of the second.
        Block second = chain_[1];
        std::vector<unsigned char> other;
        readBlock(second.number, other);
        int secondNext = GetLe16(other.data());
        writeBlock(b.number, other, secondNext, 0, second.count);
        if (secondNext != 0) {
            unsigned char h[2];
            PutLe16(h, static_cast<std::uint16_t>(b.number));
            db_.writeAt(blockOffset(secondNext) + 2, h, 2);
            if (cachedBlock_ == secondNext) cachedBlock_ = 0;
        }
        freeBlock(second.number);
        chain_[0].count = second.count;
        chain_[0].firstKey = second.firstKey;
        chain_.erase(chain_.begin() + 1);
    } else {
        unsigned char h[2];
        PutLe16(h, static_cast<std::uint16_t>(next));
        db_.writeAt(blockOffset(prev), h, 2);
        if (next != 0) {
            PutLe16(h, static_cast<std::uint16_t>(prev));
            db_.writeAt(blockOffset(next) + 2, h, 2);
        }
        cachedBlock_ = 0;
        freeBlock(b.number);
        chain_.erase(chain_.begin() + static_cast<std::ptrdiff_t>(k));
    }
    rebuildPrefix();
}

std::int64_t ParadoxTable::keyPosition(const std::string& bytes, bool& duplicate)
{
    std::int64_t lo = 0, hi = total_;
    const size_t kw = static_cast<size_t>(keyWidth_);
    while (lo < hi) {
        std::int64_t mid = lo + (hi - lo) / 2;
        if (std::memcmp(recordBytes(mid), bytes.data(), kw) <= 0) lo = mid + 1;
        else hi = mid;
    }
    duplicate = lo > 0 && std::memcmp(recordBytes(lo - 1), bytes.data(), kw) == 0;
    return lo;
}

// Another program may have changed the table since it was read: under the
// write lock, the header tells.
void ParadoxTable::refresh()
{
    unsigned char now[0x58];
    if (db_.readAt(0, now, sizeof now) == sizeof now && std::memcmp(now, header_.raw.data(), sizeof now) == 0) return;
    std::string raw(header_.raw.size(), '\0');
    db_.readExact(0, raw.data(), raw.size(), "table header");
    PxHeader fresh = ParseHeader(raw, db_.size(), name_);
    if (fresh.headerSize != header_.headerSize || fresh.recordSize != header_.recordSize ||
        fresh.fields.size() != header_.fields.size())
        throw EngineError(BaseName(path_) + ": the table was restructured by another program; open it again");
    header_ = std::move(fresh);
    loadChain();
    mb_.reset();
}

// The header and the chain as the file holds them, after a failed write.
void ParadoxTable::reload()
{
    cachedBlock_ = 0;
    std::string raw(header_.raw.size(), '\0');
    db_.readExact(0, raw.data(), raw.size(), "table header");
    header_ = ParseHeader(raw, db_.size(), name_);
    loadChain();
}

void ParadoxTable::writeHeaderCounts()
{
    auto* p = reinterpret_cast<unsigned char*>(header_.raw.data());
    header_.numRecords = total_;
    PutLe32(p + hdr::NumRecords, static_cast<std::uint32_t>(total_));
    PutLe16(p + hdr::UsedBlocks, static_cast<std::uint16_t>(chain_.size()));
    header_.fileBlocks = std::max(header_.fileBlocks, blocksInFile_);
    PutLe16(p + hdr::FileBlocks, static_cast<std::uint16_t>(header_.fileBlocks));
    PutLe16(p + hdr::FirstBlock, static_cast<std::uint16_t>(chain_.empty() ? 0 : chain_.front().number));
    PutLe16(p + hdr::LastBlock, static_cast<std::uint16_t>(chain_.empty() ? 0 : chain_.back().number));
    PutLe16(p + hdr::MaxBlocks, static_cast<std::uint16_t>(header_.fileBlocks));
    PutLe16(p + hdr::FirstFree, static_cast<std::uint16_t>(header_.firstFree));
    PutLe32(p + hdr::AutoInc, header_.autoInc);
    ++p[hdr::ChangeCount1];
    db_.writeAt(0, p, 0x58);
}

std::int64_t ParadoxTable::updateRecord(std::int64_t record, const std::vector<Value>& values,
                                const std::vector<bool>& changed)
{
    checkWritable("change a record");
    checkValues(values);
    auto lock = writeLock();
    flushAppends();
    checkRecord(record);
    std::vector<unsigned char> old(recordBytes(record), recordBytes(record) + header_.recordSize);
    std::vector<std::uint32_t> released;
    std::string key = keyOf(values, &changed, old.data());
    bool moves = keyWidth_ > 0 && std::memcmp(key.data(), old.data(), static_cast<size_t>(keyWidth_)) != 0;
    if (moves) {
        bool duplicate = false;
        keyPosition(key, duplicate);
        if (duplicate) throw EngineError(name_ + ": key violation; another record has the same key");
    }
    std::string bytes = encodeRecord(values, &changed, old.data(), released);
    try {
        record = putRecord(record, bytes);   // a new key moves the record to its key's place
    } catch (const EngineError& e) {
        followFailedWrite(e);
        throw;
    }
    keepSecondary({Change::Updated, record, std::string(old.begin(), old.end())});
    for (std::uint32_t ref : released) releaseBlob(ref);
    return record;
}

void ParadoxTable::releaseBlob(std::uint32_t ref)
{
    if (!mb_ && !fileio::FileExists(fileio::WithExtension(path_, ".mb"))) return;   // nothing to free
    blobs(false).release(ref);
}

std::int64_t ParadoxTable::appendRecord(const std::vector<Value>& values)
{
    checkWritable("add a record");
    checkValues(values);
    auto lock = writeLock();
    // The values with the autoincrement fields numbered (a copy only where there are such fields).
    std::vector<Value> numbered;
    const std::vector<Value>* use = &values;
    std::uint32_t autoInc = header_.autoInc;
    for (size_t k = 0; k < header_.fields.size(); ++k) {
        if (header_.fields[k].code != pxAutoInc) continue;
        if (use == &values) {
            numbered = values;
            use = &numbered;
        }
        std::vector<Value>& v = numbered;
        if (v[k].isNull()) {
            v[k] = Value::integer(static_cast<std::int64_t>(++autoInc));
        } else {
            double d = 0;
            if (ValueAsNumber(v[k], d) && d > autoInc && d <= 2147483647.0) autoInc = static_cast<std::uint32_t>(d);
        }
    }
    std::vector<std::uint32_t> released;
    if (appendLock_ && (keyWidth_ == 0 || appendsAtEnd(keyOf(*use, nullptr, nullptr)))) {
        std::string bytes = encodeRecord(*use, nullptr, nullptr, released);
        header_.autoInc = autoInc;
        const std::int64_t at = appendAtEnd(bytes);
        if (!secondary_.empty()) appended_.push_back(at);
        return at;
    }
    flushAppends();
    std::int64_t position = total_;
    if (keyWidth_ > 0) {
        bool duplicate = false;
        position = keyPosition(keyOf(*use, nullptr, nullptr), duplicate);
        if (duplicate) throw EngineError(name_ + ": key violation; another record has the same key");
    }
    std::string bytes = encodeRecord(*use, nullptr, nullptr, released);
    std::int64_t at = 0;
    try {
        at = insertAt(position, bytes);
        header_.autoInc = autoInc;
        writeHeaderCounts();
        if (keyWidth_ > 0) {
            if (appendLock_) indexStale_ = true;   // written once the appends end
            else rebuildIndex();
        }
    } catch (const EngineError& e) {
        followFailedWrite(e);
        throw;
    }
    if (appendLock_) {
        if (!secondary_.empty()) appended_.push_back(at);   // the indexes are written once the appends end
    } else {
        keepSecondary({Change::Added, at, {}});
    }
    return at;
}

void ParadoxTable::deleteRecord(std::int64_t record)
{
    checkWritable("delete a record");
    auto lock = writeLock();
    flushAppends();
    checkRecord(record);
    const std::string old(reinterpret_cast<const char*>(recordBytes(record)), static_cast<size_t>(header_.recordSize));
    std::vector<std::uint32_t> blobs;
    try {
        blobs = dropRecord(record);
    } catch (const EngineError& e) {
        followFailedWrite(e);
        throw;
    }
    keepSecondary({Change::Deleted, record, old});
    for (std::uint32_t ref : blobs) releaseBlob(ref);
}

} // namespace tarnel::paradox

namespace tarnel::paradox {

std::vector<IndexTag> ParadoxTable::indexTags()
{
    std::vector<IndexTag> out;
    for (const std::string& path : FindSecondaryIndexFiles(path_)) {
        const SecondaryIndex index = ReadSecondaryIndex(path, defs_);
        IndexTag tag;
        tag.file = BaseName(path);
        tag.name = index.name;
        for (int f : index.fields) tag.expression += (tag.expression.empty() ? "" : ",") + defs_[size_t(f)].name;
        tag.unique = index.unique;
        tag.descending = index.descending;
        tag.caseInsensitive = index.caseInsensitive;
        out.push_back(std::move(tag));
    }
    return out;
}

} // namespace tarnel::paradox
