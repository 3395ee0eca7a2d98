// ASCII tables: a text file of rows and the schema file that describes it.
#include <gtest/gtest.h>

#include "engine/daynum.h"
#include "engine/error.h"
#include "engine/table_format.h"
#include "tests/engine/format_test_util.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using namespace tarnel::test;

namespace {

std::string Text(TableFormat& t, std::int64_t r, int f) { return FormatValueText(t.fields()[static_cast<size_t>(f)], t.value(r, f)); }

void ExpectError(const std::function<void()>& action, const std::string& part)
{
    try {
        action();
        ADD_FAILURE() << "no error; expected one about: " << part;
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
    }
}

} // namespace

TEST(AsciiTables, CreatedTablesRoundTripEveryType)
{
    ScratchDir dir;
    std::string path = dir.file("caves.txt");
    CreateTableFiles(path,
                     {Def("NAME", ftString, 30), Def("LEG", ftSmallint), Def("ID", ftInteger), Def("DEPTH", ftFloat),
                      Def("WET", ftBoolean), Def("FOUND", ftDate), Def("AT", ftTime), Def("SEEN", ftDateTime),
                      Def("COST", ftBCD, 2)},
                     {});
    std::string schema = ReadFile(dir.file("caves.sch"));
    EXPECT_NE(schema.find("[caves]"), std::string::npos);
    EXPECT_NE(schema.find("FILETYPE=VARYING"), std::string::npos);
    EXPECT_NE(schema.find("Field1=NAME,CHAR,30,00,00"), std::string::npos);
    std::vector<Value> first = {Value::text("Gouffre \"Berger\", Isère"), Value::integer(-12), Value::integer(123456789),
                                Value::real(-1122.75), Value::integer(1), Value::integer(DayNumber(1953, 5, 1)),
                                Value::real(0.5), Value::real(DayNumber(2026, 12, 8) + 0.25), Value::real(10.5)};
    {
        auto t = OpenTableFormat(path, TableType::Default, false);
        EXPECT_EQ(t->type(), TableType::ASCII);
        EXPECT_EQ(t->appendRecord(first), 0);
        EXPECT_EQ(t->appendRecord(std::vector<Value>(9)), 1);
        EXPECT_EQ(t->appendRecord({Value::text("last"), Value(), Value(), Value::real(1.0 / 3.0), Value::integer(0),
                                   Value(), Value(), Value(), Value()}),
                  2);
    }
    auto t = OpenTableFormat(path, TableType::ASCII, true);
    ASSERT_EQ(t->physicalCount(), 3);
    for (int k = 0; k < 9; ++k) EXPECT_EQ(t->value(0, k), first[static_cast<size_t>(k)]) << t->fields()[static_cast<size_t>(k)].name;
    for (int k = 0; k < 9; ++k) EXPECT_TRUE(t->isNull(1, k));
    EXPECT_EQ(t->value(2, 3), Value::real(1.0 / 3.0));   // no digits lost
    EXPECT_EQ(Text(*t, 2, 4), "False");
    EXPECT_EQ(t->fields()[0].size, 30);
    EXPECT_EQ(t->fields()[1].type, ftSmallint);
    EXPECT_EQ(t->fields()[8].type, ftBCD);
}

