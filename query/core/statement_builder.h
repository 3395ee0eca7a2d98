#pragma once
// The query condition made from the builder's six term boxes: at most two
// comparisons joined by OR or AND. Terms are copied as they stand; the only
// additions are the parentheses, the fixed spacing, double quotes around a
// term compared with a text field, and the conjunction.
#include <QList>
#include <QString>

namespace tarnel::query {

// One field of the open table: its name and data type ordinal, in the
// table's field order.
struct BuilderField {
    QString name;
    int type = 0;
};
using BuilderFields = QList<BuilderField>;

// The texts of the six term boxes.
struct ConditionTerms {
    QString term1, op1, term2;   // first statement
    QString term3, op2, term4;   // second statement
};

// "=", "<>", "<", ">", "<=", ">=" for the operator items 0..5; "" otherwise.
QString OperatorText(int operatorIndex);

// The target items: 0 "True", 1 "False", 2 a field name, 3 a date, 4 Null.
enum TargetKind { tkTrue = 0, tkFalse = 1, tkField = 2, tkDate = 3, tkNull = 4 };

// The right term for a target item: `selectedField` for "Field" (empty when
// nothing is selected), the day number of year/month/day for "Date", empty
// for "Null" and unknown items; then wrapped in double quotes when `quote`.
QString TargetText(int targetIndex, const QString& selectedField, int year, int month, int day,
                   bool quote);

// The day number of a date as a plain decimal integer ("36725").
QString DayNumberText(int year, int month, int day);

// True when the term names (ignoring letter case) a String or Memo field;
// the first field of that name decides.
bool IsTextField(const QString& term, const BuilderFields& fields);

// "(left  op right)", with the non-text side quoted when the other side is a
// text field; empty when any of the three texts is empty.
QString BuildStatement(const QString& left, const QString& op, const QString& right,
                       const BuilderFields& fields);

// Both statements, joined by " OR " (booleanIndex 0) or " AND " (any other)
// when the second one is complete.
QString BuildCondition(const ConditionTerms& terms, int booleanIndex, const BuilderFields& fields);

} // namespace tarnel::query
