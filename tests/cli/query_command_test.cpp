// tarnel-cli query, run as a child process.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>

#include "engine/database.h"
#include "engine/table.h"
#include "tests/cli/run_cli.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using tarnel::test::ScratchDir;
using tarnel::test::RunCli;
using tarnel::test::Outcome;

namespace {

void MakeSites(const std::string& folder)
{
    CreateTableFiles(JoinPath(folder, "sites.dbf"),
                     {{"STATION", ftString, 10, 1}, {"NAME", ftString, 30, 2}, {"DEPTH", ftFloat, 8, 3, 2},
                      {"SURVEYED", ftDate, 0, 4}, {"FLAG", ftBoolean, 0, 5}, {"NOTE", ftMemo, 0, 6},
                      {"PHOTO", ftBlob, 0, 7}},
                     {});
    Table t;
    t.setDatabaseName(folder);
    t.setTableName("sites.dbf");
    t.open();
    t.append();
    t.setValue(0, Value::text("A1"));
    t.setValue(1, Value::text("Pool, \"north\""));
    t.setValue(2, Value::real(12.5));
    t.setValue(3, Value::integer(36725));
    t.setValue(4, Value::integer(1));
    t.setValue(5, Value::text("two\nlines"));
    t.setValue(6, Value::bytes(std::string("\x89PNG\0\1", 6)));
    t.post();
    t.append();
    t.setValue(0, Value::text("B2"));
    t.setValue(2, Value::real(3));
    t.setValue(4, Value::integer(0));
    t.post();
    t.close();
}

class QueryCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        Outcome probe = RunCli({"query", "--help"}, dir.path());
        if (probe.status != 0) GTEST_SKIP() << "tarnel-cli has no query command yet";
        MakeSites(dir.path());
    }
    ScratchDir dir;
};

} // namespace

TEST_F(QueryCli, WritesCsvWithHeaderInTheEnginesTexts)
{
    Outcome o = RunCli({"query", dir.path(), R"(Select * From "sites")"}, dir.path());
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out,
              "STATION,NAME,DEPTH,SURVEYED,FLAG,NOTE,PHOTO\r\n"
              "A1,\"Pool, \"\"north\"\"\",12.5,2000-07-18,True,\"two\nlines\",<6 bytes>\r\n"
              "B2,,3,,False,,\r\n");
}

TEST_F(QueryCli, CountsAndConditions)
{
    Outcome o = RunCli({"query", "--count", dir.path(), R"(Select * From "sites" Where (DEPTH  > 10))"},
                       dir.path());
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "1\n");
    o = RunCli({"query", dir.path(), R"(Select "sites"."STATION" From "sites" Where (FLAG  = False))"},
               dir.path());
    EXPECT_EQ(o.out, "STATION\r\nB2\r\n");
}

TEST_F(QueryCli, FailuresSayWhatAndExitNonZero)
{
    Outcome o = RunCli({"query", dir.path(), R"(Select * From "sites" Where  OR (DEPTH  > 10))"}, dir.path());
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_NE(o.err.find("syntax error"), std::string::npos) << o.err;
    o = RunCli({"query", dir.path()}, dir.path());
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("usage"), std::string::npos);
}
