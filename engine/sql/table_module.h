#pragma once
// The SQLite virtual table module that reads the engine's tables in place.
//   CREATE VIRTUAL TABLE "historic" USING tarnel_table(N)
// exposes tables[N] (an open Table) with its fields as columns: text as TEXT
// (String without trailing blanks), integers and logicals (1/0) as INTEGER,
// dates as INTEGER day numbers, times and timestamps as REAL days, numbers as
// REAL, binary fields as BLOB, NULL as NULL.
#include <memory>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "engine/table.h"

namespace tarnel::sql {

inline constexpr const char* kTableModuleName = "tarnel_table";

// The module reads the tables through `tables`, which must outlive `db`.
void RegisterTableModule(sqlite3* db, const std::vector<std::unique_ptr<Table>>* tables);

// A name as an SQL identifier: in double quotes, with inner quotes doubled.
std::string QuoteName(const std::string& name);

// The SQLite column type the module declares for a field type.
const char* ColumnTypeOf(TFieldType type);

} // namespace tarnel::sql
