// Local SQL over real tables: the table bridge, the values it shows SQLite,
// the result's fields, the lazy cursor, the query object and its errors.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "engine/database.h"
#include "engine/daynum.h"
#include "engine/error.h"
#include "engine/sql/query.h"
#include "engine/sql/typed_constant.h"
#include "engine/table.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using tarnel::test::ScratchDir;

namespace {

struct Row {
    const char* station;
    const char* suffix;
    double depth;
    const char* name;
    std::int64_t surveyed;   // day number; -1: blank
    int flag;                // -1: blank
    const char* note;
};

// historic.dbf: seven rows, the fifth deleted.
void MakeHistoric(const std::string& folder, const std::string& fileName = "historic.dbf")
{
    std::vector<FieldDef> defs = {
        {"STATION", ftString, 12, 1}, {"SUFFIX", ftString, 4, 2}, {"DEPTH", ftFloat, 10, 3, 2},
        {"NAME", ftString, 20, 4},    {"SURVEYED", ftDate, 0, 5}, {"FLAG", ftBoolean, 0, 6},
        {"NOTE", ftMemo, 0, 7},       {"LENGTH", ftFloat, 8, 8, 1}};
    CreateTableFiles(JoinPath(folder, fileName), defs, {});
    const Row rows[] = {
        {"A1", "a", 5.5, "Big", DayNumber(2000, 7, 18), 1, "first note"},
        {"A2", "", 12.25, "LENGTH", DayNumber(2000, 7, 19), 0, ""},
        {"B7", "x", 30, "O'Hara, \"the\" pool", DayNumber(1999, 12, 31), 1, "line one\nline two"},
        {"C1", "", 10, "", -1, -1, ""},
        {"GONE", "", 99, "deleted", DayNumber(2001, 1, 1), 1, "deleted"},
        {"D4", "b", 11, "Big", DayNumber(2003, 3, 3), 0, ""},
        {"E5", "", -2.5, "big", DayNumber(1899, 12, 30), 1, ""},
    };
    Table t;
    t.setDatabaseName(folder);
    t.setTableName(fileName);
    t.open();
    for (const Row& r : rows) {
        t.append();
        t.setValue(0, Value::text(r.station));
        t.setValue(1, Value::text(r.suffix));
        t.setValue(2, Value::real(r.depth));
        t.setValue(3, Value::text(r.name));
        if (r.surveyed >= 0) t.setValue(4, Value::integer(r.surveyed));
        if (r.flag >= 0) t.setValue(5, Value::integer(r.flag));
        if (*r.note) t.setValue(6, Value::text(r.note));
        t.setValue(7, Value::real(r.depth * 2));
        t.post();
    }
    t.moveTo(4);
    t.deleteRecord();
    t.close();
}

std::vector<std::string> Column(QueryResult& r, int field)
{
    std::vector<std::string> out;
    for (r.first(); !r.eof(); r.next()) out.push_back(r.asText(field));
    return out;
}

std::int64_t Count(const std::string& folder, const std::string& sql)
{
    return QueryResult::Run(folder, sql)->recordCount();
}

std::string ErrorOf(const std::string& folder, const std::string& sql)
{
    try {
        QueryResult::Run(folder, sql)->recordCount();
    } catch (const EngineError& e) {
        return e.what();
    }
    return "no error";
}

class SqlQuery : public ::testing::Test {
protected:
    void SetUp() override { MakeHistoric(dir.path()); }
    ScratchDir dir;
};

} // namespace

