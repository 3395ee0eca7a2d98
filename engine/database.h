#pragma once
// Databases: a database name is an alias (see aliases.h) or a folder path;
// empty text is the working folder. Resolved once, when a table is opened.
#include <string>
#include <vector>

namespace tarnel {

// The folder a database name stands for. An alias wins over a folder of the
// same name. Throws EngineError when the name is neither an alias nor a folder.
std::string ResolveDatabaseFolder(const std::string& databaseName);

// The path of the file `fileName` in `folder`, found without regard to letter
// case (an exact match wins). Empty when there is none.
std::string FindFileInFolder(const std::string& folder, const std::string& fileName);

// Joins a folder and a file name with "/" (the folder may be empty).
std::string JoinPath(const std::string& folder, const std::string& name);

} // namespace tarnel
