#pragma once
// Moving rows into a table from any data set (a table or a query result).
//
//   Append        rows added; columns matched by position
//   Update        destination rows with the key of a source row replaced
//   AppendUpdate  Update, and the source rows with a new key appended
//   Delete        destination rows with the key of a source row deleted
//   Copy          the destination made anew with the source's field
//                 definitions (replacing any table of that name), then Append
//
// Update, AppendUpdate and Delete match on the destination's primary key (a
// Paradox table's key fields); a table without one is refused. Values are
// converted by the destination's field types as Table::setValue converts
// them; one that does not fit is an error naming the row and the field. Rows
// moved before an error, or before a cancel, stay moved.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/table.h"

namespace tarnel {

struct SavedTableIndexes;

// Told of the rows done (source rows handled) out of the total, every few
// hundred rows and at the end; returning false cancels the move.
using BatchProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

struct BatchMoveResult {
    std::int64_t rows = 0;        // source rows handled
    std::int64_t appended = 0, updated = 0, deleted = 0;
    bool cancelled = false;
    // Copy onto a dBASE/FoxPro table: its index tags whose fields are gone.
    std::vector<std::string> droppedIndexes;
};

// The destination may be open or closed; a closed one is opened for the
// move and closed again. Copy needs the destination's name and type set.
// sourceRows: the source's row count where the caller knows it already (a
// streamed query would run once more to count its rows); -1 to ask the source.
BatchMoveResult BatchMove(Table& destination, DataSet& source, BatchMode mode,
                          const BatchProgress& progress = {}, std::int64_t sourceRows = -1);

// Table::createTable for a table re-created in place (a Copy onto it, a
// restructure): the index files of the dBASE/FoxPro table it replaces come
// back with the tags whose fields survive, empty for the rows to come.
// Returns the tags dropped. codePage: as for Table::createTable.
std::vector<std::string> RecreateTable(Table& table, int codePage = 0);
// The same with the index files saved earlier (engine/saved_indexes.h)
// instead of those beside the table now.
std::vector<std::string> RecreateTable(Table& table, int codePage, const SavedTableIndexes& indexes);

// "append", "update", "appendupdate", "delete", "copy" (any letter case).
bool ParseBatchMode(const std::string& name, BatchMode& mode);

} // namespace tarnel
