#include "engine/sql/index_lookup.h"

namespace tarnel::sql {

namespace {

bool IsRange(ScanOp op)
{
    return op == ScanOp::Lt || op == ScanOp::Le || op == ScanOp::Gt || op == ScanOp::Ge;
}

} // namespace

int LookupField(TableFormat& format, const std::vector<std::pair<int, ScanOp>>& conditions)
{
    int range = -1;
    for (const auto& [field, op] : conditions) {
        if (op != ScanOp::Eq && !IsRange(op)) continue;
        if (!format.indexedField(field)) continue;
        if (op == ScanOp::Eq) return field;
        if (range < 0) range = field;
    }
    return range;
}

std::optional<std::vector<std::int64_t>> LookupRecords(TableFormat& format, int field,
                                                       const std::vector<ScanTerm>& terms)
{
    // Any one lower and one upper bound will do: the scan tests every term.
    Value low, high;
    for (const ScanTerm& t : terms) {
        if (t.field != field || t.operand.isNull()) continue;
        if (t.op == ScanOp::Eq) low = high = t.operand;
        else if ((t.op == ScanOp::Gt || t.op == ScanOp::Ge) && low.isNull()) low = t.operand;
        else if ((t.op == ScanOp::Lt || t.op == ScanOp::Le) && high.isNull()) high = t.operand;
    }
    if (low.isNull() && high.isNull()) return std::nullopt;
    return format.indexedRecords(field, low, high);
}

} // namespace tarnel::sql
