// tarnel-cli create and copy, run as child processes.
#include <fstream>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/cli/run_cli.h"
#include "tests/support/test_paths.h"

using tarnel::test::Outcome;
using tarnel::test::RunCli;
using tarnel::test::ScratchDir;

TEST(CliDesign, CreateThenCopyAcrossFormatsInEveryMode)
{
    ScratchDir dir;
    const std::string d = dir.path();
    Outcome o = RunCli({"create", d, "sites.db", "--type", "paradox", "--field", "STATION:String:8",
                        "--field", "DEPTH:Float", "--field", "NOTE:Memo"}, d);
    ASSERT_EQ(o.status, 0) << o.err;
    o = RunCli({"info", d, "sites.db"}, d);
    EXPECT_EQ(o.out, "rows\t0\n1\tSTATION\tString\t8\n2\tDEPTH\tFloat\t0\n3\tNOTE\tMemo\t1\n");

    // A fixture's rows copied into a new dBASE table, then appended again.
    o = RunCli({"copy", TARNEL_FIXTURES "/paradox", "long.db", d, "copy.dbf", "--mode", "copy"}, d);
    ASSERT_EQ(o.status, 0) << o.err;
    Outcome source = RunCli({"dump", TARNEL_FIXTURES "/paradox", "long.db"}, d);
    Outcome copied = RunCli({"dump", d, "copy.dbf"}, d);
    EXPECT_EQ(copied.out, source.out);
    o = RunCli({"copy", TARNEL_FIXTURES "/paradox", "long.db", d, "copy.dbf", "--mode", "append"}, d);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err, "") << "no progress when standard error is not a terminal";

    // The keyed fixture takes updates; a dBASE table has no key to match on.
    for (const char* f : {"long.db", "long.px"})
        std::filesystem::copy_file(TARNEL_FIXTURES "/paradox/" + std::string(f), d + "/" + f);
    o = RunCli({"copy", d, "copy.dbf", d, "long.db", "--mode", "appendupdate"}, d);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(RunCli({"dump", d, "long.db"}, d).out, source.out);
    o = RunCli({"copy", TARNEL_FIXTURES "/paradox", "long.db", d, "copy.dbf", "--mode", "delete"}, d);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("copy.dbf has no primary key"), std::string::npos) << o.err;
}

TEST(CliDesign, KeyFieldsMakeAKeyedParadoxTable)
{
    ScratchDir dir;
    const std::string d = dir.path();
    // A table keyed on ID takes rows, then matches them on the key.
    Outcome o = RunCli({"create", d, "keyed.db", "--field", "ID:Integer:key", "--field", "NAME:String:8"}, d);
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(std::filesystem::exists(d + "/keyed.px"));
    o = RunCli({"copy", TARNEL_FIXTURES "/paradox", "long.db", d, "keyed.db", "--mode", "append"}, d);
    ASSERT_EQ(o.status, 0) << o.err;
    o = RunCli({"copy", TARNEL_FIXTURES "/paradox", "long.db", d, "keyed.db", "--mode", "update"}, d);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "0 appended, 3 updated, 0 deleted\n");

    EXPECT_EQ(RunCli({"create", d, "t.db", "--field", "A:Integer:4:key:key"}, d).status, 2);
    o = RunCli({"create", d, "t.dbf", "--field", "A:Integer:key"}, d);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("dBASE tables have no primary key"), std::string::npos) << o.err;
}

TEST(CliDesign, BadArgumentsAreUsageErrors)
{
    ScratchDir dir;
    const std::string d = dir.path();
    EXPECT_EQ(RunCli({"create", d, "t.dbf", "--type", "csv", "--field", "A:String:4"}, d).status, 2);
    EXPECT_EQ(RunCli({"create", d, "t.dbf", "--field", "A:Text:4"}, d).status, 2);
    EXPECT_EQ(RunCli({"create", d, "t.dbf", "--field", "A:String:x"}, d).status, 2);
    EXPECT_EQ(RunCli({"create", d, "t.dbf"}, d).status, 2);
    EXPECT_EQ(RunCli({"copy", d, "a.dbf", d, "b.dbf", "--mode", "merge"}, d).status, 2);
    Outcome o = RunCli({"create", d, "t.dbf", "--type", "dbase", "--field", "T:Time"}, d);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("field T has the type Time, which dBASE tables cannot hold"), std::string::npos) << o.err;
}

