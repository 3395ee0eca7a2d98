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
constexpr int kBlockHeader = 6;
// Blocks gathered before they are written (a run of 1 MiB with 4 KiB blocks).
constexpr size_t kFlushBlocks = 256;
} // namespace

std::unique_ptr<File::Lock> ParadoxTable::writeLock()
{
    if (appendLock_) return nullptr;   // held for the appends already
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
}

void ParadoxTable::endAppends()
{
    if (!appendLock_) return;
    try {
        flushAppends();
    } catch (...) {
        appendLock_.reset();
        throw;
    }
    appendLock_.reset();
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
    const int cap = capacity();
    if (pending_.empty()) {
        if (chain_.empty()) {
            int number = allocateBlock();
            chain_.push_back({number, 0, {}});
            prefix_.push_back(0);
            pending_.push_back({number, 0, std::vector<unsigned char>(static_cast<size_t>(header_.blockSize), 0)});
        } else {
            PendingBlock last;
            last.number = chain_.back().number;
            readBlock(last.number, last.data);
            last.prev = GetLe16(last.data.data() + 2);
            pending_.push_back(std::move(last));
        }
        pendingFrom_ = chain_.size() - 1;
    }
    if (chain_.back().count >= cap) {
        if (pending_.size() >= kFlushBlocks) {
            flushAppends();
            return appendAtEnd(bytes);
        }
        int number = allocateBlock();
        pending_.push_back({number, chain_.back().number,
                            std::vector<unsigned char>(static_cast<size_t>(header_.blockSize), 0)});
        prefix_.push_back(total_);
        chain_.push_back({number, 0, {}});
    }
    Block& b = chain_.back();
    unsigned char* at = pending_.back().data.data() + kBlockHeader + static_cast<size_t>(b.count) * rs;
    std::memcpy(at, bytes.data(), rs);
    if (b.count == 0) b.firstKey = bytes.substr(0, static_cast<size_t>(keyWidth_));
    ++b.count;
    return total_++;
}

void ParadoxTable::flushAppends()
{
    if (pending_.empty() && !indexStale_) return;
    try {
        const size_t n = pending_.size();
        auto finish = [&](size_t i) {
            PendingBlock& p = pending_[i];
            int next = i + 1 < n ? pending_[i + 1].number : 0;
            int count = chain_[pendingFrom_ + i].count;
            auto& d = p.data;
            PutLe16(d.data(), static_cast<std::uint16_t>(next));
            PutLe16(d.data() + 2, static_cast<std::uint16_t>(p.prev));
            PutLe16(d.data() + 4, static_cast<std::uint16_t>(static_cast<std::int16_t>((count - 1) * header_.recordSize)));
            if (cachedBlock_ == p.number) cachedBlock_ = 0;
        };
        // The new blocks, runs of neighbours in one write each.
        std::vector<unsigned char> run;
        int runStart = 0;
        for (size_t i = 1; i < n; ++i) {
            finish(i);
            if (!run.empty() && pending_[i].number != runStart + static_cast<int>(run.size() / pending_[i].data.size())) {
                db_.writeAt(blockOffset(runStart), run.data(), run.size());
                run.clear();
            }
            if (run.empty()) runStart = pending_[i].number;
            run.insert(run.end(), pending_[i].data.begin(), pending_[i].data.end());
        }
        if (!run.empty()) db_.writeAt(blockOffset(runStart), run.data(), run.size());
        // Then the block that links them into the chain, then the header.
        if (n > 0) {
            finish(0);
            db_.writeAt(blockOffset(pending_[0].number), pending_[0].data.data(), pending_[0].data.size());
        }
        pending_.clear();
        writeHeaderCounts();
        if (keyWidth_ > 0) rebuildIndex();
        indexStale_ = false;
    } catch (...) {
        pending_.clear();
        try {
            reload();   // what the files hold now
        } catch (...) {
            // The error that stopped the appends is the one to tell.
        }
        throw;
    }
}

} // namespace tarnel::paradox