TEST(AsciiTables, HandWrittenFilesOfBothKinds)
{
    ScratchDir dir;
    WriteFile(dir.file("FIX.SCH"),
              "[FIX]\r\nFILETYPE=FIXED\r\nCHARSET=ascii\r\n"
              "Field1=STATION,CHAR,8,00,00\r\nField2=DEPTH,FLOAT,8,02,08\r\nField3=WHEN,DATE,10,00,16\r\n");
    WriteFile(dir.file("FIX.TXT"), "A1      -12.50  12/24/1999\r\n\r\nB 2        3   \r\n\x1a");
    auto fixed = OpenTableFormat(dir.file("FIX.TXT"), TableType::Default, true);
    ASSERT_EQ(fixed->physicalCount(), 2);   // the blank line and the end mark are no rows
    EXPECT_EQ(fixed->value(0, 0), Value::text("A1"));
    EXPECT_EQ(fixed->value(0, 1), Value::real(-12.5));
    EXPECT_EQ(Text(*fixed, 0, 2), "1999-12-24");
    EXPECT_EQ(fixed->value(1, 0), Value::text("B 2"));
    EXPECT_TRUE(fixed->isNull(1, 2));

    WriteFile(dir.file("vary.sch"),
              "; cave list\n[VARY]\nFILETYPE=VARYING\nCHARSET=ANSIINTL\nDELIMITER='\nSEPARATOR=;\n"
              "Field1=NAME,CHAR,40,00,00\nField2=N,LONGINT,11,00,00\nField3=OK,BOOL,1,00,00\n");
    WriteFile(dir.file("vary.txt"), "'two\nlines';7;T\n'it''s; here' ; 8\n'caf\xe9';;F");
    auto varying = OpenTableFormat(dir.file("vary.txt"), TableType::ASCII, true);
    ASSERT_EQ(varying->physicalCount(), 3);
    EXPECT_EQ(varying->value(0, 0), Value::text("two\nlines"));   // a line break inside the delimiters
    EXPECT_EQ(varying->value(1, 0), Value::text("it's; here"));
    EXPECT_EQ(varying->value(1, 1), Value::integer(8));
    EXPECT_TRUE(varying->isNull(1, 2));   // missing at the end of the row
    EXPECT_EQ(varying->value(2, 0), Value::text("caf\xc3\xa9"));   // 1252 decoded
    EXPECT_TRUE(varying->isNull(2, 1));
    EXPECT_EQ(varying->value(2, 2), Value::integer(0));

    // An unclosed delimiter does not swallow the rest of the file.
    WriteFile(dir.file("vary.txt"), "'open;1;T\n'b';2;F\n");
    EXPECT_EQ(OpenTableFormat(dir.file("vary.txt"), TableType::ASCII, true)->physicalCount(), 2);
}

TEST(AsciiTables, UpdatesAndDeletesKeepTheOtherRows)
{
    ScratchDir dir;
    WriteFile(dir.file("t.sch"), "[T]\nFILETYPE=FIXED\nField1=NAME,CHAR,6,00,00\nField2=N,SHORT,4,00,06\n");
    WriteFile(dir.file("t.txt"), "");
    auto t = OpenTableFormat(dir.file("t.txt"), TableType::ASCII, false);
    for (int k = 0; k < 5; ++k) t->appendRecord({Value::text("row" + std::to_string(k)), Value::integer(k)});
    EXPECT_EQ(ReadFile(dir.file("t.txt")).substr(0, 12), "row0     0\r\n");
    t->updateRecord(1, {Value::text("one"), Value()}, {true, false});
    t->deleteRecord(3);
    t->updateRecord(0, {Value(), Value::integer(-999)}, {false, true});
    ASSERT_EQ(t->physicalCount(), 4);
    EXPECT_EQ(t->value(1, 0), Value::text("one"));
    EXPECT_EQ(t->value(1, 1), Value::integer(1));
    EXPECT_EQ(t->value(2, 0), Value::text("row2"));
    EXPECT_EQ(t->value(3, 0), Value::text("row4"));
    EXPECT_EQ(t->value(0, 1), Value::integer(-999));
    std::string before = ReadFile(dir.file("t.txt"));
    ExpectError([&] { t->appendRecord({Value::text("toolong"), Value()}); }, "longer");
    ExpectError([&] { t->appendRecord({Value(), Value::integer(99999)}); }, "whole number");
    ExpectError([&] { t->updateRecord(0, {Value::text("a\nb"), Value()}, {true, false}); }, "line breaks");
    EXPECT_EQ(ReadFile(dir.file("t.txt")), before);

    // Varying rows change length: the file is rewritten and reindexed.
    CreateTableFiles(dir.file("v.txt"), {Def("NAME", ftString, 100), Def("N", ftInteger)}, {});
    auto v = OpenTableFormat(dir.file("v.txt"), TableType::ASCII, false);
    for (int k = 0; k < 1000; ++k) v->appendRecord({Value::text("r" + std::to_string(k)), Value::integer(k)});
    v->updateRecord(10, {Value::text(std::string(90, 'z')), Value()}, {true, false});
    v->deleteRecord(500);
    EXPECT_EQ(v->physicalCount(), 999);
    EXPECT_EQ(v->value(10, 0).s.size(), 90u);
    EXPECT_EQ(v->value(11, 1), Value::integer(11));
    EXPECT_EQ(v->value(998, 1), Value::integer(999));
    EXPECT_EQ(v->value(500, 1), Value::integer(501));
}

