// tarnel-cli info and dump: output formats, errors and exit statuses.
#include <gtest/gtest.h>
#include <cstdio>
#include <sstream>

#include "cli/commands.h"
#include "engine/daynum.h"
#include "engine/table.h"
#include "tests/support/bare_table.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using tarnel::test::Fixture;
using tarnel::test::ScratchDir;

namespace {
struct Result { int status; std::string out, err; };

Result Call(int (*command)(const cli::Args&, std::ostream&, std::ostream&), const cli::Args& args)
{
    std::ostringstream out, err;
    int status = command(args, out, err);
    return {status, out.str(), err.str()};
}
} // namespace

TEST(CliInfo, ListsRowsAndFields)
{
    Result r = Call(cli::InfoCommand, {Fixture("dbf/dbase_8b.dbf")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "rows\t10\n1\tCHARACTER\tString\t100\n2\tNUMERICAL\tFloat\t20\n3\tDATE\tDate\t0\n"
              "4\tLOGICAL\tBoolean\t0\n5\tFLOAT\tFloat\t20\n6\tMEMO\tMemo\t0\n");
    Result byDatabase = Call(cli::InfoCommand, {Fixture("dbf"), "DBASE_8B.DBF"});
    EXPECT_EQ(byDatabase.out, r.out);
}

TEST(CliDump, WritesCsvInTheEnginesTextForms)
{
    ScratchDir dir;
    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("f.dbf");
    t.addFieldDef("STATION", ftString, 12);
    t.addFieldDef("DEPTH", ftFloat, 12, false, 4);
    t.addFieldDef("N", ftInteger, 0);
    t.addFieldDef("SEEN", ftDate, 0);
    t.addFieldDef("OK", ftBoolean, 0);
    t.addFieldDef("NOTE", ftMemo, 0);
    t.addFieldDef("PIC", ftGraphic, 0);
    t.createTable();
    t.open();
    t.append();
    t.setText(0, "A, \"1\"");
    t.setValue(1, Value::real(1.0 / 3.0));
    t.setText(2, "-42");
    t.setText(3, "2000-07-18");
    t.setText(4, "False");
    t.setText(5, "two\r\nlines");
    t.setValue(6, Value::bytes("BM1234"));
    t.post();
    t.append();
    t.post();   // an empty row: NULLs are empty
    t.close();
    Result r = Call(cli::DumpCommand, {dir.file("f.dbf")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "STATION,DEPTH,N,SEEN,OK,NOTE,PIC\r\n"
              "\"A, \"\"1\"\"\",0.3333,-42,2000-07-18,False,\"two\r\nlines\",<6 bytes>\r\n"
              ",,,,,,\r\n");
}

TEST(CliErrors, NameTheTableAndSetTheStatus)
{
    Result missing = Call(cli::DumpCommand, {"/nonexistent/folder/t.dbf"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("t.dbf"), std::string::npos) << missing.err;
    Result memo = Call(cli::DumpCommand, {Fixture("dbf/dbase_83_missing_memo.dbf")});
    EXPECT_EQ(memo.status, 1);
    EXPECT_NE(memo.err.find("dbase_83_missing_memo.dbt is missing"), std::string::npos);
    EXPECT_EQ(Call(cli::InfoCommand, {}).status, 2);
    EXPECT_EQ(Call(cli::InfoCommand, {"a", "b", "c"}).status, 2);
    // The program itself: unknown commands and no arguments are usage errors.
    EXPECT_EQ(WEXITSTATUS(std::system(TARNEL_BIN_DIR "/tarnel-cli frobnicate 2>/dev/null")), 2);
    EXPECT_EQ(WEXITSTATUS(std::system(TARNEL_BIN_DIR "/tarnel-cli 2>/dev/null")), 2);
    EXPECT_EQ(WEXITSTATUS(std::system(TARNEL_BIN_DIR "/tarnel-cli info /nonexistent.dbf 2>/dev/null")), 1);
}

namespace {
std::string RunCli(const std::string& arguments, int* status = nullptr)
{
    std::string out;
    FILE* p = popen((TARNEL_BIN_DIR "/tarnel-cli " + arguments + " 2>&1").c_str(), "r");
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    int s = pclose(p);
    if (status) *status = WEXITSTATUS(s);
    return out;
}
} // namespace

TEST(CliEncoding, ChoosesTheCodePageOfTablesThatNameNone)
{
    ScratchDir dir;
    const std::string path = dir.file("cave.dbf");
    tarnel::test::MakeTableWithoutCodePage(path, "ST", "Grét");
    EXPECT_EQ(RunCli("dump " + path), "ST\r\nGrét\r\n");
    EXPECT_EQ(RunCli("dump --encoding 437 " + path), "ST\r\nGrΘt\r\n");
    EXPECT_EQ(RunCli("query " + dir.path() + " 'Select * From \"cave\"' --encoding cp437"), "ST\r\nGrΘt\r\n");
    int status = 0;
    std::string err = RunCli("info --encoding klingon " + path, &status);
    EXPECT_EQ(status, 2);
    EXPECT_NE(err.find("unknown code page 'klingon'"), std::string::npos) << err;
}
