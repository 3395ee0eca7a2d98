#pragma once
// Making server tables and loading rows into them in bulk.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/dataset.h"
#include "engine/pg/pg_connection.h"

namespace tarnel::pg {

// The CREATE TABLE statement for engine fields (types as ServerTypeOfField
// maps them, names quoted by libpq, required fields NOT NULL) with the
// fields at `primaryKey` (0-based) as the primary key.
std::string CreateTableStatement(Connection& connection, const std::string& table,
                                 const std::vector<FieldDef>& fields, const std::vector<int>& primaryKey);

// Creates the table, replacing any table of that name, in one transaction:
// a failure leaves the old table as it was.
void CreateServerTable(Connection& connection, const std::string& table, const std::vector<FieldDef>& fields,
                       const std::vector<int>& primaryKey);

// Appends one column to a line of COPY's text format: backslash, tab,
// newline and carriage return escaped, NULL as \N.
void AppendCopyField(const Text& text, std::string& line);

// Rows sent to a table through COPY ... FROM STDIN in text format, in blocks.
// Nothing is in the table before finish(); an object destroyed unfinished
// abandons the COPY and the server keeps none of its rows.
class CopyIn {
public:
    CopyIn(Connection& connection, const std::string& table, const std::vector<std::string>& columns);
    ~CopyIn();
    CopyIn(const CopyIn&) = delete;
    CopyIn& operator=(const CopyIn&) = delete;

    // One row, a text (or NULL) per column named at the start.
    void addRow(const std::vector<Text>& row);
    // Ends the COPY; throws EngineError with the server's message when it
    // refuses the rows (then none of them is kept). Returns the rows loaded.
    std::int64_t finish();

private:
    void flush();
    Connection& connection_;
    std::string table_;
    std::size_t columns_;
    std::string buffer_;
    std::int64_t rows_ = 0;
    bool open_ = false;
};

} // namespace tarnel::pg