TEST(CliDesign, RestructureKeepsTheIndexTagsWhoseFieldsSurvive)
{
    ScratchDir dir;
    const std::string d = dir.path();
    for (const char* f : {"calls.dbf", "calls.CDX", "calls.FPT"})
        std::filesystem::copy_file(TARNEL_FIXTURES "/dbf/foxprodb/" + std::string(f), d + "/" + f);
    std::filesystem::permissions(d + "/calls.dbf", std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    std::filesystem::permissions(d + "/calls.CDX", std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    Outcome o = RunCli({"restructure", d, "calls.dbf", "--field", "CONTACT_ID:Integer", "--field", "SUBJECT:String:80"}, d);
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "restructured calls.dbf: 16 rows\n"
                     "dropped index tag CALL_ID of calls.CDX (call_id): its fields are gone\n");
    o = RunCli({"info", d, "calls.dbf"}, d);
    EXPECT_NE(o.out.find("\nindex\tcalls.CDX\tCONTACT_ID\tcontact_id\t-\t-\n"), std::string::npos) << o.out;
    EXPECT_EQ(o.out.find("CALL_ID"), std::string::npos) << o.out;
    EXPECT_EQ(o.out.find("read-only"), std::string::npos) << o.out;
}

TEST(CliDesign, RestructureKeepsRowsByNameAndRefusesWithoutLoss)
{
    ScratchDir dir;
    const std::string d = dir.path();
    ASSERT_EQ(RunCli({"copy", TARNEL_FIXTURES "/paradox", "long.db", d, "t.dbf", "--mode", "copy"}, d).status, 0);
    Outcome info = RunCli({"info", d, "t.dbf"}, d);
    Outcome before = RunCli({"dump", d, "t.dbf"}, d);
    // The first field of the table, then a new empty one.
    const std::string line = info.out.substr(info.out.find('\n') + 1);
    const std::string first = line.substr(line.find('\t') + 1, line.find('\t', line.find('\t') + 1) - line.find('\t') - 1);
    Outcome o = RunCli({"restructure", d, "t.dbf", "--field", first + ":String:60", "--field", "NOTE:String:5"}, d);
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err, "");
    Outcome after = RunCli({"dump", d, "t.dbf"}, d);
    EXPECT_EQ(std::count(after.out.begin(), after.out.end(), '\n'), std::count(before.out.begin(), before.out.end(), '\n'));
    EXPECT_NE(after.out.find(first + ",NOTE\r\n"), std::string::npos) << after.out.substr(0, 80);

    // A type dBASE cannot hold: refused, the table as it was.
    Outcome now = RunCli({"dump", d, "t.dbf"}, d);
    o = RunCli({"restructure", d, "t.dbf", "--field", "T:Time"}, d);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("put back"), std::string::npos) << o.err;
    EXPECT_EQ(RunCli({"dump", d, "t.dbf"}, d).out, now.out);
    EXPECT_EQ(RunCli({"restructure", d, "t.dbf"}, d).status, 2);
}

TEST(CliDesign, InfoListsIndexTagsAndNamesADamagedIndexFile)
{
    ScratchDir dir;
    const std::string d = dir.path();
    Outcome o = RunCli({"info", TARNEL_FIXTURES "/dbf/foxprodb/calls.dbf"}, d);
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("\nindex\tcalls.CDX\tCALL_ID\tcall_id\t-\tcandidate\n"
                         "index\tcalls.CDX\tCONTACT_ID\tcontact_id\t-\t-\n"), std::string::npos) << o.out;
    EXPECT_EQ(o.out.find("read-only"), std::string::npos) << "its tags are kept up to date";

    for (const char* f : {"calls.dbf", "calls.FPT"})
        std::filesystem::copy_file(TARNEL_FIXTURES "/dbf/foxprodb/" + std::string(f), d + "/" + f);
    std::ofstream(d + "/calls.CDX", std::ios::binary) << std::string(600, 'x');
    o = RunCli({"info", d + "/calls.dbf"}, d);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("calls.CDX is damaged"), std::string::npos) << o.err;
    EXPECT_NE(o.out.find("6\tNOTES\tMemo"), std::string::npos) << "the fields are still listed";
    EXPECT_NE(o.out.find("read-only\tcalls.dbf: its index file calls.CDX cannot be kept up to date"), std::string::npos) << o.out;
    EXPECT_EQ(RunCli({"dump", d + "/calls.dbf"}, d).status, 0);
}
