#pragma once
// One TableFormat per file format. A format knows only bytes on disk: the
// header, the field descriptors, record n, the memo/blob blocks, and the
// append/update/delete of a record. The Table above it adds the cursor, the
// edit buffer, the read-only rules and the notifications.
//
// Records are addressed by their physical number, 0-based, in file order.
// Formats that mark deleted records (dBASE) keep them counted in
// physicalCount() and report them through isDeleted(); formats that remove
// records (Paradox) renumber the ones behind.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dataset.h"

namespace tarnel {

namespace sql {
struct ScanTerm;
}

// A walk over a table's rows that its format runs itself (a server answers
// the conditions of a query in its own WHERE clause).
class RowScan {
public:
    virtual ~RowScan() = default;
    // Moves to the next row (the first, on the first call); false at the end.
    virtual bool next() = 0;
    // A field of the current row, as SQL sees it (texts without padding).
    virtual const Value& value(int field) = 0;
};

// One tag of an index file kept beside a table.
struct IndexTag {
    std::string file;         // the index file's name, without its folder
    std::string name;         // the tag's name (the file's stem for single-tag files)
    std::string expression;   // the key expression
    std::string filter;       // the FOR condition, empty when none
    bool unique = false;
    bool candidate = false;
    bool descending = false;
    bool caseInsensitive = false;   // Paradox secondary indexes
    char keyType = 'C';       // C, N, D (dBASE) or C, B (FoxPro binary-collated keys)
    int keyLength = 0;
};

enum class TableType : int { Default = 0, Paradox = 1, dBASE = 2, FoxPro = 3, ASCII = 4 };

class TableFormat {
public:
    virtual ~TableFormat() = default;

    virtual TableType type() const = 0;
    virtual const std::string& path() const = 0;
    virtual const std::vector<FieldDef>& fields() const = 0;

    virtual std::int64_t physicalCount() const = 0;
    virtual bool hasDeletionMarks() const { return false; }
    // Whether the table holds any record; formats whose count is costly
    // (a server's) answer it more cheaply.
    virtual bool hasRecords() const { return physicalCount() > 0; }
    // About how many records there are, for planning a query; the exact
    // count where it is cheap.
    virtual double estimatedCount() const { return static_cast<double>(physicalCount()); }
    virtual bool isDeleted(std::int64_t record) = 0;
    // Whether physicalCount() is known without counting: a server counts its
    // rows with a query of its own, which opening a table does not wait for.
    virtual bool countKnown() const { return true; }
    // Whether the record exists. A format that does not know its count yet
    // answers by reading that far (and may come to know the count so).
    virtual bool hasRecord(std::int64_t record) { return record >= 0 && record < physicalCount(); }
    // While the count is not known: a counting that may run on another
    // thread (a connection of its own) and throws EngineError when it fails.
    // Empty when the count is known.
    virtual std::function<std::int64_t()> backgroundCount() { return {}; }
    // The count such a counting found; ignored once the count is known.
    virtual void takeCount(std::int64_t /*count*/) {}

    virtual bool isNull(std::int64_t record, int field) = 0;
    virtual Value value(std::int64_t record, int field) = 0;
    // The engine's text of the field (FormatValueText), appended to out. Formats
    // override it where they can do better than decoding a Value first.
    virtual void appendText(std::int64_t record, int field, std::string& out);

    // Writing. values holds one Value per field; for updates only the fields
    // marked in changed are written. Each call leaves the files consistent.
    // Returns the record's number afterwards: a keyed table moves a record whose key changed.
    virtual std::int64_t updateRecord(std::int64_t record, const std::vector<Value>& values,
                                      const std::vector<bool>& changed) = 0;
    virtual std::int64_t appendRecord(const std::vector<Value>& values) = 0;  // returns its number
    virtual void deleteRecord(std::int64_t record) = 0;

