// Conditions the table scan tests itself: every condition gives exactly the
// rows SQLite gives when it tests the condition on its own.
#include <gtest/gtest.h>

#include <regex>

#include "engine/database.h"
#include "engine/daynum.h"
#include "engine/sql/query.h"
#include "engine/table.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using tarnel::test::ScratchDir;

namespace {

// survey.dbf: text with blanks and mixed letter case, negative and blank
// numbers, blank dates and logicals, whole numbers, deleted rows.
void MakeSurvey(const std::string& folder)
{
    std::vector<FieldDef> defs = {{"NAME", ftString, 10, 1},  {"DEPTH", ftFloat, 8, 2, 2},
                                  {"COUNT", ftInteger, 5, 3}, {"SURVEYED", ftDate, 0, 4},
                                  {"FLAG", ftBoolean, 0, 5},  {"NOTE", ftMemo, 0, 6}};
    CreateTableFiles(JoinPath(folder, "survey.dbf"), defs, {});
    Table t;
    t.setDatabaseName(folder);
    t.setTableName("survey.dbf");
    t.open();
    const char* names[] = {"Abc", "abc", "ABC", "", "b", "B", " lead", "10", "9", "zz z"};
    for (int k = 0; k < 60; ++k) {
        t.append();
        t.setValue(0, Value::text(names[k % 10]));
        if (k % 7 != 3) t.setValue(1, Value::real((k % 13) * 2.5 - 12.5));
        if (k % 5 != 1) t.setValue(2, Value::integer(k % 4 - 1));
        if (k % 6 != 2) t.setValue(3, Value::integer(DayNumber(2000, 1, 1) + k % 9));
        if (k % 4 != 0) t.setValue(4, Value::integer(k % 3 == 0));
        if (k % 3 == 0) t.setValue(5, Value::text("memo " + std::to_string(k)));
        t.post();
    }
    for (int row : {40, 20, 0}) {
        t.moveTo(row);
        t.deleteRecord();
    }
    t.close();
}

std::vector<std::string> Rows(const std::string& folder, const std::string& sql)
{
    auto result = QueryResult::Run(folder, sql);
    std::vector<std::string> rows;
    for (result->first(); !result->eof(); result->next()) {
        std::string row;
        for (int k = 0; k < result->fieldCount(); ++k) row += result->asText(k) + "|";
        rows.push_back(row);
    }
    return rows;
}

// The statement with each constant {c} written as is, and with it as a
// subquery (SELECT c): the same value and affinity, but not known when the
// statement is planned, so SQLite tests the condition itself.
std::string WithConstants(const std::string& text, bool hidden)
{
    static const std::regex constant(R"(\{([^}]*)\})");
    return std::regex_replace(text, constant, hidden ? "(SELECT $1)" : "$1");
}

} // namespace

TEST(ScanConditions, GiveTheRowsSqliteGives)
{
    ScratchDir dir;
    MakeSurvey(dir.path());
    const char* conditions[] = {
        // numbers, with NULLs and negatives; integers against reals
        "DEPTH > {10}", "DEPTH >= {-5.5}", "DEPTH < {0}", "DEPTH <= {-12.5}", "DEPTH = {2.5}",
        "DEPTH <> {2.5}", "{10} < DEPTH", "DEPTH = {NULL}", "DEPTH IS {NULL}", "DEPTH IS NOT {NULL}",
        "DEPTH IS {7.5}", "DEPTH IS NOT {7.5}", "DEPTH IS NULL", "DEPTH NOTNULL", "COUNT = {0}", "COUNT > {0.5}",
        "COUNT < {9223372036854775807}", "COUNT >= {-9.3e18}", "COUNT = {-1} AND DEPTH > {0}",
        // text against numbers and numbers against text: left to SQLite, same rows
        "DEPTH > {'10'}", "DEPTH = {'2.5'}", "NAME = {10}", "NAME > {9}", "COUNT = {'0'}",
        // text: letter case, blanks, collations
        "NAME = {'Abc'}", "NAME = {'abc'} COLLATE NOCASE", "NAME > {'B'}", "NAME >= {'b'}", "NAME < {'a'}",
        "NAME = {''}", "NAME <> {''}", "NAME IS NULL", "NAME = {' lead'}", "NAME < {'b'} AND DEPTH >= {0}",
        "NAME = {'zz z'}", "NAME > {'ABC'} AND NAME < {'abc'}", "NOTE = {'memo 3'}", "NOTE > {'memo 4'}",
        "NOTE IS NULL",
        // dates as day numbers, logicals as 1/0
        "SURVEYED > {36529}", "SURVEYED = {36530}", "SURVEYED IS NULL", "FLAG = {1}", "FLAG = {0}",
        "FLAG IS NULL", "FLAG <> {1} AND SURVEYED < {36535}",
    };
    for (const char* condition : conditions) {
        const std::string sql = "Select NAME, DEPTH, COUNT, SURVEYED, FLAG, NOTE From survey Where " + std::string(condition);
        const auto pushed = Rows(dir.path(), WithConstants(sql, false));
        const auto tested = Rows(dir.path(), WithConstants(sql, true));
        EXPECT_EQ(pushed, tested) << condition;
        // A count alone, where SQLite reads no column at all.
        const std::string count = "Select count(*) From survey Where " + std::string(condition);
        EXPECT_EQ(Rows(dir.path(), WithConstants(count, false)), Rows(dir.path(), WithConstants(count, true)))
            << condition;
    }
    // Deleted rows stay out whatever the condition.
    EXPECT_EQ(Rows(dir.path(), "Select count(*) From survey Where DEPTH IS NULL OR DEPTH IS NOT NULL"),
              std::vector<std::string>{"57|"});
}

TEST(ScanConditions, TheScanTestsWhatItCanDecide)
{
    ScratchDir dir;
    MakeSurvey(dir.path());
    auto plan = [&](const std::string& condition) {
        auto rows = Rows(dir.path(), "EXPLAIN QUERY PLAN Select * From survey Where " + condition);
        std::string text;
        for (const auto& r : rows) text += r;
        return text;
    };
    // idxStr lists field:operation for each condition the scan tests.
    const std::string both = plan("DEPTH > 10 AND NAME = 'b'");
    EXPECT_NE(both.find("1:4;"), std::string::npos) << both;
    EXPECT_NE(both.find("0:0;"), std::string::npos) << both;
    EXPECT_NE(plan("FLAG IS NULL").find("4:8;"), std::string::npos);
    // Text against a number, another collation, a value not known ahead: SQLite's.
    for (const char* kept : {"NAME = 10", "DEPTH > '10'", "NAME = 'b' COLLATE NOCASE", "DEPTH > (SELECT 1)",
                             "DEPTH IN (1, 2)", "NAME LIKE 'a%'"})
        EXPECT_NE(plan(kept).find("INDEX 0:|"), std::string::npos) << kept << ": " << plan(kept);
}

TEST(ScanConditions, SelfJoinCursorsReadIndependently)
{
    ScratchDir dir;
    MakeSurvey(dir.path());
    const auto rows = Rows(dir.path(),
                           "Select a.NAME, b.NAME From survey a, survey b Where a.COUNT = 1 And b.COUNT = 1 "
                           "And a.DEPTH > b.DEPTH");
    const auto same = Rows(dir.path(),
                           "Select a.NAME, b.NAME From survey a, survey b Where a.COUNT = (SELECT 1) And "
                           "b.COUNT = (SELECT 1) And a.DEPTH > b.DEPTH");
    EXPECT_FALSE(rows.empty());
    EXPECT_EQ(rows, same);
}
