// Keeping a Paradox table's secondary indexes true to its records.
//
// The order of the writes: the table's change first, complete with its
// header and primary index; then every secondary index made anew beside the
// old one and moved over it. When an index cannot be written, the table's
// change is undone and the indexes written again from the records as they
// were, so that table and indexes agree whichever write failed. When the
// table's own write fails, the indexes follow what the table holds now.
//
// In a batch of updates and deletes the changes stand as they are written,
// and the indexes are written once when the batch ends (or at a failure),
// from what the table holds then. An index that cannot be written is
// removed rather than left disagreeing with the records.
#include <algorithm>
#include <cstring>

#include "engine/error.h"
#include "engine/paradox/px_table.h"

namespace tarnel::paradox {

std::vector<std::uint32_t> ParadoxTable::blobRefs(const unsigned char* record) const
{
    std::vector<std::uint32_t> refs;
    for (const auto& f : header_.fields)
        if (f.isBlob())
            if (std::uint32_t ref = GetLe32(record + f.offset + f.width - kBlobTail); ref != 0) refs.push_back(ref);
    return refs;
}

// The record at its new bytes: moved to its key's place when its key changes.
std::int64_t ParadoxTable::putRecord(std::int64_t record, const std::string& bytes)
{
    const bool moves = keyWidth_ > 0 && std::memcmp(bytes.data(), recordBytes(record), static_cast<size_t>(keyWidth_)) != 0;
    if (moves) {
        // The record at its new place first, then the old one removed: a
        // failure between the two leaves a record twice, never none.
        bool duplicate = false;
        std::int64_t at = insertAt(keyPosition(bytes, duplicate), bytes);
        removeAt(at <= record ? record + 1 : record);
        record = at > record ? at - 1 : at;
        writeHeaderCounts();
        keepPrimary();
    } else {
        auto [k, slot] = locate(record);
        db_.writeAt(blockOffset(chain_[k].number) + kBlockHeader + static_cast<std::int64_t>(slot) * header_.recordSize,
                    bytes.data(), bytes.size());
        if (cachedBlock_ == chain_[k].number) cachedBlock_ = 0;
        writeHeaderCounts();   // tells other writers that blobs may have moved
    }
    return record;
}

// Takes the record out; returns its blobs, which the caller frees once the
// change stands.
std::vector<std::uint32_t> ParadoxTable::dropRecord(std::int64_t record, bool writeIndex)
{
    std::vector<std::uint32_t> refs = blobRefs(recordBytes(record));
    // The header's count may be lower than the blocks hold, never higher: it
    // goes down before the record goes.
    unsigned char count[4];
    PutLe32(count, static_cast<std::uint32_t>(total_ - 1));
    db_.writeAt(hdr::NumRecords, count, 4);
    removeAt(record);
    writeHeaderCounts();
    if (writeIndex) keepPrimary();
    return refs;
}

// Takes out the records from count on, which fill the end of the chain.
void ParadoxTable::truncateTo(std::int64_t count)
{
    if (count >= total_) return;
    std::vector<std::uint32_t> refs;
    if (std::any_of(header_.fields.begin(), header_.fields.end(), [](const PxField& f) { return f.isBlob(); }))
        for (std::int64_t r = count; r < total_; ++r)
            for (std::uint32_t ref : blobRefs(recordBytes(r))) refs.push_back(ref);
    unsigned char number[4];
    PutLe32(number, static_cast<std::uint32_t>(count));
    db_.writeAt(hdr::NumRecords, number, 4);
    // The block that ends the chain now, then the blocks after it freed.
    size_t k = 0;
    int keep = 0;
    if (count > 0) {
        auto [block, slot] = locate(count - 1);
        k = block;
        keep = slot + 1;
    }
    std::vector<unsigned char> data;
    readBlock(chain_[k].number, data);
    writeBlock(chain_[k].number, data, 0, GetLe16(data.data() + 2), keep);
    chain_[k].count = keep;
    for (size_t j = chain_.size(); j-- > k + 1;) freeBlock(chain_[j].number);
    chain_.resize(k + 1);
    rebuildPrefix();
    writeHeaderCounts();
    if (keyWidth_ > 0) rebuildIndex();
    for (std::uint32_t ref : refs) releaseBlob(ref);
}

// Whether an update changed what an index holds: a value it keys, or the
// record's place.
bool ParadoxTable::touchesSecondary(const Change& change)
{
    if (change.kind != Change::Updated) return true;
    const unsigned char* now = recordBytes(change.at);
    const auto* old = reinterpret_cast<const unsigned char*>(change.old.data());
    if (std::memcmp(now, old, static_cast<size_t>(keyWidth_)) != 0) return true;
    for (const SecondaryIndex& index : secondary_)
        for (int f : index.fields) {
            const PxField& field = header_.fields[static_cast<size_t>(f)];
            if (std::memcmp(now + field.offset, old + field.offset, static_cast<size_t>(field.width)) != 0) return true;
        }
    return false;
}

// The primary index after a change of the records' order; in a batch, once it ends.
void ParadoxTable::keepPrimary()
{
    if (keyWidth_ <= 0) return;
    if (batch_) indexStale_ = true;
    else rebuildIndex();
}

void ParadoxTable::keepSecondary(const Change& change)
{
    if (secondary_.empty() || !touchesSecondary(change)) return;
    // In a batch the indexes are written once it ends; but a unique index
    // refuses a repeated key as the change is made, while it can still be
    // undone, and that needs the index written now.
    const bool unique = std::any_of(secondary_.begin(), secondary_.end(), [](const SecondaryIndex& i) { return i.unique; });
    if (batch_ && (change.kind == Change::Deleted || !unique)) {
        secondaryStale_ = true;
        return;
    }
    size_t written = 0;
    try {
        WriteSecondaryIndexes(*this, secondary_, &written);
        appended_.clear();   // the appends gathered so far are in the indexes too
    } catch (const std::exception& e) {
        undoAfter(e, written, "the change is undone", [&] { undo(change); });
    }
}

void ParadoxTable::keepAppended()
{
    if (secondary_.empty() || appended_.empty()) return;
    size_t written = 0;
    try {
        WriteSecondaryIndexes(*this, secondary_, &written);
        appended_.clear();
    } catch (const std::exception& e) {
        const std::string what = "the " + std::to_string(appended_.size()) + " records added are taken out again";
        undoAfter(e, written, what, [&] { undoAppends(); });
    }
}

void ParadoxTable::undoAfter(const std::exception& failure, size_t written, const std::string& what,
                             const std::function<void()>& undoIt)
{
    std::string message = name_ + ": " + what + ", because the index files could not follow: " + failure.what();
    try {
        cachedBlock_ = 0;
        undoIt();
    } catch (const std::exception& again) {
        throw EngineError(name_ + ": the index files could not follow a change (" + failure.what() +
                          "), and the change could not be undone: " + again.what());
    }
    // The indexes moved into place before the failure follow the records
    // back; the others hold them as they are again.
    if (const std::string lost = rewriteSecondary(written); !lost.empty())
        message += " Nor could they be written again afterwards: " + lost;
    throw EngineError(message);
}

void ParadoxTable::undo(const Change& change)
{
    std::vector<std::uint32_t> refs;
    switch (change.kind) {
    case Change::Added:
        refs = dropRecord(change.at);
        break;
    case Change::Updated: {
        // The blobs the new values were given go; the old ones were kept.
        refs = blobRefs(recordBytes(change.at));
        const std::vector<std::uint32_t> old = blobRefs(reinterpret_cast<const unsigned char*>(change.old.data()));
        refs.erase(std::remove_if(refs.begin(), refs.end(),
                                  [&](std::uint32_t r) { return std::find(old.begin(), old.end(), r) != old.end(); }),
                   refs.end());
        putRecord(change.at, change.old);
        break;
    }
    case Change::Deleted: {
        std::int64_t at = change.at;
        if (keyWidth_ > 0) {
            bool duplicate = false;
            at = keyPosition(change.old, duplicate);
        }
        insertAt(at, change.old);
        writeHeaderCounts();
        if (keyWidth_ > 0) rebuildIndex();
        break;
    }
    }
    for (std::uint32_t ref : refs) releaseBlob(ref);
}

// The records appended since the indexes were last written, the last first;
// those that ended up at the end of the chain go in one cut.
void ParadoxTable::undoAppends()
{
    size_t n = appended_.size();
    std::int64_t end = total_;
    while (n > 0 && appended_[n - 1] == end - 1) {
        --n;
        --end;
    }
    truncateTo(end);
    std::vector<std::uint32_t> refs;
    while (n > 0)
        for (std::uint32_t ref : dropRecord(appended_[--n], false)) refs.push_back(ref);
    if (keyWidth_ > 0) rebuildIndex();
    for (std::uint32_t ref : refs) releaseBlob(ref);
    appended_.clear();
}

void ParadoxTable::followFailedWrite(const std::exception& failure)
{
    // In a batch the primary index may be behind as well.
    if (secondary_.empty() && !batch_) return;
    appended_.clear();
    std::string lost;
    try {
        reload();
        if (keyWidth_ > 0) rebuildIndex();
        indexStale_ = false;
        lost = rewriteSecondary();
    } catch (const std::exception& again) {
        throw EngineError(std::string(failure.what()) + " The index files could not follow what the table holds now: " +
                          again.what());
    }
    if (!lost.empty())
        throw EngineError(std::string(failure.what()) + " The index files could not follow what the table holds now: " + lost);
}

// Writes every secondary index anew from the records. An index that cannot
// be written, and that may not hold them (those before staleBelow), is
// removed, its entries first, then their index: a reader then finds no
// index, or one it refuses, never one that disagrees with the records.
// Returns what failed, naming the files; empty when all went well.
std::string ParadoxTable::rewriteSecondary(size_t staleBelow)
{
    secondaryStale_ = false;
    appended_.clear();
    if (secondary_.empty()) return {};
    size_t written = 0;
    try {
        WriteSecondaryIndexes(*this, secondary_, &written);
        return {};
    } catch (const std::exception& e) {
        std::string message = e.what();
        std::vector<std::string> removed;
        std::vector<SecondaryIndex> kept(secondary_.begin(), secondary_.begin() + static_cast<std::ptrdiff_t>(written));
        for (size_t k = written; k < secondary_.size(); ++k) {
            const SecondaryIndex& index = secondary_[k];
            if (k >= staleBelow) {
                kept.push_back(index);
                continue;
            }
            try {
                RemoveFile(index.path);
                removed.push_back(BaseName(index.path));
                RemoveFile(index.indexPath);
                removed.push_back(BaseName(index.indexPath));
            } catch (const std::exception& again) {
                // Still there and out of date: the next change tries to write it again.
                message += " It could not be removed either: " + std::string(again.what());
                if (fileio::FileExists(index.path)) {
                    kept.push_back(index);
                    secondaryStale_ = true;
                }
            }
        }
        secondary_ = std::move(kept);
        if (!removed.empty()) {
            message += " Removed, so as not to disagree with the table:";
            for (const std::string& f : removed) message += " " + f;
            message += '.';
        }
        return message;
    }
}

} // namespace tarnel::paradox
