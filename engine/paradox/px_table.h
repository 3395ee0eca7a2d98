#pragma once
// A Paradox table (.db with its .mb blob file and .px primary index).
//
// Records are numbered in file order along the chain of data blocks. A
// keyed table keeps its records in key order: a new record goes to its key's
// place, and the primary index is rebuilt after every change of the order.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/codepage.h"
#include "engine/fileio/companion_files.h"
#include "engine/fileio/file.h"
#include "engine/paradox/px_blob.h"
#include "engine/paradox/px_header.h"
#include "engine/paradox/px_secondary.h"
#include "engine/table_format.h"

namespace tarnel::paradox {

class ParadoxTable final : public TableFormat {
public:
    // secondary: path is a secondary index's file of entries (.Xnn), read
    // as the keyed table it is laid out as.
    ParadoxTable(const std::string& path, bool readOnly, bool secondary = false);

    TableType type() const override { return TableType::Paradox; }
    const std::string& path() const override { return path_; }
    const std::vector<FieldDef>& fields() const override { return defs_; }
    std::int64_t physicalCount() const override { return total_; }
    bool isDeleted(std::int64_t) override { return false; }
    bool isNull(std::int64_t record, int field) override;
    Value value(std::int64_t record, int field) override;
    std::int64_t updateRecord(std::int64_t record, const std::vector<Value>& values,
                      const std::vector<bool>& changed) override;
    std::int64_t appendRecord(const std::vector<Value>& values) override;
    std::string storedLayout(int field) const override;
    bool takesStored() const override { return !placesRecords(); }
    std::string_view storedBytes(std::int64_t record, int field) override;
    std::int64_t appendStored(const std::vector<Value>& values, const std::vector<std::string_view>& stored) override;
    void deleteRecord(std::int64_t record) override;
    void beginAppends() override;
    void endAppends() override;
    void beginBatch() override;
    void endBatch() override;
    std::vector<int> primaryKey() const override;
    std::vector<std::string> files() const override;
    std::string writeBlocked() const override { return indexBlock_; }
    std::vector<IndexTag> indexTags() override;

    // Writes the primary index (.px) anew from the data blocks; nothing for an unkeyed table.
    void rebuildIndex();

    // The number of the data block that holds the record.
    int blockNumberOf(std::int64_t record) const { return chain_[locate(record).first].number; }

    int version() const { return header_.version; }
    int codePage() const { return header_.codePage; }

private:
    struct Block {
        int number = 0;
        int count = 0;
        std::string firstKey;   // keyed tables: the key of the block's first record
    };
    struct Pending;   // blob writes prepared for a record

    void loadChain();
    std::int64_t blockOffset(int number) const;
    int capacity() const { return (header_.blockSize - 6) / header_.recordSize; }
    std::pair<size_t, int> locate(std::int64_t record) const;
    const unsigned char* recordBytes(std::int64_t record);
    void readBlock(int number, std::vector<unsigned char>& out);
    void writeBlock(int number, std::vector<unsigned char>& data, int next, int prev, int count);
    void rebuildPrefix();
    void checkRecord(std::int64_t record) const;
    void checkWritable(const char* what) const;
    void checkValues(const std::vector<Value>& values) const;

    Value blobValue(const PxField& f, const unsigned char* p);
    BlobFile& blobs(bool create);
    void releaseBlob(std::uint32_t ref);
    std::string encodeRecord(const std::vector<Value>& values, const std::vector<bool>* changed,
                             const unsigned char* old, std::vector<std::uint32_t>& released);

    std::string keyOf(const std::vector<Value>& values, const std::vector<bool>* changed,
                      const unsigned char* old);
    int allocateBlock();
    void freeBlock(int number);
    std::int64_t insertAt(std::int64_t position, const std::string& bytes);
    void removeAt(std::int64_t position);
    std::int64_t keyPosition(const std::string& bytes, bool& duplicate);
    void refresh();
    void reload();
    void writeHeaderCounts();
    std::unique_ptr<File::Lock> writeLock();

