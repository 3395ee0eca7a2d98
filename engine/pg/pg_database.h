#pragma once
// A database name (an alias, or a connection URI itself) that names a server.
#include <memory>
#include <string>

#include "engine/database.h"
#include "engine/pg/pg_connection.h"

namespace tarnel::pg {

// Whether the database name stands for a server: a server alias or a URI.
bool IsServerDatabase(const std::string& databaseName);
// A new connection to the server a database name stands for; throws when it
// stands for none.
std::unique_ptr<Connection> ConnectDatabase(const std::string& databaseName);
std::unique_ptr<Connection> ConnectDatabase(const DatabaseLocation& location);

// The server's name of a table: the name itself when the server has it,
// else the one table that matches it without regard to letter case; empty
// when there is none. ServerTableNameFor gives the name as given instead
// (a table still to be made).
std::string ServerTableNameIfAny(Connection& connection, const std::string& name);
std::string ServerTableNameFor(Connection& connection, const std::string& name);

} // namespace tarnel::pg
