#include "engine/database.h"

#include <dirent.h>
#include <filesystem>
#include <unistd.h>

#include "engine/aliases.h"
#include "engine/dataset.h"
#include "engine/error.h"
#include "engine/pg/pg_connection.h"

namespace tarnel {

namespace fs = std::filesystem;

DatabaseLocation LocateDatabase(const std::string& databaseName)
{
    DatabaseLocation at;
    at.databaseName = databaseName;
    // A URI or a path is never an alias: LookupAlias does not read the store for one.
    at.alias = LookupAlias(databaseName, at.aliased);
    at.server = pg::IsServerLocation(at.alias ? at.aliased : databaseName);
    return at;
}

std::string ResolveDatabaseFolder(const DatabaseLocation& location)
{
    const std::string& databaseName = location.databaseName;
    if (databaseName.empty()) {
        std::error_code ec;
        auto cwd = fs::current_path(ec);
        if (ec) throw EngineError("Cannot read the working folder: " + ec.message());
        return cwd.string();
    }
    if (location.alias) return location.aliased;
    std::error_code ec;
    if (fs::is_directory(databaseName, ec)) return databaseName;
    throw EngineError("Unknown database: " + databaseName +
                      " is neither an alias nor an existing folder");
}

std::string ResolveDatabaseFolder(const std::string& databaseName)
{
    return ResolveDatabaseFolder(LocateDatabase(databaseName));
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string FindFileInFolder(const std::string& folder, const std::string& fileName)
{
    std::string exact = JoinPath(folder.empty() ? "." : folder, fileName);
    if (access(exact.c_str(), F_OK) == 0) return JoinPath(folder, fileName);
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return {};
    std::string found;
    while (dirent* e = readdir(dir)) {
        if (SameText(e->d_name, fileName)) {
            found = JoinPath(folder, e->d_name);
            break;
        }
    }
    closedir(dir);
    return found;
}

} // namespace tarnel
