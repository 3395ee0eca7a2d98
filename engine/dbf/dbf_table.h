#pragma once
// A dBASE or FoxPro table file (with its memo file) as a TableFormat.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/codepage.h"
#include "engine/dbf/dbf_header.h"
#include "engine/dbf/dbf_memo.h"
#include "engine/fileio/file.h"
#include "engine/table_format.h"

namespace tarnel {

class IndexKeeper;
struct IndexRecordChange;

class DbfTable : public TableFormat {
public:
    DbfTable(const std::string& path, TableType asked, bool readOnly);
    ~DbfTable() override;

    TableType type() const override;
    const std::string& path() const override { return file_.path(); }
    const std::vector<FieldDef>& fields() const override { return fields_; }
    std::int64_t physicalCount() const override { return header_.recordCount; }
    bool hasDeletionMarks() const override { return true; }
    bool isDeleted(std::int64_t record) override { return record_(record)[0] == '*'; }
    bool isNull(std::int64_t record, int field) override;
    Value value(std::int64_t record, int field) override;
    void appendText(std::int64_t record, int field, std::string& out) override;
    std::int64_t updateRecord(std::int64_t record, const std::vector<Value>& values,
                      const std::vector<bool>& changed) override;
    std::int64_t appendRecord(const std::vector<Value>& values) override;
    std::string storedLayout(int field) const override;
    StoredRewrite storedRewrite(int field, const TableFormat& from, int fromField) const override;
    bool storedMayBeNaN(int field) const override;
    bool takesStored() const override { return true; }
    std::string_view storedBytes(std::int64_t record, int field) override;
    std::int64_t appendStored(const std::vector<Value>& values, const std::vector<std::string_view>& stored) override;
    void deleteRecord(std::int64_t record) override;
    void beginAppends() override;
    void endAppends() override;
    std::vector<std::string> files() const override;

    int textCodePage() const override { return codePage_->number(); }
    void useUndeclaredCodePage(int codePage) override;
    // Found when the table opens for writing, else when first asked.
    std::string writeBlocked() const override;

    std::vector<IndexTag> indexTags() override;
    // The first candidate tag on plain fields, else the first unique one.
    std::vector<int> primaryKey() const override;
    bool indexedField(int field) override;
    std::optional<std::vector<std::int64_t>> indexedRecords(int field, const Value& low, const Value& high) override;
    // The paths of the index files beside the table.
    std::vector<std::string> indexFiles() const;
    // A record's bytes as stored, deletion mark first (valid until the next read).
    const char* rawRecord(std::int64_t record) { return record_(record); }

    const DbfHeader& header() const { return header_; }
    const CodePage& codePage() const { return *codePage_; }

private:
    const char* record_(std::int64_t record)
    {
        if (record >= cacheFirst_ && record < cacheFirst_ + cacheCount_)
            return cache_.data() + (record - cacheFirst_) * header_.recordLength;
        return load(record);
    }
    const char* load(std::int64_t record);
    const DbfField& raw(int field) const { return header_.fields[static_cast<size_t>(visible_[static_cast<size_t>(field)])]; }
    Value decode(const char* rec, const DbfField& f);
    [[gnu::noinline]] void appendDecoded(const char* rec, int field, std::string& out);
    bool nullBit(const char* rec, int bit) const;
    void encode(std::string& rec, const DbfField& f, const Value& v, bool appending);
    void requireWritable(const char* what) const;
    void refreshCount();
    void stampHeader();
    std::string MemoMissing() const;
    void findUnkeptIndex() const;
    void flushAppends();
    void writeCount(std::int64_t count);
    // Brings the index files up to the records after a change of the given
    // records (all of them are read again when that is quicker, or the
    // change is not known); when they cannot be, undo puts the table back
    // and the error goes on.
    void updateIndexes(const std::vector<IndexRecordChange>& changes, const std::function<void()>& undo);
    struct IndexUse;
    IndexUse& indexUse() const;
    struct ReadIndexes;
    // The index files, each read once per open (and again after a write replaced them).
    const ReadIndexes& readIndexes() const;

    File file_;
    std::unique_ptr<DbfMemo> memo_;
    std::string missingMemo_;   // the memo file's name when it is missing
    DbfHeader header_;
    TableType asked_;
    std::shared_ptr<const CodePage> codePage_;
    std::vector<FieldDef> fields_;
    std::vector<int> visible_;   // field index -> index into header_.fields
    bool declaredCodePage_ = false;   // the language driver byte names the code page
    mutable bool indexChecked_ = false;       // indexBlock_ and indexes_ are known
    mutable std::string indexBlock_;          // why an index file keeps the table from being written
    mutable std::unique_ptr<IndexKeeper> indexes_;   // the index files kept up to date, if any
    mutable std::shared_ptr<ReadIndexes> readIndexes_;   // the index files as read, on first use
    mutable std::shared_ptr<IndexUse> indexUse_;   // lookups and key from them, on first use

    // Appends gathered between beginAppends() and endAppends(), from record pendingFirst_ on.
    std::unique_ptr<File::Lock> appendLock_;
    std::string pending_;
    std::int64_t pendingFirst_ = 0;
    std::int64_t batchStart_ = 0;   // the record count when the appends began

    // Records read ahead: [cacheFirst_, cacheFirst_ + cacheCount_).
    std::vector<char> cache_;
    std::int64_t cacheFirst_ = 0;
    std::int64_t cacheCount_ = 0;
};

} // namespace tarnel
