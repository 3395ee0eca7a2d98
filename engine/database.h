#pragma once
// Databases: a database name is an alias (see aliases.h) or a folder path;
// empty text is the working folder. Resolved once, when a table is opened.
#include <string>
#include <vector>

namespace tarnel {

// A database name as one reading of the aliases finds it: what an alias of
// that name holds, and whether the name leads to a server. An operation that
// needs both the kind and the place reads the aliases once and passes this on.
struct DatabaseLocation {
    std::string databaseName;   // as given
    bool alias = false;         // the name is an alias
    std::string aliased;        // what the alias holds (a folder or a server URI)
    bool server = false;        // a server URI, given as it is or held by the alias

    // The server URI (when `server`), and the alias that named it (empty for a URI given as it is).
    const std::string& serverUri() const { return alias ? aliased : databaseName; }
    std::string serverAlias() const { return alias ? databaseName : std::string(); }
};
DatabaseLocation LocateDatabase(const std::string& databaseName);

// The folder a located database name stands for, as ResolveDatabaseFolder.
std::string ResolveDatabaseFolder(const DatabaseLocation& location);

// The folder a database name stands for. An alias wins over a folder of the
// same name. Throws EngineError when the name is neither an alias nor a folder.
std::string ResolveDatabaseFolder(const std::string& databaseName);

// The path of the file `fileName` in `folder`, found without regard to letter
// case (an exact match wins). Empty when there is none.
std::string FindFileInFolder(const std::string& folder, const std::string& fileName);

// Joins a folder and a file name with "/" (the folder may be empty).
std::string JoinPath(const std::string& folder, const std::string& name);

} // namespace tarnel
