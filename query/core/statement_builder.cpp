// The query condition built from the six term boxes.
#include "query/core/statement_builder.h"

#include "engine/daynum.h"
#include "engine/engine_types.h"

namespace tarnel::query {

namespace {
QString Quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}
} // namespace

QString OperatorText(int operatorIndex)
{
    static const char* const ops[] = {"=", "<>", "<", ">", "<=", ">="};
    if (operatorIndex < 0 || operatorIndex >= 6) return {};
    return QString::fromLatin1(ops[operatorIndex]);
}

QString DayNumberText(int year, int month, int day)
{
    return QString::number(DayNumber(year, month, day));
}

QString TargetText(int targetIndex, const QString& selectedField, int year, int month, int day,
                   bool quote)
{
    QString text;
    switch (targetIndex) {
    case tkTrue: text = QStringLiteral("True"); break;
    case tkFalse: text = QStringLiteral("False"); break;
    case tkField: text = selectedField; break;
    case tkDate: text = DayNumberText(year, month, day); break;
    default: break;
    }
    return quote ? Quoted(text) : text;
}

bool IsTextField(const QString& term, const BuilderFields& fields)
{
    for (const BuilderField& field : fields) {
        if (field.name.compare(term, Qt::CaseInsensitive) == 0)
            return field.type == ftString || field.type == ftMemo;
    }
    return false;
}

QString BuildStatement(const QString& left, const QString& op, const QString& right,
                       const BuilderFields& fields)
{
    if (left.isEmpty() || op.isEmpty() || right.isEmpty()) return {};
    const bool leftText = IsTextField(left, fields);
    const bool rightText = IsTextField(right, fields);
    QString l = left;
    QString r = right;
    if (leftText && !rightText) r = Quoted(r);
    else if (rightText && !leftText) l = Quoted(l);
    return QLatin1Char('(') + l + QLatin1String("  ") + op + QLatin1Char(' ') + r +
           QLatin1Char(')');
}

QString BuildCondition(const ConditionTerms& terms, int booleanIndex, const BuilderFields& fields)
{
    const QString first = BuildStatement(terms.term1, terms.op1, terms.term2, fields);
    const QString second = BuildStatement(terms.term3, terms.op2, terms.term4, fields);
    if (second.isEmpty()) return first;
    return first + (booleanIndex == 0 ? QLatin1String(" OR ") : QLatin1String(" AND ")) + second;
}

} // namespace tarnel::query
