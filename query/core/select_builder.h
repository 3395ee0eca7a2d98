#pragma once
// The SELECT statement that "Do Query" runs: the cave fields of the open
// table, with the query builder's condition.
#include <QString>
#include <string>

namespace tarnel::query {

// "qualifier"."field" — nothing is validated or escaped.
QString QuoteFieldRef(const QString& qualifier, const QString& fieldName);
std::string QuoteFieldRef(const std::string& qualifier, const std::string& fieldName);

// The table's name as the statement uses it: the file name without folder
// and without its last extension (historic.dbf -> historic, a.b.dbf -> a.b).
std::string QueryTableStem(const std::string& tableName);

// "stem"."field" for each non-empty cave field (station, secondary, number,
// in that order), joined with commas; "*" when all three are empty.
std::string BuildSelectList(const std::string& stem, const std::string& stationField,
                            const std::string& secondField, const std::string& numberField);

// Select <list> From "stem" [Where <condition>]; the condition goes in
// unchanged and is left out when empty.
std::string BuildSelectStatement(const std::string& stem, const std::string& stationField,
                                 const std::string& secondField, const std::string& numberField,
                                 const std::string& condition);

} // namespace tarnel::query
