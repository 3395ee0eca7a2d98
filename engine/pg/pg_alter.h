#pragma once
// A server table's columns changed in place by ALTER TABLE steps, run in one
// transaction: all of them take effect or none. Columns are carried over by
// name (letter case ignored; a name whose case changed is renamed), their
// type changed where the new field's differs (the server converts the values,
// and a value it cannot convert fails the whole change); columns without a
// new field are dropped, new fields are added empty. The server cannot move
// a column, so added ones come last.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/pg/pg_connection.h"

namespace tarnel::pg {

std::vector<std::string> RestructureStatements(Connection& connection, const std::string& table,
                                               const std::vector<ServerColumn>& columns,
                                               const std::vector<FieldDef>& newFields);

// Runs the steps; returns the table's row count afterwards.
std::int64_t RestructureServerTable(Connection& connection, const std::string& table,
                                    const std::vector<FieldDef>& newFields);

} // namespace tarnel::pg
