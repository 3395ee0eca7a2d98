// tarnel-cli alias: exit codes, output and messages.
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

// tarnel-cli is a program, not a library: the command's source is built into this test.
#include "cli/alias_command.h"
#include "tests/support/test_paths.h"

using tarnel::AliasCommand;
using tarnel::test::ScratchDir;

TEST(AliasCommand, ListAddRemoveAndErrors)
{
    ScratchDir config, data;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    auto run = [](std::vector<std::string> args, std::string& out, std::string& err) {
        std::ostringstream o, e;
        int rc = AliasCommand(args, o, e);
        out = o.str();
        err = e.str();
        return rc;
    };
    std::string out, err;
    EXPECT_EQ(run({"list"}, out, err), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(run({"add", "CAVES", data.path()}, out, err), 0);
    EXPECT_EQ(run({"list"}, out, err), 0);
    EXPECT_EQ(out, "CAVES\t" + data.path() + "\n");

    EXPECT_EQ(run({"add", "X", data.path() + "/missing"}, out, err), 1);
    EXPECT_NE(err.find("missing"), std::string::npos);
    EXPECT_EQ(run({"remove", "nope"}, out, err), 1);
    EXPECT_NE(err.find("Unknown alias: nope"), std::string::npos);

    EXPECT_EQ(run({}, out, err), 2);
    EXPECT_EQ(run({"add", "ONLYNAME"}, out, err), 2);
    EXPECT_EQ(run({"frobnicate"}, out, err), 2);
    EXPECT_NE(err.find("usage"), std::string::npos);

    EXPECT_EQ(run({"remove", "caves"}, out, err), 0);
    EXPECT_EQ(run({"list"}, out, err), 0);
    EXPECT_EQ(out, "");
    ::unsetenv("XDG_CONFIG_HOME");
}
