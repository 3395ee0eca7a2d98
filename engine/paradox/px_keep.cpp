// Keeping a Paradox table's secondary indexes true to its records.
//
// The order of the writes: the table's change first, complete with its
// header and primary index; then every secondary index made anew beside the
// old one and moved over it. When an index cannot be written, the table's
// change is undone and the indexes written again from the records as they
// were, so that table and indexes agree whichever write failed. When the
// table's own write fails, the indexes follow what the table holds now.
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
        rebuildIndex();
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
    if (keyWidth_ > 0 && writeIndex) rebuildIndex();
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

void ParadoxTable::keepSecondary(const Change& change)
{
    if (secondary_.empty() || !touchesSecondary(change)) return;
    try {
        WriteSecondaryIndexes(*this, secondary_);
        appended_.clear();   // the appends gathered so far are in the indexes too
    } catch (const std::exception& e) {
        undoAfter(e, "the change is undone", [&] { undo(change); });
    }
}

void ParadoxTable::keepAppended()
{
    if (secondary_.empty() || appended_.empty()) return;
    try {
        WriteSecondaryIndexes(*this, secondary_);
        appended_.clear();
    } catch (const std::exception& e) {
        const std::string what = "the " + std::to_string(appended_.size()) + " records added are taken out again";
        undoAfter(e, what, [&] { undoAppends(); });
    }
}

void ParadoxTable::undoAfter(const std::exception& failure, const std::string& what, const std::function<void()>& undoIt)
{
    std::string message = name_ + ": " + what + ", because the index files could not follow: " + failure.what();
    try {
        cachedBlock_ = 0;
        undoIt();
    } catch (const std::exception& again) {
        throw EngineError(name_ + ": the index files could not follow a change (" + failure.what() +
                          "), and the change could not be undone: " + again.what());
    }
    try {
        // Indexes moved into place before the failure follow the records back.
        WriteSecondaryIndexes(*this, secondary_);
        appended_.clear();
    } catch (const std::exception& again) {
        message += " Nor could they be written again afterwards: " + std::string(again.what());
    }
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
    if (secondary_.empty()) return;
    appended_.clear();
    try {
        reload();
        if (keyWidth_ > 0) rebuildIndex();
        WriteSecondaryIndexes(*this, secondary_);
    } catch (const std::exception& again) {
        throw EngineError(std::string(failure.what()) + " The index files could not follow what the table holds now: " +
                          again.what());
    }
}

} // namespace tarnel::paradox
