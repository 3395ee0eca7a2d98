// tarnel-cli query, run as a child process.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <algorithm>

#include "engine/database.h"
#include "engine/sql/query.h"
#include "engine/table.h"
#include "query/core/select_builder.h"
#include "query/core/viewer_export.h"
#include "tests/cli/run_cli.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using namespace tarnel::query;
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

TEST_F(QueryCli, AQueryOnTableFilesLoadsNeitherQtNorLibpq)
{
    // The dynamic loader lists every library it loads, those opened later included.
    using tarnel::test::ShellQuote;
    const std::string trace = dir.path() + "/loader";
    const std::string command = "LD_DEBUG=files LD_DEBUG_OUTPUT=" + ShellQuote(trace) + " " +
                                std::string(TARNEL_BIN_DIR) + "/tarnel-cli query " + ShellQuote(dir.path()) + " " +
                                ShellQuote(R"(Select * From "sites" Where STATION = 'A1')") + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::string loaded;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path().filename().string().rfind("loader", 0) == 0) {
            std::ifstream in(entry.path());
            loaded.append(std::istreambuf_iterator<char>(in), {});
        }
    ASSERT_NE(loaded.find("file="), std::string::npos) << "the loader wrote no trace";
    EXPECT_EQ(loaded.find("libQt6"), std::string::npos);
    EXPECT_EQ(loaded.find("libpq"), std::string::npos);
}

TEST_F(QueryCli, ExportPrintsTheStreamItWouldSend)
{
    // Printed as it is made, the stream must match the list of lines a send pokes.
    CreateTableFiles(JoinPath(dir.path(), "many.dbf"),
                     {{"STATION", ftString, 10, 1}, {"DEPTH", ftFloat, 8, 2, 2}}, {});
    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("many.dbf");
    t.open();
    for (int k = 0; k < 3000; ++k) {
        t.append();
        t.setValue(0, Value::text("S" + std::to_string(k)));
        if (k % 11) t.setValue(1, Value::real(k * 0.25 - 100));
        t.post();
    }
    for (int row : {2000, 7, 0}) {
        t.moveTo(row);
        t.deleteRecord();
    }
    t.close();
    const std::pair<const char*, query::TDisplayMethod> methods[] = {
        {"marked", query::dmMarkedLocations}, {"segments", query::dmLineSegments}, {"line", query::dmContinuousLine}};
    for (const auto& [name, method] : methods) {
        Outcome o = RunCli({"export", dir.path(), "many", "--feature", "F", "--method", name, "--station", "STATION",
                            "--number", "DEPTH"},
                           dir.path());
        ASSERT_EQ(o.status, 0) << o.err;
        auto result = QueryResult::Run(dir.path(), query::BuildSelectStatement("many", "STATION", "", "DEPTH", ""));
        query::TLineList lines;
        query::WriteFeature(*result, method, "F", {1, -1, 2}, lines);
        std::string expected;
        for (const auto& line : lines) expected += line + "\r\n";
        EXPECT_EQ(o.out, expected) << name;
        EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '\n'), 2998);
    }
}

TEST_F(QueryCli, ExportThatFailsPartWayPrintsNothing)
{
    // Far more lines than one write holds come before the row that cannot be sent.
    CreateTableFiles(JoinPath(dir.path(), "late.dbf"), {{"STATION", ftString, 10, 1}, {"DEPTH", ftFloat, 8, 2, 2}},
                     {});
    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("late.dbf");
    t.open();
    for (int k = 0; k < 6000; ++k) {
        t.append();
        t.setValue(0, Value::text(k == 5999 ? "bad\nname" : "S" + std::to_string(k)));
        t.setValue(1, Value::real(k));
        t.post();
    }
    t.close();
    for (const char* method : {"marked", "line"}) {
        Outcome o = RunCli({"export", dir.path(), "late", "--feature", "F", "--method", method, "--station",
                            "STATION", "--number", "DEPTH"},
                           dir.path());
        EXPECT_EQ(o.status, 1) << method;
        EXPECT_EQ(o.out, "") << method;
        EXPECT_NE(o.err.find("Row 6000"), std::string::npos) << o.err;
    }
}
