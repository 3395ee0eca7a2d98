#pragma once
// Changing a server table's columns, in one transaction: all of it takes
// effect or none. Columns are carried over by name (letter case ignored; a
// name whose case changed is renamed), their type changed where the new
// field's differs (the server converts the values, and a value it cannot
// convert fails the whole change); columns without a new field are dropped,
// new fields are added empty.
//
// Where the new fields keep the order of the columns they carry and add new
// ones only at the end, ALTER TABLE steps change the table in place. The
// server cannot move a column, so any other order rebuilds the table: a new
// one under a temporary name with the new columns in order, filled by one
// INSERT ... SELECT, then the old one dropped and the new one renamed; the
// primary key, the defaults and the plain indexes whose columns survive
// unchanged come back. An AutoInc column goes on numbering after its
// largest value either way.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/batch_move.h"
#include "engine/pg/pg_connection.h"

namespace tarnel::pg {

// What the server knows of a table beyond its columns.
struct ServerTableShape {
    std::string schema;                  // where the table lives
    std::vector<ServerColumn> columns;
    std::vector<int> primaryKey;
    std::vector<std::string> defaults;   // per column; empty for none, serials and identities
    struct Index {
        std::string name;
        std::string definition;              // CREATE INDEX as the server gives it
        std::vector<std::string> columns;    // empty for one on expressions or with a condition
    };
    std::vector<Index> indexes;          // all but the primary key's
};

ServerTableShape ReadServerTableShape(Connection& connection, const std::string& table);

// Whether ALTER TABLE steps give the new fields in their order.
bool AlterKeepsOrder(const std::vector<ServerColumn>& columns, const std::vector<FieldDef>& newFields);

std::vector<std::string> RestructureStatements(Connection& connection, const std::string& table,
                                               const std::vector<ServerColumn>& columns,
                                               const std::vector<FieldDef>& newFields);

// The rebuild's statements, up to the new table renamed into place with its
// primary key and indexes. `dropped` receives the indexes that do not come back.
std::vector<std::string> RebuildStatements(Connection& connection, const std::string& table,
                                           const ServerTableShape& shape, const std::vector<FieldDef>& newFields,
                                           const std::string& temporaryName, std::vector<std::string>& dropped);

struct ServerRestructureResult {
    std::int64_t rows = 0;
    bool cancelled = false;   // rolled back: the table is as it was
    bool rebuilt = false;     // the new order needed a rebuild
    std::vector<std::string> droppedIndexes;
};

// Runs the change. The server tells no rows done, so `progress` is called
// with (-1, -1) about ten times a second while it works; answering false
// cancels the running statement and rolls everything back.
ServerRestructureResult RestructureServerTable(Connection& connection, const std::string& table,
                                               const std::vector<FieldDef>& newFields,
                                               const BatchProgress& progress = {});

} // namespace tarnel::pg
