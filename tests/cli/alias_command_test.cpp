// tarnel-cli alias: exit codes, output and messages.
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <tuple>

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

TEST(AliasCommand, BuiltProgramMakesTheWholeSettingsPathOrNamesTheFolder)
{
    ScratchDir scratch, data;
    struct stat st {};
    auto cli = [&](const std::string& config) {
        std::string command = "XDG_CONFIG_HOME='" + config + "' " TARNEL_BIN_DIR "/tarnel-cli alias add CAVES '"
                              + data.path() + "' 2>&1";
        std::string output;
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[512];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
        return std::make_pair(WEXITSTATUS(pclose(pipe)), output);
    };

    // Neither the config home nor its parent exists yet: all of it is made, private.
    const std::string config = scratch.file("home/.config");
    auto [rc, output] = cli(config);
    EXPECT_EQ(rc, 0) << output;
    ASSERT_EQ(::stat((config + "/vantor/Aliases.ini").c_str(), &st), 0);
    for (const std::string& made : {scratch.file("home"), config, config + "/vantor"}) {
        ASSERT_EQ(::stat(made.c_str(), &st), 0) << made;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << made;
    }

    // A file where a folder should be: an error naming the folder, no success.
    std::fclose(std::fopen(scratch.file("plain").c_str(), "w"));
    std::tie(rc, output) = cli(scratch.file("plain/config"));
    EXPECT_EQ(rc, 1);
    EXPECT_NE(output.find("Cannot make the settings folder " + scratch.file("plain/config/vantor")),
              std::string::npos) << output;
}
