#pragma once
// Secondary indexes of a Paradox table. An index on one field is a pair of
// files named after the table with the extensions .Xnn and .Ynn (nn the
// field's number in hex); an index on several fields, which has a name of its
// own, is .XGn and .YGn.
//
// The X file holds one entry per record, laid out as a keyed Paradox table
// and sorted in the index's order: the indexed fields, then the table's key
// fields not among them, then a short field "Hint" with the number of the
// data block that held the record. Its header gives the index's options
// (unique, descending, case-insensitive) and, for a composite index, its
// name in the table name. The Y file is the X file's own primary index,
// laid out as a .px.
#include <string>
#include <vector>

#include "engine/dataset.h"
#include "engine/value.h"

namespace tarnel::paradox {

class ParadoxTable;

struct SecondaryIndex {
    std::string path;          // the entries (.Xnn, .XGn)
    std::string indexPath;     // their index (.Ynn, .YGn)
    std::string name;          // the field's name, or the composite index's own
    std::vector<int> fields;   // the table's fields it keys, 0-based, in key order
    bool composite = false, unique = false, descending = false, caseInsensitive = false;
    bool incremental = false;  // its entries' file type says it is kept incrementally
};

// The entry files beside the table at dbPath, sorted by name. Paths only.
std::vector<std::string> FindSecondaryIndexFiles(const std::string& dbPath);

// Reads the index whose entries are at path and checks its header against
// the table's fields and its Y file; throws EngineError "The index file NAME
// is damaged: ..." when anything does not fit.
SecondaryIndex ReadSecondaryIndex(const std::string& path, const std::vector<FieldDef>& tableFields);

// The index's entries in stored order: the indexed fields' values, the key
// values, the hint.
std::vector<std::vector<Value>> ReadSecondaryEntries(const SecondaryIndex& index);

// The index's order of two entries (or rows of the index's values),
// comparing their first count values.
bool EntryLess(const SecondaryIndex& index, const std::vector<Value>& a, const std::vector<Value>& b, size_t count);

// Writes the index afresh from the table's records: the X file first, then
// the Y file, each made beside the old one and moved over it in one rename.
// index.path names the X file; the Y file's name follows from it.
void WriteSecondaryIndex(ParadoxTable& table, const SecondaryIndex& index);

// Writes the indexes afresh: every new file is made before the first one is
// moved into place. Throws EngineError naming the index file that failed;
// files not yet moved are removed. written, when given, counts the indexes
// moved into place whole (X and Y file), from the first on.
void WriteSecondaryIndexes(ParadoxTable& table, const std::vector<SecondaryIndex>& indexes, size_t* written = nullptr);

// The secondary indexes beside the table at dbPath, when every one of them can
// be kept true to the records. Otherwise none, and blocked says why, naming
// the file ("T.db: its index file T.X02 cannot be kept up to date; the table
// is open read-only (...)").
std::vector<SecondaryIndex> KeptSecondaryIndexes(const std::string& dbPath, const std::vector<FieldDef>& fields,
                                                 std::string& blocked);

// The secondary indexes of a table about to be made anew, by field name.
struct SavedSecondaryIndex {
    SecondaryIndex index;
    std::vector<std::string> fieldNames;   // empty when the index could not be read
    std::string damage;                    // why, when it could not
};
std::vector<SavedSecondaryIndex> SaveSecondaryIndexes(const std::string& dbPath);

// Writes the saved indexes whose fields the new, still empty table at dbPath
// has (an index on one field named after the field's new number); the rows
// added afterwards fill them. Returns a line for each index dropped, e.g.
// "BYDEPTH of cave.XG0 (DEPTH,NAME)".
std::vector<std::string> RestoreSecondaryIndexes(const std::string& dbPath, const std::vector<SavedSecondaryIndex>& saved);

} // namespace tarnel::paradox
