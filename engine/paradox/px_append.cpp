// Many appends in a row (batch moves): the records are laid into data blocks
// in memory and written a run of blocks at a time, followed once by the
// header (and the primary index of a keyed table).
//
// The order of the writes keeps the files readable after a failure at any
// point: the new blocks are written first, outside the chain; the chain's
// last block then takes its new records and links them in; the header's
// counts come last and may only be lower than the blocks hold, which a
// reader accepts. A failure loses the records not yet written.
#include <cstring>

#include "engine/error.h"
#include "engine/paradox/px_table.h"

namespace tarnel::paradox {

namespace {
// Blocks gathered before they are written (a run of 1 MiB with 4 KiB blocks).
constexpr size_t kFlushBlocks = 256;
} // namespace

std::unique_ptr<File::Lock> ParadoxTable::writeLock()
{
    if (appendLock_ || batchLock_) return nullptr;   // held for the appends or the batch already
    auto lock = std::make_unique<File::Lock>(db_);
    refresh();
    return lock;
}

void ParadoxTable::beginAppends()
{
    checkWritable("add records");
    if (appendLock_) return;
    auto lock = std::make_unique<File::Lock>(db_);
    refresh();
    appendLock_ = std::move(lock);
    appended_.clear();
}

void ParadoxTable::endAppends()
{
    if (!appendLock_) return;
    try {
        flushAppends();
        keepAppended();   // the secondary indexes, once for all the records added
    } catch (...) {
        appended_.clear();
        appendLock_.reset();
        throw;
    }
    appendLock_.reset();
}

void ParadoxTable::beginBatch()
{
    checkWritable("change records");
    if (batch_) return;
    std::unique_ptr<File::Lock> lock;
    if (!appendLock_) {
        lock = std::make_unique<File::Lock>(db_);
        refresh();
    }
    batchLock_ = std::move(lock);
    batch_ = true;
    secondaryStale_ = false;
}

// The indexes the batch's changes left behind, written from what the table
// holds; the lock is let go whatever happens.
void ParadoxTable::endBatch()
{
    if (!batch_) return;
    batch_ = false;
    std::string lost;
    try {
        flushAppends();   // the primary index, when the order changed
        if (secondaryStale_) lost = rewriteSecondary();
    } catch (...) {
        batchLock_.reset();
        throw;
    }
    batchLock_.reset();
    if (!lost.empty()) throw EngineError(name_ + ": the index files could not follow the changes: " + lost);
}

// Whether a record with this key goes after every record there is. Throws
// on a key that is there already.
bool ParadoxTable::appendsAtEnd(const std::string& key)
{
    if (keyWidth_ <= 0 || total_ == 0) return true;
    int order = std::memcmp(recordBytes(total_ - 1), key.data(), static_cast<size_t>(keyWidth_));
    if (order == 0) throw EngineError(name_ + ": key violation; another record has the same key");
    return order < 0;
}

std::int64_t ParadoxTable::appendAtEnd(const std::string& bytes)
{
    const size_t rs = static_cast<size_t>(header_.recordSize);
    const size_t bs = static_cast<size_t>(header_.blockSize);
    const int cap = capacity();
    auto addBlock = [&](int number, int prev) {
        // Room for a whole run is kept from the start: pointers into it stay valid.
        if (pendingData_.capacity() < (kFlushBlocks + 1) * bs) pendingData_.reserve((kFlushBlocks + 1) * bs);
        pending_.push_back({number, prev});
        pendingData_.resize(pending_.size() * bs, 0);
    };
    if (pending_.empty()) {
        pendingData_.clear();
        if (chain_.empty()) {
            int number = allocateBlock();
            chain_.push_back({number, 0, {}});
            prefix_.push_back(0);
            addBlock(number, 0);
        } else {
            int number = chain_.back().number;
            addBlock(number, 0);
            db_.readExact(blockOffset(number), pendingBlock(0), bs, "data");
            pending_[0].prev = GetLe16(pendingBlock(0) + 2);
        }
        pendingFrom_ = chain_.size() - 1;
    }
    if (chain_.back().count >= cap) {
        if (pending_.size() >= kFlushBlocks) {
            flushAppends();
            return appendAtEnd(bytes);
        }
        int number = allocateBlock();
        addBlock(number, chain_.back().number);
        prefix_.push_back(total_);
        chain_.push_back({number, 0, {}});
    }
    Block& b = chain_.back();
    std::memcpy(pendingBlock(pending_.size() - 1) + kBlockHeader + static_cast<size_t>(b.count) * rs, bytes.data(), rs);
    if (b.count == 0) b.firstKey = bytes.substr(0, static_cast<size_t>(keyWidth_));
    ++b.count;
    return total_++;
}

// A keyed table places each record by its key, and an autoincrement field
// is numbered here: records of such tables are only made from values.
bool ParadoxTable::placesRecords() const
{
    if (keyWidth_ > 0) return true;
    for (const PxField& f : header_.fields)
        if (f.code == pxAutoInc) return true;
    return false;
}

std::string ParadoxTable::storedLayout(int field) const
{
    const PxField& f = header_.fields.at(static_cast<size_t>(field));
    if (f.isBlob() || f.code == pxAutoInc) return {};
    return "px " + std::to_string(f.code) + " " + std::to_string(f.sizeByte) + " " + std::to_string(f.width) + " cp " +
           std::to_string(header_.codePage);
}

std::string_view ParadoxTable::storedBytes(std::int64_t record, int field)
{
    const PxField& f = header_.fields.at(static_cast<size_t>(field));
    return {reinterpret_cast<const char*>(recordBytes(record)) + f.offset, static_cast<size_t>(f.width)};
}

std::int64_t ParadoxTable::appendStored(const std::vector<Value>& values, const std::vector<std::string_view>& stored)
{
    bool any = false;
    for (std::string_view s : stored) any = any || !s.empty();
    if (!any) return appendRecord(values);
    if (placesRecords())
        throw EngineError(name_ + ": a keyed or numbering table takes its records only as values");
    checkWritable("add a record");
    checkValues(values);
    auto lock = writeLock();
    std::vector<std::uint32_t> released;
    std::string bytes = encodeRecord(values, nullptr, nullptr, released);
    for (size_t k = 0; k < stored.size() && k < header_.fields.size(); ++k) {
        const PxField& f = header_.fields[k];
        if (stored[k].size() == static_cast<size_t>(f.width) && !f.isBlob())
            std::memcpy(bytes.data() + f.offset, stored[k].data(), stored[k].size());
    }
    if (appendLock_) {
        const std::int64_t at = appendAtEnd(bytes);
        if (!secondary_.empty()) appended_.push_back(at);   // the indexes are written once the appends end
        return at;
    }
    flushAppends();
    std::int64_t at = 0;
    try {
        at = insertAt(total_, bytes);
        writeHeaderCounts();
    } catch (const EngineError& e) {
        followFailedWrite(e);
        throw;
    }
    keepSecondary({Change::Added, at, {}});
    return at;
}

void ParadoxTable::flushAppends()
{
    if (pending_.empty() && (!indexStale_ || batch_)) return;   // a batch writes the primary index as it ends
    try {
        const size_t n = pending_.size(), bs = static_cast<size_t>(header_.blockSize);
        for (size_t i = 0; i < n; ++i) {
            SetBlockHeader(pendingBlock(i), header_.blockSize, header_.recordSize,
                           i + 1 < n ? pending_[i + 1].number : 0, pending_[i].prev, chain_[pendingFrom_ + i].count);
            if (cachedBlock_ == pending_[i].number) cachedBlock_ = 0;
        }
        // The new blocks, runs of neighbours in one write each.
        for (size_t i = 1; i < n;) {
            size_t j = i + 1;
            while (j < n && pending_[j].number == pending_[j - 1].number + 1) ++j;
            db_.writeAt(blockOffset(pending_[i].number), pendingBlock(i), (j - i) * bs);
            i = j;
        }
        // Then the block that links them into the chain, then the header.
        if (n > 0) db_.writeAt(blockOffset(pending_[0].number), pendingBlock(0), bs);
        pending_.clear();
        writeHeaderCounts();
        if (batch_) {
            indexStale_ = indexStale_ || (n > 0 && keyWidth_ > 0);
        } else {
            if (keyWidth_ > 0) rebuildIndex();
            indexStale_ = false;
        }
    } catch (...) {
        pending_.clear();
        try {
            reload();   // what the files hold now
        } catch (...) {
            // The error that stopped the appends is the one to tell.
        }
        try {
            throw;
        } catch (const std::exception& e) {
            followFailedWrite(e);   // the secondary indexes follow the records that made it
            throw;
        }
    }
}

} // namespace tarnel::paradox
