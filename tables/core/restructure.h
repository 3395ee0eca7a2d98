#pragma once
// Changing a table's column layout. The engine cannot change a structure in
// place, so the table is rebuilt: copied whole into a temporary table
// TEMP.DBF, re-created empty with the new fields, and refilled with the rows
// of the local SQL select RestructureSelect over the copy, which yields the
// new columns in the new order (read from the copy directly, see
// carried_columns.h).
// Columns are carried over by name (letter case ignored); new fields start
// empty; dropped fields lose their data.
//
// The copy lives in a folder made for this one restructure (mode 0700), so
// nobody else can reach it and two restructures never meet. Any failure or a
// cancel after the table was touched puts the old table back from the copy,
// with the indexes it had; the folder is removed afterwards. Should even that
// restore fail, the folder is kept and the error names it: it then holds the
// only whole copy of the rows.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/batch_move.h"
#include "engine/dataset.h"
#include "engine/table.h"

namespace tarnel::tables {

inline constexpr const char* kRestructureTempName = "TEMP.DBF";

// The refill statement: one column per new field, in order, taken from the
// copy when it has a field of that name, else the empty text constant.
//   Select "TEMP.DBF"."NAME","TEMP.DBF"."DEPTH","" From "TEMP.DBF"
std::string RestructureSelect(const std::vector<FieldDef>& newFields, const std::vector<FieldDef>& oldFields);

// The count of a restructure's progress (done of total, as RestructureTable
// reports it) as the user reads it: the pass and its rows,
// "Saving rows: 700 of 1500", then "Carrying rows: 200 of 1500".
std::string RestructureProgressText(std::int64_t done, std::int64_t total);

struct RestructureResult {
    bool cancelled = false;      // the old table was put back
    std::int64_t rows = 0;       // rows carried over (or put back after a cancel)
    std::vector<std::string> droppedIndexes;   // index tags whose fields are gone
};

// Thrown when the rebuild failed. restored: the table is back with its old
// structure, all its rows and its indexes; the message names any index that
// could not be brought back (a cancel that lost one is reported so too).
// Otherwise keptFolder holds TEMP.DBF with the rows and the message says
// where it is.
class RestructureError : public std::runtime_error {
public:
    RestructureError(const std::string& message, bool restored, std::string keptFolder)
        : std::runtime_error(message), restored_(restored), keptFolder_(std::move(keptFolder)) {}
    bool restored() const { return restored_; }
    const std::string& keptFolder() const { return keptFolder_; }
private:
    bool restored_;
    std::string keptFolder_;
};

// The system's folder for temporary files ($TMPDIR, else /tmp).
std::string TemporaryFilesFolder();

// Rebuilds `table` (open or closed; left open and writable on success and
// after a restore) with `newFields`. The private folder is made inside
// `tempParent` (empty: TemporaryFilesFolder()). Progress counts the rows of
// both passes (saving the rows into the copy, then carrying them into the
// new table) against twice the row count, so that a bar moves on through
// both; RestructureProgressText says which pass it is. Returning false
// cancels, and the old table is put back. Errors: RestructureError, or
// the engine's error when nothing was touched yet (the copy out failed).
// A keyed table keeps its primary key when no field is marked key and the
// key fields stay first under their names; otherwise the marks decide.
RestructureResult RestructureTable(Table& table, const std::vector<FieldDef>& newFields,
                                   const BatchProgress& progress = {}, const std::string& tempParent = {});

} // namespace tarnel::tables
