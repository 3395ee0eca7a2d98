#include "engine/pg/pg_database.h"

#include "engine/aliases.h"
#include "engine/error.h"
#include "engine/database.h"

namespace tarnel::pg {

bool IsServerDatabase(const std::string& databaseName)
{
    return LocateDatabase(databaseName).server;
}

std::unique_ptr<Connection> ConnectDatabase(const std::string& databaseName)
{
    return ConnectDatabase(LocateDatabase(databaseName));
}

std::unique_ptr<Connection> ConnectDatabase(const DatabaseLocation& location)
{
    if (!location.server)
        throw EngineError("The alias " + location.databaseName + " does not name a database server");
    return std::make_unique<Connection>(location.serverUri(), location.serverAlias());
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
