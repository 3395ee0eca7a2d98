#pragma once
// A Table is a DataSet over one table file, of any format the engine knows.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dataset.h"
#include "engine/table_format.h"

namespace tarnel {

enum class DataSetState { Inactive, Browse, Edit, Insert };

enum class BatchMode { Append = 0, Update = 1, AppendUpdate = 2, Delete = 3, Copy = 4 };

struct DatabaseLocation;

class Table : public DataSet {
public:
    Table();
    ~Table() override;
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // These can be set only while the table is closed.
    void setDatabaseName(const std::string& name);   // folder or alias; empty: working folder
    void setTableName(const std::string& name);      // file name with extension
    void setTableType(TableType type);
    void setReadOnly(bool readOnly);
    // The code page of a table whose file names none (0: the format's
    // default). A code page named in the file always wins.
    void setCodePage(int codePage);
    // The same for every table of this process that is given none itself.
    static void setDefaultCodePage(int codePage);
    const std::string& databaseName() const { return databaseName_; }
    const std::string& tableName() const { return tableName_; }
    TableType tableType() const { return tableType_; }
    bool readOnly() const { return readOnly_; }
    // The data file's path that the database and table names stand for now.
    std::string resolvePath() const;
    // The data file's path, resolved at open (empty while closed).
    const std::string& filePath() const { return filePath_; }
    TableType formatType() const;   // the format actually opened
    int codePage() const;           // text is read in this code page (0: none, or closed)
    // Why the open table cannot be written though it was opened for writing
    // (an index it would leave stale...); empty when nothing stands in the way.
    std::string writeBlocked() const;
    // The open table's format (null while closed), for readers that walk the
    // records themselves and never move the cursor.
    TableFormat* format() const { return format_.get(); }

    // Opens the table: a table file, or a server table when the database
    // name is a server alias or a server URI (see engine/pg/pg_table.h).
    void open();
    // open() with the database as the caller already located it (one reading
    // of the aliases for an operation that opens several tables); `at` is
    // LocateDatabase of this table's database name.
    void open(const DatabaseLocation& at);
    void close();
    // Reads the rows again (others' changes show); the edit buffer is kept.
    void refresh();
    bool active() const override { return format_ != nullptr; }

    // Field definitions: while open, the table's own; before createTable(), the planned ones.
    const std::vector<FieldDef>& fields() const override;
    void clearFieldDefs();
    // decimals: for number fields of formats that store them (dBASE N), 0 for the format's choice,
    // kNoDecimals for none;
    // key: the field belongs to the primary key (formats that key tables need such fields first).
    void addFieldDef(const std::string& name, TFieldType type, std::int32_t size, bool required = false,
                     int decimals = 0, bool key = false);
    // Creates the table from the planned definitions as the table type says
    // (Default: by the name's extension), replacing any table of that name
    // with its companion files. A field type the format cannot hold is refused
    // before anything is written; a failure leaves the old table as it was
    // (see CreateTableFiles). The table must be closed.
    void createTable(int codePage = 0);
    // Deletes the table with its companion files (all or none). The table must be closed.
    void deleteTable();
    // Rows from another data set: see BatchMove in engine/batch_move.h.

    std::int64_t recordCount() const override;
    // The row count when it is known without counting, else -1 (a server
    // table counts its rows with a query of its own, taken when first wanted).
    std::int64_t knownRecordCount() const;
    // min(recordCount(), wanted), reading no further than that while the
    // count is not known.
    std::int64_t rowsUpTo(std::int64_t wanted) const;
    // While the count is not known: a counting that may run on another thread
    // (see TableFormat::backgroundCount), and the taking of what it found.
    std::function<std::int64_t()> backgroundCount();
    void takeCount(std::int64_t count);
    void moveTo(std::int64_t row) override;
    Value value(int field) const override;
    std::string asText(int field) const override;
    void appendText(int field, std::string& out) const override;
    bool isNull(int field) const override;
    Value valueAt(std::int64_t row, int field) const override;
    bool isNullAt(std::int64_t row, int field) const override;
    void appendTextAt(std::int64_t row, int field, std::string& out) const override;
    // The table's own records, while the current row is not in editing.
    StoredSource storedSource(int field) const override;
    std::int64_t storedRecord(int field) const override;

    // Editing of the current row.
    DataSetState state() const;
    void edit();
    void insert();     // a new row (file tables place it at the end)
    void append();
    void deleteRecord();
    void post();
    // Posts an appended row whose fields with a stored entry take those
    // bytes as they are (see TableFormat::storedLayout); the others are
    // the edit buffer's.
    void postStored(const std::vector<std::string_view>& stored);
    void cancel();
    // Around many appends (batch moves): the format may write them in blocks.
    void beginAppends();
    void endAppends();
    // Around many updates and deletes (batch moves): the format may leave
    // their upkeep (its indexes) to the end.
    void beginBatch();
    void endBatch();
    bool modified() const { return modified_; }
    // Into the edit buffer (starts nothing), converted for the field's type (see
    // ConvertValue); `from` is the type of the field the value was read from.
    void setValue(int field, Value value, TFieldType from = ftUnknown);
    void setText(int field, std::string_view text);   // parsed for the field's type
    void setNull(int field) { setValue(field, Value::null()); }
    void loadFromFile(int field, const std::string& fileName);   // memo/blob field
    void saveToFile(int field, const std::string& fileName) const;

    std::vector<int> primaryKey() const;

    // Physical record number of the current row (for formats and tests).
    std::int64_t currentRecord() const;

private:
    void requireClosed(const char* what) const;
    void requireWritable(const char* what) const;
    void requireEditing(const char* what) const;
    void checkField(int field) const;
    void resetIndex();
    void syncIndex() const;
    std::int64_t liveInBlock(size_t block) const;
    std::int64_t recordOfRow(std::int64_t row) const;   // -1 when past the end
    std::int64_t rowOfRecord(std::int64_t record) const;
    void loadBuffer();
    void postInsert(const std::vector<std::string_view>* stored);
    bool bufferRow(std::int64_t row) const;   // the row shows the edit buffer
    std::int64_t existingRecord(std::int64_t row) const;   // throws past the end

    std::string databaseName_;
    std::string tableName_;
    TableType tableType_ = TableType::Default;
    bool readOnly_ = false;
    int codePage_ = 0;
    std::string filePath_;
    std::unique_ptr<TableFormat> format_;
    unsigned openFieldCount_ = 0;          // fields of the open table (0 while closed)
    std::vector<FieldDef> plannedFields_;

    // Live-row index: live records per block of kBlock physical records,
    // counted lazily from the front.
    static constexpr std::int64_t kBlock = 4096;
    mutable std::vector<std::int64_t> liveInBlock_;
    mutable std::int64_t liveCountTotal_ = -1;
    mutable std::int64_t indexedCount_ = 0;   // physical records the blocks cover
    mutable std::int64_t cachedRow_ = -1, cachedRecord_ = -1;

    DataSetState state_ = DataSetState::Inactive;
    std::int64_t current_ = -1;            // physical record of the current row
    std::vector<Value> buffer_;            // edit buffer
    std::vector<bool> changed_;
    bool modified_ = false;
};

// A value brought to the kind the field's type travels as (text parsed for
// numbers, dates and logicals; numbers to text), as setValue does; throws
// naming the field when it cannot be.
Value ConvertForField(const FieldDef& field, Value value, TFieldType from = ftUnknown);

} // namespace tarnel
