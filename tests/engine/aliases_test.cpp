// Aliases: the store in the suite settings folder and the table listing.
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/aliases.h"
#include "engine/database.h"
#include "engine/error.h"
#include "engine/settings_folder.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using tarnel::test::ScratchDir;

namespace {

// Points the suite settings folder at a scratch folder for one test.
class AliasStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        had_ = old != nullptr;
        if (had_) old_ = old;
        ::setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    }
    void TearDown() override
    {
        if (had_) ::setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
        else ::unsetenv("XDG_CONFIG_HOME");
    }
    static void Touch(const std::string& path) { std::ofstream(path) << "x"; }

    ScratchDir config_;
    ScratchDir data_;
    bool had_ = false;
    std::string old_;
};

} // namespace

TEST_F(AliasStore, SettingsFolderIsVantorUnderTheConfigHome)
{
    EXPECT_EQ(SuiteSettingsFolder("vantor"), config_.path() + "/vantor/");
    EXPECT_EQ(SuiteSettingsFolder("/vantor/"), config_.path() + "/vantor/");
    struct stat st {};
    EXPECT_EQ(::stat((config_.path() + "/vantor").c_str(), &st), 0);
    EXPECT_EQ(AliasesFile(), config_.path() + "/vantor/Aliases.ini");
}

TEST_F(AliasStore, AddListLookupRemove)
{
    EXPECT_TRUE(AliasNames().empty());
    ::mkdir((data_.path() + "/historic data").c_str(), 0755);
    AddAlias("SurveyDB", data_.path());
    AddAlias("archive", data_.path() + "/historic data/");
    EXPECT_EQ(AliasNames(), (std::vector<std::string>{"archive", "SurveyDB"}));

    std::string folder;
    ASSERT_TRUE(LookupAlias("SURVEYDB", folder));
    EXPECT_EQ(folder, data_.path());
    ASSERT_TRUE(LookupAlias("Archive", folder));
    EXPECT_EQ(folder, data_.path() + "/historic data");
    EXPECT_FALSE(LookupAlias("nothing", folder));
    EXPECT_EQ(ResolveDatabaseFolder("surveydb"), data_.path());

    // Re-adding under another spelling replaces the alias.
    AddAlias("SURVEYDB", data_.path() + "/historic data");
    EXPECT_EQ(AliasNames(), (std::vector<std::string>{"archive", "SURVEYDB"}));
    ASSERT_TRUE(LookupAlias("surveydb", folder));
    EXPECT_EQ(folder, data_.path() + "/historic data");

    RemoveAlias("Archive");
    EXPECT_EQ(AliasNames(), (std::vector<std::string>{"SURVEYDB"}));
    EXPECT_THROW(RemoveAlias("Archive"), EngineError);
}

TEST_F(AliasStore, RefusesBadNamesAndMissingFolders)
{
    EXPECT_THROW(AddAlias("", data_.path()), EngineError);
    EXPECT_THROW(AddAlias("a=b", data_.path()), EngineError);
    EXPECT_THROW(AddAlias("[x", data_.path()), EngineError);
    EXPECT_THROW(AddAlias("two\nlines", data_.path()), EngineError);
    EXPECT_THROW(AddAlias("ok", data_.path() + "/missing"), EngineError);
    EXPECT_TRUE(AliasNames().empty());
}

TEST_F(AliasStore, FoldersThatReadingWouldAlterRoundTrip)
{
    std::string odd = data_.path() + "/\"quoted\"";
    std::string blank = data_.path() + "/trailing ";
    ::mkdir(odd.c_str(), 0755);
    ::mkdir(blank.c_str(), 0755);
    AddAlias("Odd", odd);
    AddAlias("Blank", blank);
    std::string folder;
    ASSERT_TRUE(LookupAlias("odd", folder));
    EXPECT_EQ(folder, odd);
    ASSERT_TRUE(LookupAlias("blank", folder));
    EXPECT_EQ(folder, blank);
}

TEST_F(AliasStore, TableNamesOfAnAlias)
{
    for (const char* name : {"historic.dbf", "historic.dbt", "Survey.DB", "survey.MB", "survey.px",
                             "fox.DBF", "fox.fpt", "fox.cdx", "stations.txt", "stations.sch",
                             "notes.txt", "picture.val", "readme", ".hidden.dbf", "a.dbf.bak"})
        Touch(data_.file(name));
    ::mkdir(data_.file("folder.dbf").c_str(), 0755);
    AddAlias("CAVES", data_.path());
    EXPECT_EQ(AliasTableNames("caves"),
              (std::vector<std::string>{"fox.DBF", "historic.dbf", "stations.txt", "Survey.DB"}));
    try {
        AliasTableNames("NoSuchAlias");
        FAIL() << "an unknown alias must be an error";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("NoSuchAlias"), std::string::npos);
    }
}

TEST_F(AliasStore, AliasWhoseFolderWentAwayIsAClearError)
{
    std::string gone = data_.path() + "/gone";
    ::mkdir(gone.c_str(), 0755);
    AddAlias("Gone", gone);
    ::rmdir(gone.c_str());
    EXPECT_THROW(AliasTableNames("Gone"), EngineError);
}