    // The secondary indexes, kept true to the records (px_keep.cpp). A change
    // is written to the table first; the indexes are then written anew, and
    // if they cannot be, the change is undone. Appends gathered between
    // beginAppends() and endAppends() are undone together, when the indexes
    // are written once at the end. Between beginBatch() and endBatch() the
    // changes stand as written and the indexes are written once at the end,
    // from what the table holds then.
    struct Change {
        enum Kind { Added, Updated, Deleted } kind;
        std::int64_t at;   // the record's place after the change (before it, for a deletion)
        std::string old;   // the record's bytes before the change
    };
    void keepPrimary();
    void keepSecondary(const Change& change);
    void keepAppended();
    bool touchesSecondary(const Change& change);
    // written: the indexes moved into place before the failure.
    [[noreturn]] void undoAfter(const std::exception& failure, size_t written, const std::string& what,
                                const std::function<void()>& undo);
    void undo(const Change& change);
    void undoAppends();
    void followFailedWrite(const std::exception& failure);
    std::string rewriteSecondary(size_t staleBelow = SIZE_MAX);
    std::int64_t putRecord(std::int64_t record, const std::string& bytes);
    std::vector<std::uint32_t> dropRecord(std::int64_t record, bool writeIndex = true);
    void truncateTo(std::int64_t count);
    std::vector<std::uint32_t> blobRefs(const unsigned char* record) const;


    // Keyed, or numbering a field: records are made only from values.
    bool placesRecords() const;
    // Appends gathered between beginAppends() and endAppends() (px_append.cpp).
    bool appendsAtEnd(const std::string& key);
    std::int64_t appendAtEnd(const std::string& bytes);
    void flushAppends();

    std::string path_;
    std::string name_;   // for messages
    bool readOnly_;
    File db_;
    std::unique_ptr<BlobFile> mb_;
    PxHeader header_;
    std::vector<FieldDef> defs_;
    std::shared_ptr<const CodePage> cp_;
    int keyWidth_ = 0;

    std::vector<Block> chain_;
    std::vector<std::int64_t> prefix_;   // records before each block of the chain
    std::int64_t total_ = 0;
    int blocksInFile_ = 0;

    // The blocks cachedBlock_ on (cachedRun_ of them; 0: none) as read. A
    // writable table keeps one block, so that a write need forget only it.
    int cachedBlock_ = 0;
    int cachedRun_ = 1;
    static constexpr int kReadRun = 32;
    std::vector<unsigned char> cache_;
    mutable size_t lastLocated_ = 0;   // the chain index locate() found last

    // While appends are gathered: the lock held for them, and the blocks at
    // the end of the chain that are not written yet (the first of them is
    // the chain's last block on disk, or a new first block), in chain order
    // from chain_[pendingFrom_] on.
    std::unique_ptr<File::Lock> appendLock_;
    struct PendingBlock {
        int number = 0;
        int prev = 0;
    };
    std::vector<PendingBlock> pending_;
    std::vector<unsigned char> pendingData_;   // their bytes, one block after the other
    size_t pendingFrom_ = 0;
    unsigned char* pendingBlock(size_t i) { return pendingData_.data() + i * static_cast<size_t>(header_.blockSize); }
    bool indexStale_ = false;   // records went into a keyed table's middle since the index was written
    std::string indexBlock_;    // why the table must not be written (secondary indexes), empty when it may
    std::vector<SecondaryIndex> secondary_;   // kept true to the records
    std::vector<std::int64_t> appended_;      // places of the records appended since the indexes were written
    // Between beginBatch() and endBatch(): the lock held for the batch, and
    // whether a change since its start touched what a secondary index holds.
    std::unique_ptr<File::Lock> batchLock_;
    bool batch_ = false;
    bool secondaryStale_ = false;
};

// The files beside a table that belong to it: blob file, primary and
// secondary indexes, validity checks.
std::vector<std::string> CompanionFiles(const std::string& path);

void CreateParadoxFiles(const std::string& path, const std::vector<FieldDef>& fields, int codePage);

} // namespace tarnel::paradox
