#include "engine/sql/scan_terms.h"

#include "engine/sql/table_module.h"

#include <cmath>
#include <cstdint>
#include <string_view>

#include <sqlite3.h>

namespace tarnel::sql {

namespace {

bool IsNumber(const Value& v) { return v.kind == Value::Kind::Int || v.kind == Value::Kind::Float; }

bool IsNullish(const Value& v) { return v.kind == Value::Kind::Null || (v.kind == Value::Kind::Float && std::isnan(v.f)); }

// An integer against a double, exactly (no rounding of large integers).
int CompareIntReal(std::int64_t i, double r)
{
    if (r < -9223372036854775808.0) return 1;
    if (r >= 9223372036854775808.0) return -1;
    const auto y = static_cast<std::int64_t>(r);
    if (i < y) return -1;
    if (i > y) return 1;
    const auto s = static_cast<double>(i);
    return s < r ? -1 : s > r ? 1 : 0;
}

// SQLite's order of two non-NULL values that need no conversion: numbers
// by value, before text (by bytes), before blobs.
int Compare(const Value& a, const Value& b)
{
    if (IsNumber(a) && IsNumber(b)) {
        if (a.kind == Value::Kind::Int && b.kind == Value::Kind::Int) return a.i < b.i ? -1 : a.i > b.i;
        if (a.kind == Value::Kind::Float && b.kind == Value::Kind::Float) return a.f < b.f ? -1 : a.f > b.f;
        if (a.kind == Value::Kind::Int) return CompareIntReal(a.i, b.f);
        return -CompareIntReal(b.i, a.f);
    }
    auto rank = [](const Value& v) { return IsNumber(v) ? 0 : v.kind == Value::Kind::Text ? 1 : 2; };
    if (rank(a) != rank(b)) return rank(a) < rank(b) ? -1 : 1;
    const int c = std::string_view(a.s).compare(b.s);
    return c < 0 ? -1 : c > 0;
}

} // namespace

ColumnClass ClassOfField(TFieldType type)
{
    // The affinity SQLite gives the declared column type.
    const std::string_view declared = ColumnTypeOf(type);
    if (declared == "TEXT") return ColumnClass::Text;
    if (declared == "INTEGER" || declared == "REAL") return ColumnClass::Number;
    return ColumnClass::Other;
}

bool NeedsOperand(ScanOp op) { return op != ScanOp::IsNull && op != ScanOp::NotNull; }

std::optional<ScanOp> ScanOpFor(int sqliteOp, ColumnClass column, int operandType, const char* collation)
{
    ScanOp op;
    switch (sqliteOp) {
    case SQLITE_INDEX_CONSTRAINT_ISNULL: return ScanOp::IsNull;
    case SQLITE_INDEX_CONSTRAINT_ISNOTNULL: return ScanOp::NotNull;
    case SQLITE_INDEX_CONSTRAINT_EQ: op = ScanOp::Eq; break;
    case SQLITE_INDEX_CONSTRAINT_NE: op = ScanOp::Ne; break;
    case SQLITE_INDEX_CONSTRAINT_LT: op = ScanOp::Lt; break;
    case SQLITE_INDEX_CONSTRAINT_LE: op = ScanOp::Le; break;
    case SQLITE_INDEX_CONSTRAINT_GT: op = ScanOp::Gt; break;
    case SQLITE_INDEX_CONSTRAINT_GE: op = ScanOp::Ge; break;
    case SQLITE_INDEX_CONSTRAINT_IS: op = ScanOp::Is; break;
    case SQLITE_INDEX_CONSTRAINT_ISNOT: op = ScanOp::IsNot; break;
    default: return std::nullopt;
    }
    switch (operandType) {
    case SQLITE_NULL: return op;   // no conversion makes NULL anything else
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        // Numbers against a number column are compared by value whatever the
        // constant's affinity; against text they might be turned into text.
        if (column == ColumnClass::Number) return op;
        return std::nullopt;
    case SQLITE_TEXT:
        // A text constant may be made a number against a number column, and
        // a constant with numeric affinity would make the column's text a
        // number; a text value cannot have numeric affinity, so text against
        // a text column is compared as bytes (under BINARY).
        if (column == ColumnClass::Text && collation && sqlite3_stricmp(collation, "BINARY") == 0) return op;
        return std::nullopt;
    default: return std::nullopt;
    }
}

bool Passes(const Value& value, const ScanTerm& term)
{
    const bool isNull = IsNullish(value);
    switch (term.op) {
    case ScanOp::IsNull: return isNull;
    case ScanOp::NotNull: return !isNull;
    case ScanOp::Is:
    case ScanOp::IsNot: {
        const bool otherNull = IsNullish(term.operand);
        bool same = isNull || otherNull ? isNull == otherNull : Compare(value, term.operand) == 0;
        return term.op == ScanOp::Is ? same : !same;
    }
    default: break;
    }
    if (isNull || IsNullish(term.operand)) return false;
    const int c = Compare(value, term.operand);
    switch (term.op) {
    case ScanOp::Eq: return c == 0;
    case ScanOp::Ne: return c != 0;
    case ScanOp::Lt: return c < 0;
    case ScanOp::Le: return c <= 0;
    case ScanOp::Gt: return c > 0;
    case ScanOp::Ge: return c >= 0;
    default: return false;
    }
}

} // namespace tarnel::sql
