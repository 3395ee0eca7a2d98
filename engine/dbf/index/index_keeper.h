#pragma once
// Keeps the index files beside a dBASE/FoxPro table true to its records.
// Every tag of a .cdx, .idx, .ndx or .mdx whose key expression and filter
// can be evaluated is kept (a descending one with its keys from the last to
// the first); anything else (a .ntx, an expression or filter beyond the
// known ones) makes blocked() say which, and the table must not be written.
//
// A tag is rewritten whole from the table's records, sorted, into a new file
// that replaces the old one in one rename.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/dbf/dbf_header.h"
#include "engine/dbf/index/index_file.h"
#include "engine/dbf/index/index_key.h"
#include "engine/dbf/index/index_patch.h"
#include "engine/dbf/index/index_writer.h"
#include "engine/table_format.h"

namespace tarnel {

// One record's change: its bytes before (null for a new record) and after.
struct IndexRecordChange {
    std::uint32_t record = 0;   // 1-based
    const char* before = nullptr;
    const char* after = nullptr;
};

class IndexKeeper {
public:
    // paths: the index files beside the table; header: the table's (it must
    // outlive the keeper); open: reads an index file (IndexFile::open when
    // not given), so that files the table has read already are not read again.
    using Opener = std::function<std::shared_ptr<const IndexFile>(const std::string& path)>;
    IndexKeeper(const std::vector<std::string>& paths, const DbfHeader& header, const Opener& open = {});

    // Empty when every tag can be kept; else what cannot, e.g. "tag NAME of
    // T.cdx (SUBSTR(NAME,1,3))".
    const std::string& blocked() const { return blocked_; }
    // What is wrong with a damaged index file, when that is why.
    const std::string& damage() const { return damage_; }
    bool empty() const { return files_.empty(); }

    // Whether a record changing from before to after changes an entry of a tag.
    bool changes(const char* before, const char* after) const;

    // Brings every index file from the records as they were to the records
    // as changed, by changing the nodes that hold their keys. False, having
    // written nothing, when some change cannot be made that way (then
    // rebuild() is the way). Throws, leaving every index file as it was, when
    // a file cannot be written or a unique key of a candidate tag would repeat.
    // record and count give the table's records as changed (a unique tag
    // that loses the record it held for a key takes the next one holding it).
    using RecordAt = std::function<const char*(std::int64_t)>;
    bool patch(const std::vector<IndexRecordChange>& changes, const RecordAt& record, std::int64_t count) const;

    // Rewrites every index file from the records 0..count-1. Throws, leaving
    // every index file as it was, when a file cannot be written or a unique
    // key of a candidate tag would repeat.
    void rebuild(const RecordAt& record, std::int64_t count) const;

private:
    struct Tag {
        IndexTag info;
        KeyExpression key;
    };
    struct KeptFile {
        std::string path;
        bool ndx = false, compound = false, plain = false, mdx = false;   // plain: an uncompressed .idx
        std::vector<Tag> tags;
    };
    using KeyOf = std::function<std::optional<std::string>(const char*)>;
    static void uniqueChange(TreePatch& patch, const TreePatch::Tag& tree, const std::optional<std::string>& before,
                             const std::optional<std::string>& after, std::uint32_t changed, const KeyOf& keyOf,
                             const RecordAt& record, std::int64_t count);
    std::string rebuilt(const KeptFile& file, const std::string& old, const RecordAt& record, std::int64_t count) const;

    const DbfHeader& header_;
    std::vector<KeptFile> files_;
    std::string blocked_;
    std::string damage_;
};

// Keys of one tag over records 0..count-1, in index order (filter applied,
// unique tags keeping the first record of a key).
std::vector<IndexKey> SortedTagKeys(const IndexTag& tag, const KeyExpression& key, const IndexKeeper::RecordAt& record,
                                    std::int64_t count, bool ndxNumber);
std::vector<IndexKey> SortedTagKeys(const IndexTag& tag, const KeyExpression& key, const IndexKeeper::RecordAt& record,
                                    std::int64_t count, KeyOrder order);

// Writes a new .cdx at path with the given tags over the table's records.
struct NewTag {
    std::string name, expression, filter;
    bool candidate = false;
};
void CreateCompoundIndex(const std::string& path, const std::vector<NewTag>& tags, const DbfHeader& header,
                         const IndexKeeper::RecordAt& record, std::int64_t count);

// Writes a new .ndx at path for expression over the table's records (for a
// table whose key fields were re-created, or a user's new index).
void CreateNdxIndex(const std::string& path, const std::string& expression, const DbfHeader& header,
                    const IndexKeeper::RecordAt& record, std::int64_t count, bool unique = false);

} // namespace tarnel

namespace tarnel {

// The index files beside a table about to be re-created, read whole.
struct SavedIndex {
    std::string path, bytes;
};
std::vector<SavedIndex> SaveTableIndexes(const std::string& dbfPath);

// Puts the saved index files back beside the re-created, still empty table at
// dbfPath, each with the tags its fields can still key (their trees empty:
// the rows added afterwards fill them). Returns a line for each tag dropped,
// e.g. "tag DEPTH of cave.cdx (STR(DEPTH,8,2))".
std::vector<std::string> RestoreTableIndexes(const std::string& dbfPath, const std::vector<SavedIndex>& saved);

} // namespace tarnel
