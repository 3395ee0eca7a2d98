#pragma once
// Database aliases: a name for a folder of tables, or for a database on a
// PostgreSQL server (the value is then a libpq connection URI, never with a password).
//
// The aliases live in the suite settings folder, in "Aliases.ini", section
// "Aliases", one "NAME=folder" line each, and are read again at every call, so
// an alias added by one program is seen at once by the others.
#include <string>
#include <vector>

namespace tarnel {

// The folder of an alias, found without regard to letter case; false when no such alias.
bool LookupAlias(const std::string& name, std::string& folder);
// Whether an alias names a database server rather than a folder.
bool IsServerAlias(const std::string& name);
// All alias names, sorted.
std::vector<std::string> AliasNames();

// The file that holds the aliases.
std::string AliasesFile();

// Adds an alias for an existing folder or a server URI ("postgresql://..."), or points an existing alias (any
// letter case) at a new folder. The folder is stored as an absolute path.
// Throws EngineError for an unusable name, a folder that does not exist, or a
// settings file that cannot be written.
void AddAlias(const std::string& name, const std::string& folder);
// Removes an alias; throws EngineError when there is no such alias.
void RemoveAlias(const std::string& name);

// The tables of a server alias: those on the server's search path, sorted.
// Otherwise the table files in the folder of an alias: .dbf, .db, and .txt tables that
// have their .sch schema beside them; names with extensions, sorted without
// regard to letter case. Memo, index, schema and other auxiliary files are left
// out. Throws EngineError for an unknown alias or a folder that cannot be read.
std::vector<std::string> AliasTableNames(const std::string& alias);

// The table files of a folder, by the same rule.
std::vector<std::string> TableFilesInFolder(const std::string& folder);

} // namespace tarnel
