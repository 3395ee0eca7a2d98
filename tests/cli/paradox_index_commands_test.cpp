// tarnel-cli on a Paradox table with a secondary index: listed by info,
// refused by the commands that would write the table.
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
    EXPECT_NE(o.out.find("\nread-only\tcave.db: its index file cave.XG1 cannot be kept up to date; the table is open read-only\n"
                         "index\tcave.XG1\tBYNAME\tNAME,K\t-\tunique,case-insensitive\n"),
              std::string::npos) << o.out;

    o = RunCli({"copy", d, "more.db", d, "cave.db", "--mode", "append"}, d);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("cave.XG1 cannot be kept up to date"), std::string::npos) << o.err;
    EXPECT_EQ(RunCli({"dump", d, "cave.db"}, d).out, "K,NAME\r\n") << "nothing was added";
    // A restructure would make the table anew without the index: refused, the files kept.
    o = RunCli({"restructure", d, "cave.db", "--field", "K:Integer:key", "--field", "NAME:String:30"}, d);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("Cannot restructure the table: cave.db: its index file cave.XG1"), std::string::npos) << o.err;
    EXPECT_TRUE(std::filesystem::exists(d + "/cave.XG1") && std::filesystem::exists(d + "/cave.YG1"));

    std::filesystem::remove(d + "/cave.YG1");
    o = RunCli({"info", d, "cave.db"}, d);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("The index file cave.XG1 is damaged: its index cave.YG1 is missing"), std::string::npos) << o.err;
}
