#include <gtest/gtest.h>

#include "engine/engine_types.h"
#include "query/core/statement_builder.h"

using namespace tarnel;
using namespace tarnel::query;

namespace {

const BuilderFields kFields = {
    {"NAME", ftString}, {"DEPTH", ftFloat}, {"LENGTH", ftFloat},
    {"TITLE", ftString}, {"NOTES", ftMemo}, {"FOUND", ftDate}, {"WET", ftBoolean},
};

std::string Stmt(const QString& left, const QString& op, const QString& right)
{
    return BuildStatement(left, op, right, kFields).toStdString();
}

// The target text at 18 July 2000, as the page would compute it.
QString Target(int kind, bool quote, const QString& selected = {})
{
    return TargetText(kind, selected, 2000, 7, 18, quote);
}

} // namespace

TEST(StatementBuilder, OperatorsAndDayNumbers)
{
    const char* expected[] = {"=", "<>", "<", ">", "<=", ">="};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(OperatorText(i).toStdString(), expected[i]);
    EXPECT_TRUE(OperatorText(-1).isEmpty());
    EXPECT_TRUE(OperatorText(6).isEmpty());

    EXPECT_EQ(DayNumberText(2000, 7, 18), "36725");
    EXPECT_EQ(DayNumberText(1999, 12, 31), "36525");
    EXPECT_EQ(DayNumberText(1899, 12, 30), "0");
    EXPECT_EQ(DayNumberText(1899, 12, 29), "-1");
    EXPECT_EQ(DayNumberText(1, 1, 1), "-693593");
}

TEST(StatementBuilder, TargetTexts)
{
    EXPECT_EQ(Target(tkTrue, false), "True");
    EXPECT_EQ(Target(tkFalse, true), "\"False\"");
    EXPECT_EQ(Target(tkField, false, "LENGTH"), "LENGTH");
    EXPECT_EQ(Target(tkField, true, "LENGTH"), "\"LENGTH\"");
    EXPECT_EQ(Target(tkField, false), "");        // nothing selected
    EXPECT_EQ(Target(tkField, true), "\"\"");
    EXPECT_EQ(Target(tkDate, false), "36725");   // never a formatted date
    EXPECT_EQ(Target(tkDate, true), "\"36725\"");
    EXPECT_EQ(Target(tkNull, false), "");
    EXPECT_EQ(Target(tkNull, true), "\"\"");
    EXPECT_EQ(Target(-1, false), "");
}

TEST(StatementBuilder, TextFieldLookup)
{
    EXPECT_TRUE(IsTextField("NAME", kFields));
    EXPECT_TRUE(IsTextField("name", kFields));
    EXPECT_TRUE(IsTextField("Notes", kFields));     // Memo counts as text
    EXPECT_FALSE(IsTextField("DEPTH", kFields));
    EXPECT_FALSE(IsTextField("FOUND", kFields));
    EXPECT_FALSE(IsTextField("\"NAME\"", kFields)); // already quoted: not a name
    EXPECT_FALSE(IsTextField("NAME ", kFields));    // no trimming
    EXPECT_FALSE(IsTextField("", kFields));
    // The first field of a name decides.
    const BuilderFields dup = {{"A", ftFloat}, {"a", ftString}};
    EXPECT_FALSE(IsTextField("a", dup));
}

TEST(StatementBuilder, StatementExamples)
{
    EXPECT_EQ(Stmt("DEPTH", ">", "LENGTH"), "(DEPTH  > LENGTH)");
    EXPECT_EQ(Stmt("NAME", "=", "True"), "(NAME  = \"True\")");
    EXPECT_EQ(Stmt("DEPTH", "<>", "NAME"), "(\"DEPTH\"  <> NAME)");
    EXPECT_EQ(Stmt("name", "=", "Big"), "(name  = \"Big\")");
    // Both sides text fields: neither is quoted.
    EXPECT_EQ(Stmt("NAME", "=", "title"), "(NAME  = title)");
    // Any empty part drops the statement; blanks are kept as they are.
    EXPECT_EQ(Stmt("", "=", "1"), "");
    EXPECT_EQ(Stmt("DEPTH", "", "1"), "");
    EXPECT_EQ(Stmt("DEPTH", "=", ""), "");
    EXPECT_EQ(Stmt(" ", "=", " "), "(   =  )");
    // No escaping and no checking of the operator.
    EXPECT_EQ(Stmt("NAME", "like", "a\"b"), "(NAME  like \"a\"b\")");
}

TEST(StatementBuilder, TargetKindTable)
{
    struct Row {
        int kind;
        bool quote;
        QString selected;
        const char* withName;
        const char* withDepth;
    };
    const Row rows[] = {
        {tkTrue, false, {}, "(NAME  = \"True\")", "(DEPTH  = True)"},
        {tkTrue, true, {}, "(NAME  = \"\"True\"\")", "(DEPTH  = \"True\")"},
        {tkFalse, false, {}, "(NAME  = \"False\")", "(DEPTH  = False)"},
        {tkField, false, "LENGTH", "(NAME  = \"LENGTH\")", "(DEPTH  = LENGTH)"},
        {tkField, false, "TITLE", "(NAME  = TITLE)", "(\"DEPTH\"  = TITLE)"},
        {tkField, true, "LENGTH", "(NAME  = \"\"LENGTH\"\")", "(DEPTH  = \"LENGTH\")"},
        {tkDate, false, {}, "(NAME  = \"36725\")", "(DEPTH  = 36725)"},
        {tkDate, true, {}, "(NAME  = \"\"36725\"\")", "(DEPTH  = \"36725\")"},
        {tkNull, false, {}, "", ""},
        {tkNull, true, {}, "(NAME  = \"\"\"\")", "(DEPTH  = \"\")"},
    };
    for (const Row& row : rows) {
        const QString target = Target(row.kind, row.quote, row.selected);
        SCOPED_TRACE(target.toStdString());
        EXPECT_EQ(Stmt("NAME", "=", target), row.withName);
        EXPECT_EQ(Stmt("DEPTH", "=", target), row.withDepth);
        // A Date or Boolean field on the left behaves like DEPTH.
        EXPECT_EQ(QString::fromStdString(Stmt("FOUND", "=", target)).replace("FOUND", "DEPTH"),
                  QString::fromLatin1(row.withDepth));
        EXPECT_EQ(QString::fromStdString(Stmt("WET", "=", target)).replace("WET", "DEPTH"),
                  QString::fromLatin1(row.withDepth));
    }
}

TEST(StatementBuilder, Conditions)
{
    const ConditionTerms both{"A", "=", "B", "C", "<", "D"};
    EXPECT_EQ(BuildCondition(both, 0, kFields), "(A  = B) OR (C  < D)");
    EXPECT_EQ(BuildCondition(both, 1, kFields), "(A  = B) AND (C  < D)");
    EXPECT_EQ(BuildCondition(both, 7, kFields), "(A  = B) AND (C  < D)");
    EXPECT_EQ(BuildCondition(both, -1, kFields), "(A  = B) AND (C  < D)");

    const ConditionTerms firstOnly{"A", "=", "B", "C", "", "D"};
    EXPECT_EQ(BuildCondition(firstOnly, 1, kFields), "(A  = B)");

    const ConditionTerms secondOnly{"", "=", "B", "DEPTH", ">", "10"};
    EXPECT_EQ(BuildCondition(secondOnly, 0, kFields), " OR (DEPTH  > 10)");
    EXPECT_EQ(BuildCondition(secondOnly, 1, kFields), " AND (DEPTH  > 10)");

    EXPECT_EQ(BuildCondition(ConditionTerms{}, 0, kFields), "");
}
