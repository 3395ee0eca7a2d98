#pragma once
// The index files of a table about to be made anew, kept so that they can
// be put back beside the new table: the dBASE/FoxPro index files read whole,
// or the definitions of a Paradox table's secondary indexes. A restructure
// saves them once, before it touches the table, so that putting the old
// table back after a failure brings back every index it had, as it was.
#include <string>
#include <vector>

#include "engine/dbf/index/index_keeper.h"
#include "engine/paradox/px_secondary.h"

namespace tarnel {

struct SavedTableIndexes {
    std::vector<SavedIndex> files;                          // .cdx, .mdx, .ndx, .idx
    std::vector<paradox::SavedSecondaryIndex> secondary;    // .Xnn/.Ynn, .XGn/.YGn
};

// The indexes beside the table at path (none for a table that does not
// exist yet, or of another format). Throws EngineError when an index file
// cannot be read.
SavedTableIndexes SaveIndexesBeside(const std::string& path);

// The first saved index that could not be read, and why; empty when every
// one was. Such an index would be dropped when the indexes are put back.
std::string UnreadIndex(const SavedTableIndexes& saved);

// Puts the saved indexes back beside the re-created, still empty table at
// path, those whose fields it still has (their entries empty: the rows added
// afterwards fill them). Returns a line for each index dropped.
std::vector<std::string> RestoreIndexesBeside(const std::string& path, const SavedTableIndexes& saved);

} // namespace tarnel