TEST(AsciiTables, TwoWritersSeeEachOthersRows)
{
    ScratchDir dir;
    std::string path = dir.file("shared.txt");
    CreateTableFiles(path, {Def("WHO", ftString, 1), Def("N", ftInteger)}, {});
    auto a = OpenTableFormat(path, TableType::ASCII, false);
    auto b = OpenTableFormat(path, TableType::ASCII, false);
    for (int k = 0; k < 20; ++k) {
        a->appendRecord({Value::text("a"), Value::integer(k)});
        b->appendRecord({Value::text("b"), Value::integer(k)});
        if (k == 10) a->deleteRecord(0);
    }
    b->updateRecord(0, {Value::text("c"), Value()}, {true, false});
    auto c = OpenTableFormat(path, TableType::ASCII, true);
    ASSERT_EQ(c->physicalCount(), 39);
    EXPECT_EQ(c->value(0, 0), Value::text("c"));
    EXPECT_EQ(c->value(38, 0), Value::text("b"));
    EXPECT_EQ(c->value(38, 1), Value::integer(19));
}

TEST(AsciiTables, MissingOrBrokenSchemasAndRowsGiveClearErrors)
{
    ScratchDir dir;
    WriteFile(dir.file("lone.txt"), "1,2\n");
    ExpectError([&] { OpenTableFormat(dir.file("lone.txt"), TableType::Default, true); }, "lone.sch");
    auto schemaError = [&](const std::string& schema, const std::string& part) {
        WriteFile(dir.file("s.sch"), schema);
        WriteFile(dir.file("s.txt"), "");
        ExpectError([&] { OpenTableFormat(dir.file("s.txt"), TableType::ASCII, true); }, part);
    };
    schemaError("FILETYPE=FIXED\n", "section");
    schemaError("[S]\nField1=A,CHAR,5,00,00\n", "FILETYPE");
    schemaError("[S]\nFILETYPE=VARYING\nField1=A,MONEYBAG,5,00,00\n", "unknown field type");
    schemaError("[S]\nFILETYPE=VARYING\nField1=A,CHAR,5,00,00\nField3=B,CHAR,5,00,00\n", "Field2 is missing");
    schemaError("[S]\nFILETYPE=VARYING\nField1=A,CHAR,5\n", "name,type");
    schemaError("[S]\nFILETYPE=VARYING\nField1=A,CHAR,5,00,00\nField2=a,CHAR,5,00,00\n", "twice");
    schemaError("[S]\nFILETYPE=SOMETIMES\n", "FIXED or VARYING");

    WriteFile(dir.file("s.sch"), "[S]\nFILETYPE=VARYING\nField1=A,CHAR,5,00,00\nField2=N,FLOAT,8,00,00\n");
    WriteFile(dir.file("s.txt"), "\"ok\",1\n\"bad\",one\n");
    auto t = OpenTableFormat(dir.file("s.txt"), TableType::ASCII, true);
    EXPECT_EQ(t->value(0, 1), Value::real(1));
    ExpectError([&] { t->value(1, 1); }, "row 2, field 'N'");
    ExpectError([&] { CreateTableFiles(dir.file("m.txt"), {Def("NOTE", ftMemo)}, {}); }, "field NOTE has the type Memo, which ASCII tables cannot hold");
}
