#pragma once
// The restructure's saved copy of a dBASE, FoxPro or Paradox table, made by
// copying its files byte for byte (the data file and its memo or blob file)
// instead of reading and writing every row: the copy is the same table, in
// the same format and code page, so the refill reads exactly what the table
// held. Deleted dBASE records come along and are skipped when read, as in
// the table itself. Index files stay behind: the copy is only ever read.
#include <cstdint>
#include <string>

#include "engine/batch_move.h"
#include "engine/table.h"

namespace tarnel::tables {

// Whether the open table's rows can be saved by copying its files.
bool SavesByFileCopy(const Table& table);

// Copies the open table's data file into `folder` as `name`, and its memo or
// blob file beside it under the same stem, each flushed to disk. Where
// `folder` is on the table's file system the copy is a second name of each
// file instead (LinkFile): the caller must then change the table only by
// replacing its files (RecreateTable), never by writing into them, while
// the copy is needed. Progress
// counts `rows` (the table's rows) by the share of the bytes copied, at
// every 512th row and at the end, as a batch move counts its rows; false
// from it stops the copy and the function returns false. Throws EngineError
// naming the file that could not be read or written; what was written is
// left for the caller to remove with the folder.
bool SaveTableFiles(const Table& table, const std::string& folder, const std::string& name, std::int64_t rows,
                    const BatchProgress& progress);

// Reads every memo and blob value of the open copy, so that a damaged or
// missing memo file is found before the table is touched (a copy of the
// rows would have failed on it just so). Nothing to do without such fields.
void CheckMemosReadable(const Table& copy);

} // namespace tarnel::tables
