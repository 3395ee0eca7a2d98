#pragma once
// Batch moves that add rows to a server table (Append, Copy) send them
// through COPY rather than one INSERT each.
#include <string>

#include "engine/batch_move.h"
#include "engine/pg/pg_connection.h"

namespace tarnel::pg {

// Rows of `source` appended to the table named by the destination's database
// and table names, columns matched by position. With `recreate` the table is
// first made anew with the source's fields (a source table's primary key
// becomes the table's) and AutoInc numbers are kept as the source has them.
// Rows are committed as they are sent in blocks, so rows moved before an
// error or a cancel stay moved, as with table files.
BatchMoveResult LoadServerTable(Table& destination, DataSet& source, bool recreate, const BatchProgress& progress,
                                std::int64_t sourceRows = -1);

} // namespace tarnel::pg
