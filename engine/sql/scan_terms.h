#pragma once
// Conditions of a WHERE clause that the table scan tests itself, so that
// SQLite neither reads those columns nor tests them again. The scan's answer
// must be SQLite's own, so only comparisons whose outcome does not depend on
// how SQLite would convert the operands are taken:
//   a number column (INTEGER or REAL) with a number constant,
//   a text column with a text constant under the BINARY collation,
//   any column compared with NULL, and IS NULL / IS NOT NULL.
// Everything else (text against number, other collations, columns without a
// declared type, values not known when the statement is planned) is left to
// SQLite.
#include <optional>

#include "engine/engine_types.h"
#include "engine/value.h"

namespace tarnel::sql {

// How a column compares, by the type the table module declares for it.
enum class ColumnClass { Text, Number, Other };
ColumnClass ClassOfField(TFieldType type);

enum class ScanOp : char { Eq, Ne, Lt, Le, Gt, Ge, Is, IsNot, IsNull, NotNull };

// The scan's form of a constraint, or nothing when the scan cannot decide it
// exactly. sqliteOp is an SQLITE_INDEX_CONSTRAINT_* code; operandType the
// SQLITE_* type of the constant (0 when it is not known); collation the
// constraint's collating sequence.
std::optional<ScanOp> ScanOpFor(int sqliteOp, ColumnClass column, int operandType, const char* collation);

// False for IS NULL and IS NOT NULL, which have no constant.
bool NeedsOperand(ScanOp op);

// The constant of a constraint as a Value (blobs are not taken).
struct ScanTerm {
    int field = 0;
    ScanOp op = ScanOp::Eq;
    Value operand;
};

// Whether a column value, as the table module hands it to SQLite, passes the
// term. A NaN counts as NULL, as SQLite stores it.
bool Passes(const Value& value, const ScanTerm& term);

} // namespace tarnel::sql