    // Copying fields as they are stored (a table rebuilt from a copy of
    // itself): a field's layout as a key - two fields, of any two tables,
    // with the same non-empty key hold the same value in the same bytes, so
    // those bytes can be copied over unread. Empty where they cannot be: the
    // value lives elsewhere (memo, blob), the bytes alone do not say it (a
    // null flag kept apart, an autoincrement number).
    virtual std::string storedLayout(int /*field*/) const { return {}; }
    // A field whose stored bytes come from a field laid out otherwise, that
    // this field can take rewritten without reading them as a value (a
    // numeral given more room or more decimals): rewrite(from, to) gives
    // this field's bytes, or false for bytes left to the value path.
    // Empty where the format has no such rewrite.
    using StoredRewrite = std::function<bool(std::string_view from, std::string& to)>;
    virtual StoredRewrite storedRewrite(int /*field*/, const TableFormat& /*from*/, int /*fromField*/) const
    {
        return {};
    }
    // Whether a float field's stored bytes can hold a value that is not a
    // number (NaN): a binary double can, a numeral written as text cannot.
    virtual bool storedMayBeNaN(int /*field*/) const { return true; }
    // Whether appendStored takes stored bytes: not where the table orders
    // or numbers its records itself (a key, an autoincrement field).
    virtual bool takesStored() const { return false; }
    // The field's bytes in the record (valid until the next read), for a
    // field with a layout.
    virtual std::string_view storedBytes(std::int64_t /*record*/, int /*field*/) { return {}; }
    // appendRecord, where a field whose stored entry is not empty takes
    // those bytes as they are (copied from a field of the same layout), and
    // its value is not looked at.
    virtual std::int64_t appendStored(const std::vector<Value>& values, const std::vector<std::string_view>& /*stored*/)
    {
        return appendRecord(values);
    }

    // Many appends in a row (batch moves): between these a format may hold
    // its lock and write the new records in blocks. Records appended are
    // readable at once; a failure loses only records not yet written, and
    // the files stay consistent. endAppends() writes what is left.
    virtual void beginAppends() {}
    virtual void endAppends() {}

    // Many updates and deletes in a row (batch moves): each change is written
    // at once, and the upkeep that follows every change (a format's indexes)
    // may wait for endBatch(), which does it once. endBatch() is called after
    // a failure too, and brings that upkeep in line with what was written.
    // Not nested with beginAppends().
    virtual void beginBatch() {}
    virtual void endBatch() {}

    // The current row is about to be edited (a server table keeps the row as
    // it was read, to tell at the post whether someone changed it meanwhile).
    virtual void beginEdit(std::int64_t /*record*/) {}
    // Reads the table again: rows others added, changed or removed show from
    // now on. A row in editing is read again by its key.
    virtual void refresh() {}

    // The fields of the primary key, as 0-based indexes (empty when unkeyed).
    // A format that takes its key from an index file throws EngineError
    // naming the file when it cannot be read.
    virtual std::vector<int> primaryKey() const { return {}; }

    // Looking values up through an index (local SQL). Whether an index
    // answers conditions on the field: a tag keyed on that field alone that
    // holds every live record in an order the lookup can follow.
    virtual bool indexedField(int /*field*/) { return false; }
    // The records, ascending, that may hold a value of the field from low to
    // high (both ends inclusive; a Null Value leaves that end open), found
    // through that index: never fewer than match, perhaps more, so the
    // caller still tests each. Nothing when the index cannot answer after all
    // (the caller then reads every record).
    virtual std::optional<std::vector<std::int64_t>> indexedRecords(int /*field*/, const Value& /*low*/,
                                                                    const Value& /*high*/)
    {
        return std::nullopt;
    }

    // The code page text is read in (0 for formats without one), and the one
    // to read in when the file names none; the latter is called right after
    // opening, before anything is read.
    virtual int textCodePage() const { return 0; }
    virtual void useUndeclaredCodePage(int /*codePage*/) {}

    // Why the table must not be written though its files could be (empty
    // when nothing stands in the way): a user-facing message.
    virtual std::string writeBlocked() const { return {}; }

    // The tags of the table's index files, file by file. Throws EngineError
    // naming the file when one is damaged; the table stays readable.
    virtual std::vector<IndexTag> indexTags() { return {}; }

    // A scan of the rows that may pass the conditions (see engine/sql/scan_terms.h):
    // it may leave out rows that fail one, and the caller still tests each
    // row it yields. Null: the caller walks the records itself.
    virtual std::unique_ptr<RowScan> openScan(const std::vector<sql::ScanTerm>& /*terms*/) { return nullptr; }

    // The file names this table consists of (data file first, then memo, index...).
    virtual std::vector<std::string> files() const = 0;
};

// What creating a table needs besides the field definitions.
struct CreateOptions {
    TableType type = TableType::Default;   // Default: by the file's extension
    int codePage = 0;                      // 0: the format's default
};

// Opening and creating, by table type (see format_registry.h). The path is
// the data file's. Opening with Default recognises the format by the file's
// content, else by its extension. Creating writes the new table complete in a
// private folder beside the path, then moves any old table's files aside and
// the new ones into place; a failure on the way puts the old ones back.
std::unique_ptr<TableFormat> OpenTableFormat(const std::string& path, TableType type, bool readOnly);
void CreateTableFiles(const std::string& path, const std::vector<FieldDef>& fields,
                      const CreateOptions& options);
// The table type a file name stands for (.dbf dBASE, .db Paradox, .txt ASCII); Default if none.
TableType TableTypeOfFile(const std::string& path);

} // namespace tarnel
