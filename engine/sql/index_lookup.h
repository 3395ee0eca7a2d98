#pragma once
// Conditions a table scan answers by looking values up in an index of the
// table instead of reading every record: an =, <, <=, > or >= with a
// constant on a field the format can look up (TableFormat::indexedField).
// The index only narrows the records read; the scan still tests each one,
// so the rows are those of the full scan, in the same (file) order.
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "engine/sql/scan_terms.h"
#include "engine/table_format.h"

namespace tarnel::sql {

// The field to look up among the scan's conditions (field, operator): the
// first indexed one with =, else the first with a range; -1 when none.
int LookupField(TableFormat& format, const std::vector<std::pair<int, ScanOp>>& conditions);

// The records, ascending, the index gives for the terms on field; nothing
// when the index cannot answer (the scan then reads every record).
std::optional<std::vector<std::int64_t>> LookupRecords(TableFormat& format, int field,
                                                       const std::vector<ScanTerm>& terms);

} // namespace tarnel::sql
