#include "engine/pg/pg_database.h"

#include "engine/aliases.h"
#include "engine/error.h"
#include "engine/database.h"

namespace tarnel::pg {

bool IsServerDatabase(const std::string& databaseName)
{
    return IsServerLocation(databaseName) || (!databaseName.empty() && IsServerAlias(databaseName));
}

std::unique_ptr<Connection> ConnectDatabase(const std::string& databaseName)
{
    if (IsServerLocation(databaseName)) return std::make_unique<Connection>(databaseName, std::string());
    std::string uri;
    if (!LookupAlias(databaseName, uri) || !IsServerLocation(uri))
        throw EngineError("The alias " + databaseName + " does not name a database server");
    return std::make_unique<Connection>(uri, databaseName);
}

std::string ServerTableNameIfAny(Connection& connection, const std::string& name)
{
    std::string found;
    int matches = 0;
    for (const std::string& t : ServerTableNames(connection)) {
        if (t == name) return t;
        if (SameText(t, name)) {
            found = t;
            ++matches;
        }
    }
    return matches == 1 ? found : std::string();
}

std::string ServerTableNameFor(Connection& connection, const std::string& name)
{
    std::string found = ServerTableNameIfAny(connection, name);
    return found.empty() ? name : found;
}

} // namespace tarnel::pg