TEST_F(SqlQuery, BuilderStatementGivesPlainNamesAndSourceTypes)
{
    auto r = QueryResult::Run(
        dir.path(), R"(Select "historic"."STATION","historic"."DEPTH" From "historic" Where (DEPTH  > 10))");
    ASSERT_EQ(r->fieldCount(), 2);
    EXPECT_EQ(r->field(0).name, "STATION");
    EXPECT_EQ(r->field(0).type, ftString);
    EXPECT_EQ(r->field(0).size, 12);
    EXPECT_EQ(r->field(1).name, "DEPTH");
    EXPECT_EQ(r->field(1).type, ftFloat);
    EXPECT_EQ(r->field(1).decimals, 2);
    EXPECT_EQ(r->field(1).number, 2);
    EXPECT_EQ(r->recordCount(), 3);
    EXPECT_EQ(Column(*r, 0), (std::vector<std::string>{"A2", "B7", "D4"}));
    EXPECT_EQ(Column(*r, 1), (std::vector<std::string>{"12.25", "30", "11"}));
    r->moveTo(1);
    EXPECT_DOUBLE_EQ(r->asFloat(1), 30.0);
}

TEST_F(SqlQuery, StarGivesEveryFieldInTableOrderWithoutDeletedRows)
{
    auto r = QueryResult::Run(dir.path(), R"(Select * From "historic")");
    ASSERT_EQ(r->fieldCount(), 8);
    const TFieldType types[] = {ftString, ftString, ftFloat, ftString, ftDate, ftBoolean, ftMemo, ftFloat};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(r->field(k).type, types[k]) << k;
    EXPECT_EQ(r->field(4).name, "SURVEYED");
    EXPECT_EQ(r->recordCount(), 6);
    EXPECT_EQ(Column(*r, 0), (std::vector<std::string>{"A1", "A2", "B7", "C1", "D4", "E5"}));
}

