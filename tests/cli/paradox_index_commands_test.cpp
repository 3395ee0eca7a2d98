// tarnel-cli on a Paradox table with a secondary index: listed by info, kept
// by the commands that write the table, refused by them when damaged.
#include <filesystem>
#include <gtest/gtest.h>

#include "engine/paradox/px_secondary.h"
#include "engine/paradox/px_table.h"
#include "engine/table.h"
#include "tests/cli/run_cli.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using namespace tarnel::test;

TEST(CliParadoxIndex, InfoListsTheIndexAndWritesAreRefused)
{
    ScratchDir dir;
    const std::string d = dir.path();
    ASSERT_EQ(RunCli({"create", d, "cave.db", "--field", "K:Integer:key", "--field", "NAME:String:20"}, d).status, 0);
    ASSERT_EQ(RunCli({"create", d, "more.db", "--field", "K:Integer:key", "--field", "NAME:String:20"}, d).status, 0);
    {
        Table more;
        more.setDatabaseName(d);
        more.setTableName("more.db");
        more.open();
        more.append();
        more.setValue(0, Value::integer(7));
        more.post();
    }
    {
        paradox::ParadoxTable table(d + "/cave.db", false);
        paradox::SecondaryIndex index;
        index.path = d + "/cave.XG1";
        index.name = "BYNAME";
        index.composite = index.unique = index.caseInsensitive = true;
        index.fields = {1, 0};
        paradox::WriteSecondaryIndex(table, index);
    }
    Outcome o = RunCli({"info", d, "cave.db"}, d);
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out.find("read-only"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("\nindex\tcave.XG1\tBYNAME\tNAME,K\t-\tunique,case-insensitive\n"), std::string::npos) << o.out;

    o = RunCli({"copy", d, "more.db", d, "cave.db", "--mode", "append"}, d);
    EXPECT_EQ(o.status, 0) << o.err;
    auto entries = [&] {
        paradox::ParadoxTable table(d + "/cave.db", true);
        return paradox::ReadSecondaryEntries(paradox::ReadSecondaryIndex(d + "/cave.XG1", table.fields()));
    };
    ASSERT_EQ(entries().size(), 1u);
    EXPECT_EQ(entries()[0][1].i, 7);
    // A restructure keeps the index whose fields survive.
    o = RunCli({"restructure", d, "cave.db", "--field", "K:Integer:key", "--field", "NAME:String:30"}, d);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out.find("dropped index"), std::string::npos) << o.out;
    EXPECT_EQ(entries().size(), 1u);
    o = RunCli({"restructure", d, "cave.db", "--field", "K:Integer:key", "--field", "DEPTH:Float"}, d);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("dropped index BYNAME of cave.XG1 (NAME,K): its fields are gone"), std::string::npos) << o.out;
    EXPECT_FALSE(std::filesystem::exists(d + "/cave.XG1") || std::filesystem::exists(d + "/cave.YG1"));

    // A damaged index keeps the table read-only, and a restructure refused.
    {
        paradox::ParadoxTable table(d + "/cave.db", false);
        paradox::SecondaryIndex index;
        index.path = d + "/cave.X02";
        index.fields = {1};
        paradox::WriteSecondaryIndex(table, index);
    }
    std::filesystem::remove(d + "/cave.Y02");
    o = RunCli({"info", d, "cave.db"}, d);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("The index file cave.X02 is damaged: its index cave.Y02 is missing"), std::string::npos) << o.err;
    o = RunCli({"restructure", d, "cave.db", "--field", "K:Integer:key", "--field", "DEPTH:Float"}, d);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("Cannot restructure the table: cave.db: its index file cave.X02 cannot be kept up to date"),
              std::string::npos) << o.err;
    EXPECT_TRUE(std::filesystem::exists(d + "/cave.X02"));
}
