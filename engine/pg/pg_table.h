#pragma once
// A table of a PostgreSQL database, behind the same TableFormat interface as
// the table files.
//
// Records are numbered in primary-key order and fetched in blocks as they
// are reached: keyset paging on the key (a block's last key starts the
// next), so opening a table of a million rows reads one block and its row
// count. A table without a primary key is read in the order of its rows'
// physical places (views: in the server's order) and cannot be written.
//
// Writing finds a row by its key and is optimistic: an update or a delete
// goes through only when the row still holds what it held when it was read
// ("The row was changed by another user", "The row was deleted by another
// user"). An insert names only the columns given a value, so the server's
// defaults (serials, identities, DEFAULT clauses) fill the others.
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/pg/pg_connection.h"
#include "engine/table_format.h"

namespace tarnel::pg {

class ServerTable : public TableFormat {
public:
    // Connects to `uri` (alias names the server in messages; empty: the URI)
    // and reads the table's columns and row count. The table name is found
    // without regard to letter case when no table has it exactly.
    ServerTable(const std::string& uri, const std::string& alias, const std::string& table, bool readOnly);
    ~ServerTable() override;

    TableType type() const override { return TableType::Default; }
    const std::string& path() const override { return path_; }
    const std::vector<FieldDef>& fields() const override { return fields_; }

    std::int64_t physicalCount() const override { return count(); }
    bool hasRecords() const override;
    double estimatedCount() const override;
    bool isDeleted(std::int64_t) override { return false; }
    bool countKnown() const override { return count_ >= 0; }
    bool hasRecord(std::int64_t record) override { return rowOf(record) != nullptr; }
    std::function<std::int64_t()> backgroundCount() override;
    void takeCount(std::int64_t count) override;
    bool isNull(std::int64_t record, int field) override;
    Value value(std::int64_t record, int field) override;

    std::int64_t updateRecord(std::int64_t record, const std::vector<Value>& values,
                              const std::vector<bool>& changed) override;
    std::int64_t appendRecord(const std::vector<Value>& values) override;
    void deleteRecord(std::int64_t record) override;
    void beginEdit(std::int64_t record) override;
    void refresh() override;

    // A query's scan: its simple conditions go to the server (see pg_scan.h).
    std::unique_ptr<RowScan> openScan(const std::vector<sql::ScanTerm>& terms) override;

    std::vector<int> primaryKey() const override { return key_; }
    std::string writeBlocked() const override { return writeBlocked_; }
    std::vector<std::string> files() const override { return {}; }

    // The table's name on the server, and its columns as the server describes them.
    const std::string& tableName() const { return table_; }
    const std::vector<ServerColumn>& columns() const { return columns_; }
    Connection& connection() { return *connection_; }
    // Rows received from the server since the table was opened.
    std::int64_t rowsFetched() const { return rowsFetched_; }

    static constexpr std::int64_t kBlockRows = 200;

private:
    using Row = std::vector<Text>;
    struct Block {
        std::vector<Row> rows;
        std::list<std::int64_t>::iterator lru;
    };

    const Row* rowOf(std::int64_t record);
    Block& block(std::int64_t number);
    void fetch(std::int64_t number, Block& into);
    Result readRows(const std::string& sql, const std::vector<Text>& params);
    void forgetFrom(std::int64_t record);   // cached blocks and page keys from this record on
    Row keyOf(const Row& row) const;
    Row rowToWrite(std::int64_t record);
    Row readByKey(const Row& key);           // empty when the row is gone
    std::int64_t positionOf(const Row& key); // the record number the key has now
    std::string keyList() const;
    std::string keyMatch(std::vector<Text>& params, const Row& key) const;
    [[noreturn]] void refused(const Row& key);

    std::unique_ptr<Connection> connection_;
    std::string table_, quotedTable_, path_, writeBlocked_;
    std::vector<ServerColumn> columns_;
    std::vector<FieldDef> fields_;
    std::vector<int> key_;                   // the primary key's columns
    bool byPlace_ = false;                   // no key: paged by the rows' physical places
    std::string select_, order_;
    // The row count, taken when first wanted (a query's scan never wants it:
    // counting a large table costs more than the query). Reading a block
    // that comes back short tells it too, and a window has it counted on a
    // connection of its own while it shows the first rows (backgroundCount).
    std::int64_t count() const;
    mutable std::int64_t count_ = -1;
    std::int64_t rowsFetched_ = 0;

    std::unordered_map<std::int64_t, Block> blocks_;
    std::list<std::int64_t> lru_;            // most recently used first
    std::map<std::int64_t, Row> lastKeys_;   // block number -> the paging key of its last row

    // The row being edited, as it was when the edit began (the optimistic check compares against it).
    std::int64_t heldRecord_ = -1;
    Row heldRow_;
    bool heldMoved_ = false;                 // a refresh may have moved it
};

} // namespace tarnel::pg