TEST_F(SqlQuery, DoubleQuotedTextIsAConstantEvenWhenItNamesAField)
{
    EXPECT_EQ(Count(dir.path(), R"(Select * From "historic" Where (NAME  = "LENGTH"))"), 1);
    EXPECT_EQ(Count(dir.path(), R"(Select * From "historic" Where (NAME  = "Big"))"), 2);   // case matters
    EXPECT_EQ(Count(dir.path(), R"(Select * From "historic" Where (SUFFIX  = ""))"), 3);
    EXPECT_EQ(Count(dir.path(), R"(Select * From "historic" Where (STATION  = "A1"))"), 1);   // no padding
    EXPECT_EQ(Count(dir.path(), R"(Select * From "historic" Where (NAME  = "O'Hara, ""the"" pool"))"), 1);
    EXPECT_EQ(Count(dir.path(), R"(Select * From "historic" Where ("historic"."NAME"  = 'Big'))"), 2);
    // Quoted digits still compare with a number field.
    EXPECT_EQ(Count(dir.path(), R"(Select * From "historic" Where (DEPTH  = "12.25"))"), 1);
    // A field compared with a field.
    EXPECT_EQ(Count(dir.path(), R"(Select * From "historic" Where (LENGTH  > DEPTH))"), 5);
}

TEST_F(SqlQuery, DatesAreDayNumbersAndLogicalsTrueOrFalse)
{
    auto r = QueryResult::Run(dir.path(), R"(Select "historic"."STATION","historic"."SURVEYED","historic"."FLAG" )"
                                          R"(From "historic" Where (SURVEYED  > 36725))");
    EXPECT_EQ(Column(*r, 0), (std::vector<std::string>{"A2", "D4"}));
    EXPECT_EQ(Column(*r, 1), (std::vector<std::string>{"2000-07-19", "2003-03-03"}));
    EXPECT_EQ(Column(*r, 2), (std::vector<std::string>{"False", "False"}));
    EXPECT_EQ(r->field(1).type, ftDate);
    EXPECT_EQ(r->field(2).type, ftBoolean);
    r->first();
    EXPECT_EQ(r->value(1), Value::integer(36726));

    EXPECT_EQ(Count(dir.path(), R"(Select * From "historic" Where (SURVEYED  >= 36725))"), 3);
    EXPECT_EQ(Count(dir.path(), R"(Select * From "historic" Where (SURVEYED  = 0))"), 1);
    EXPECT_EQ(Count(dir.path(), R"(Select * From "historic" Where (FLAG  = True))"), 3);
    EXPECT_EQ(Count(dir.path(), R"(Select * From "historic" Where (FLAG  = False) OR (FLAG  = True))"), 5);
}

TEST_F(SqlQuery, QuotedConstantsTakeTheTypeOfTheFieldTheyAreComparedWith)
{
    auto count = [&](const std::string& condition) {
        return Count(dir.path(), R"(Select * From "historic" Where )" + condition);
    };
    EXPECT_EQ(count(R"((SURVEYED  = "2000-07-18"))"), 1);
    EXPECT_EQ(count(R"((SURVEYED  = "36725"))"), 1);   // the builder's day number, quoted
    EXPECT_EQ(count(R"(("2000-07-18" < SURVEYED))"), 2);
    EXPECT_EQ(count(R"(("historic"."SURVEYED" >= "2000-07-18"))"), 3);
    for (const char* t : {"True", "T", "yes", " TRUE "}) EXPECT_EQ(count(std::string("(FLAG  = \"") + t + "\")"), 3) << t;
    EXPECT_EQ(count(R"((FLAG  = "no"))"), 2);
    EXPECT_EQ(count(R"((DEPTH  > "+10.5"))"), 3);
    EXPECT_EQ(count(R"((DEPTH  = "1e1"))"), 1);

    // The user's own date format, through the reader the caller gives.
    auto userDate = [](std::string_view text, std::int64_t& day) {
        if (text != "18 Jul 2000") return false;
        day = DayNumber(2000, 7, 18);
        return true;
    };
    EXPECT_EQ(QueryResult::Run(dir.path(), R"(Select * From "historic" Where (SURVEYED  = "18 Jul 2000"))", userDate)
                  ->recordCount(),
              1);

    // What cannot be converted stops the query, naming the field and the text.
    const struct { const char* condition; const char* field; const char* text; } bad[] = {
        {R"((SURVEYED  = "someday"))", "SURVEYED", R"("someday")"},
        {R"((FLAG  = "maybe"))", "FLAG", R"("maybe")"},
        {R"(("deep" < DEPTH))", "DEPTH", R"("deep")"}};
    for (const auto& b : bad) {
        const std::string e = ErrorOf(dir.path(), R"(Select * From "historic" Where )" + std::string(b.condition));
        EXPECT_NE(e.find(b.field), std::string::npos) << e;
        EXPECT_NE(e.find(b.text), std::string::npos) << e;
    }
}

TEST(SqlTypedConstant, TimesDateTimesNumbersAndLogicals)
{
    using sql::TypedConstant;
    const FieldDef seen{"SEEN", ftDateTime, 0, 1}, at{"AT", ftTime, 0, 2}, name{"NAME", ftString, 10, 3};
    const FieldDef depth{"DEPTH", ftFloat, 0, 4}, wet{"WET", ftBoolean, 0, 5};
    EXPECT_EQ(TypedConstant(seen, "2000-07-18 12:00"), "36725.5");
    EXPECT_EQ(TypedConstant(seen, "2000-07-18"), "36725.0");
    EXPECT_EQ(TypedConstant(seen, "36725.25"), "36725.25");
    EXPECT_EQ(TypedConstant(at, "06:00:00"), "0.25");
    EXPECT_THROW(TypedConstant(at, "25:00"), EngineError);
    EXPECT_THROW(TypedConstant(seen, "2000-02-30"), EngineError);
    EXPECT_EQ(TypedConstant(name, "anything"), std::nullopt);
    // The same words and numerals as typing into a field, never an infinity.
    EXPECT_EQ(TypedConstant(wet, "y"), "1");
    EXPECT_EQ(TypedConstant(wet, "0"), "0");
    EXPECT_EQ(TypedConstant(depth, " +12 "), "12");
    for (const char* t : {"inf", "nan", "1e999"}) EXPECT_THROW(TypedConstant(depth, t), EngineError) << t;
}

TEST_F(SqlQuery, BlanksAreNullAndMemosAreText)
{
    EXPECT_EQ(Count(dir.path(), R"(Select * From "historic" Where SURVEYED Is Null)"), 1);
    EXPECT_EQ(Count(dir.path(), R"(Select * From "historic" Where FLAG Is Null)"), 1);
    auto r = QueryResult::Run(dir.path(), R"(Select "historic"."NOTE" From "historic" Where (STATION  = "B7"))");
    EXPECT_EQ(r->field(0).type, ftMemo);
    EXPECT_EQ(r->asText(0), "line one\nline two");
    EXPECT_EQ(Count(dir.path(), R"(Select * From "historic" Where NOTE Like "%note%")"), 1);
}

TEST_F(SqlQuery, ExpressionsAndConstantsAreStrings)
{
    auto r = QueryResult::Run(dir.path(),
                              R"(Select "historic"."STATION","",DEPTH * 2, Count(*) AS N From "historic")");
    ASSERT_EQ(r->fieldCount(), 4);
    EXPECT_EQ(r->field(0).type, ftString);
    EXPECT_EQ(r->field(1).type, ftString);
    EXPECT_EQ(r->field(2).type, ftString);
    EXPECT_EQ(r->field(3).name, "N");
    EXPECT_EQ(r->asText(1), "");
    EXPECT_EQ(r->asText(3), "6");
}

TEST_F(SqlQuery, TablesAreFoundByStemOrFileNameInAnyCase)
{
    MakeHistoric(dir.path(), "TEMP.DBF");
    MakeHistoric(dir.path(), "a.b.dbf");
    EXPECT_EQ(Count(dir.path(), R"(Select "TEMP.DBF"."DEPTH" From "TEMP.DBF")"), 6);
    EXPECT_EQ(Count(dir.path(), R"(Select * From "temp")"), 6);
    EXPECT_EQ(Count(dir.path(), R"(Select "a.b"."STATION" From "a.b" Where ("a.b"."DEPTH"  > 10))"), 3);
    EXPECT_EQ(Count(dir.path(), R"(Select * From HISTORIC h Where h.DEPTH > 10)"), 3);
    // A table joined with itself.
    EXPECT_EQ(Count(dir.path(), R"(Select x."STATION" From "historic" x, "historic" y )"
                                R"(Where x."STATION" = y."STATION" And y."DEPTH" > 10)"), 3);
    EXPECT_EQ(Count(dir.path(), R"(Select * From "historic" x Join "temp" y On x."STATION" = y."STATION")"), 6);
}

TEST(SqlTableFiles, StemPrefersDbfThenDbThenTxt)
{
    ScratchDir dir;
    auto touch = [&](const std::string& name) { std::ofstream(dir.file(name)) << "x"; };
    touch("cave.txt");
    EXPECT_EQ(FindTableFile(dir.path(), "cave"), dir.file("cave.txt"));
    touch("cave.db");
    EXPECT_EQ(FindTableFile(dir.path(), "CAVE"), dir.file("cave.db"));
    touch("Cave.DBF");
    EXPECT_EQ(FindTableFile(dir.path(), "cave"), dir.file("Cave.DBF"));
    EXPECT_EQ(FindTableFile(dir.path(), "cave.txt"), dir.file("cave.txt"));
    touch("notes.doc");
    EXPECT_EQ(FindTableFile(dir.path(), "notes"), "");
    EXPECT_EQ(FindTableFile(dir.path(), ""), "");
}

TEST_F(SqlQuery, ErrorsCarrySQLitesMessageAndTheStatement)
{
    const std::string orStart = R"(Select * From "historic" Where  OR (DEPTH  > 10))";
    std::string e = ErrorOf(dir.path(), orStart);
    EXPECT_NE(e.find("syntax error"), std::string::npos) << e;
    EXPECT_NE(e.find(orStart), std::string::npos) << e;
    // The token quoted is the one the user wrote, not its translation.
    e = ErrorOf(dir.path(), R"(Select * From "historic" Where (FLAG  = True True))");
    EXPECT_NE(e.find(R"(near "True")"), std::string::npos) << e;

    e = ErrorOf(dir.path(), R"(Select "historic"."NOPE" From "historic")");
    EXPECT_NE(e.find("NOPE"), std::string::npos) << e;
    e = ErrorOf(dir.path(), R"(Select * From "missing")");
    EXPECT_NE(e.find("missing"), std::string::npos) << e;
    EXPECT_NE(e.find(dir.path()), std::string::npos) << e;
    e = ErrorOf(dir.path(), R"(Select * From "")");
    EXPECT_NE(e.find("not found"), std::string::npos) << e;
    e = ErrorOf(dir.path() + "/nope", R"(Select * From "historic")");
    EXPECT_NE(e.find("nope"), std::string::npos) << e;
    EXPECT_NE(ErrorOf(dir.path(), ""), "no error");
}

TEST_F(SqlQuery, OnlyOneReadingStatementRuns)
{
    EXPECT_NE(ErrorOf(dir.path(), R"(Delete From "historic")"), "no error");
    EXPECT_NE(ErrorOf(dir.path(), R"(Create Table x (a))"), "no error");
    EXPECT_NE(ErrorOf(dir.path(), R"(Select * From "historic"; Delete From "historic")"), "no error");
    const std::string attach = "Attach Database '" + dir.file("other.sqlite") + "' As o";
    EXPECT_NE(ErrorOf(dir.path(), attach), "no error");
    EXPECT_FALSE(std::ifstream(dir.file("other.sqlite")).good());
    // A trailing semicolon or comment is fine.
    EXPECT_EQ(Count(dir.path(), "Select * From \"historic\";  -- all\n"), 6);
    EXPECT_EQ(Count(dir.path(), R"(Select * From "historic")"), 6);
}

TEST_F(SqlQuery, RowsAreFetchedAsTheCursorReachesThem)
{
    auto r = QueryResult::Run(dir.path(), R"(Select "historic"."STATION" From "historic")");
    EXPECT_EQ(r->fetchedCount(), 1);
    EXPECT_FALSE(r->fetchedAll());
    r->moveTo(3);
    EXPECT_EQ(r->fetchedCount(), 4);
    EXPECT_EQ(r->asText(0), "C1");
    r->moveTo(0);
    EXPECT_EQ(r->asText(0), "A1");
    EXPECT_EQ(r->recordCount(), 6);
    EXPECT_TRUE(r->fetchedAll());
    r->moveTo(5);
    EXPECT_FALSE(r->eof());
    EXPECT_EQ(r->asText(0), "E5");
    r->moveTo(6);
    EXPECT_TRUE(r->eof());
    EXPECT_THROW(r->value(0), EngineError);
    r->last();
    EXPECT_EQ(r->asText(0), "E5");
    EXPECT_THROW(r->value(1), EngineError);

    auto empty = QueryResult::Run(dir.path(), R"(Select * From "historic" Where (DEPTH  > 1000))");
    EXPECT_TRUE(empty->eof());
    EXPECT_EQ(empty->recordCount(), 0);
    EXPECT_EQ(empty->fieldCount(), 8);
}

namespace {
struct Recorder : DataSetObserver {
    std::vector<ChangeKind> seen;
    void dataSetChanged(DataSet&, ChangeKind kind) override { seen.push_back(kind); }
};
} // namespace

TEST_F(SqlQuery, QueryObjectRunsItsLinesAndTellsItsViews)
{
    Query q;
    Recorder views;
    q.addObserver(&views);
    q.setDatabaseName(dir.path());
    q.clearSql();
    q.addSql(R"(Select "historic"."STATION" From "historic")");
    q.addSql(R"(Where (DEPTH  > 10))");
    EXPECT_EQ(q.sqlText(), "Select \"historic\".\"STATION\" From \"historic\"\nWhere (DEPTH  > 10)");
    q.open();
    EXPECT_TRUE(q.active());
    EXPECT_EQ(q.recordCount(), 3);
    EXPECT_EQ(q.fieldByName("station").name, "STATION");
    EXPECT_THROW(q.setDatabaseName("x"), EngineError);
    EXPECT_THROW(q.addSql("x"), EngineError);
    q.disableViews();
    std::vector<std::string> stations;
    for (q.first(); !q.eof(); q.next()) stations.push_back(q.asText(0));
    q.enableViews();
    EXPECT_EQ(stations, (std::vector<std::string>{"A2", "B7", "D4"}));
    q.close();
    EXPECT_FALSE(q.active());
    EXPECT_EQ(q.fieldCount(), 0);
    EXPECT_EQ(q.recordCount(), 0);
    EXPECT_EQ(views.seen.front(), ChangeKind::Reset);
    EXPECT_EQ(views.seen.back(), ChangeKind::Reset);

    // A failing statement leaves the query closed; the same text runs again alike.
    q.clearSql();
    q.addSql(R"(Select * From "historic" Where  AND (DEPTH  > 10))");
    EXPECT_THROW(q.open(), EngineError);
    EXPECT_FALSE(q.active());
    q.clearSql();
    q.addSql(R"(Select * From "historic" Where (DEPTH  > 10))");
    q.open();
    EXPECT_EQ(q.recordCount(), 3);
    q.close();
    q.open();
    EXPECT_EQ(q.recordCount(), 3);
    q.removeObserver(&views);
}

TEST_F(SqlQuery, AReadErrorPartWayIsNeverTakenForTheEndOfTheRows)
{
    // Cut the memo file after the first memo: the third row cannot be read.
    std::filesystem::resize_file(dir.file("historic.dbt"), 1024);
    auto r = QueryResult::Run(dir.path(), R"(Select * From "historic")");
    EXPECT_EQ(r->asText(0), "A1");
    for (int attempt = 0; attempt < 2; ++attempt) EXPECT_THROW(r->recordCount(), EngineError) << attempt;
    EXPECT_FALSE(r->fetchedAll());
}

TEST_F(SqlQuery, TableFileProblemsBecomeErrorsNotCrashes)
{
    // Cut the file short behind the header: the rows are gone, the header claims them.
    const std::string path = dir.file("historic.dbf");
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    in.close();
    std::ofstream(dir.file("short.dbf"), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size() - 150));
    std::string e = ErrorOf(dir.path(), R"(Select * From "short")");
    EXPECT_NE(e, "no error");
}

TEST(StreamedQueryResult, GivesTheRowsOfAKeptOne)
{
    ScratchDir dir;
    MakeHistoric(dir.path());
    const std::string sql = R"(Select STATION, DEPTH, NOTE From "historic" Where DEPTH > 0)";
    auto kept = QueryResult::Run(dir.path(), sql);
    auto streamed = QueryResult::Run(dir.path(), sql, QueryResult::Rows::Streamed);
    EXPECT_EQ(Column(*streamed, 0), Column(*kept, 0));
    // Back to an earlier row, past the end and back, and the count.
    for (std::int64_t row : {3, 1, 1, 9, 2}) {
        kept->moveTo(row);
        streamed->moveTo(row);
        EXPECT_EQ(streamed->eof(), kept->eof()) << row;
        EXPECT_EQ(streamed->row(), kept->row()) << row;
        if (!kept->eof()) EXPECT_EQ(streamed->asText(2), kept->asText(2)) << row;
    }
    EXPECT_EQ(streamed->recordCount(), kept->recordCount());
    EXPECT_EQ(streamed->asText(0), kept->asText(0));
}
