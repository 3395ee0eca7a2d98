// The suite settings files and the small system routines.
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include "engine/daynum.h"
#include "shell/suite_settings.h"
#include "shell/system_support.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using tarnel::test::ScratchDir;

namespace {

// Runs a test with XDG_CONFIG_HOME (or its absence) set, restoring it after.
class ConfigHome {
public:
    explicit ConfigHome(const char* value)
    {
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) old_ = old, had_ = true;
        if (value) ::setenv("XDG_CONFIG_HOME", value, 1);
        else ::unsetenv("XDG_CONFIG_HOME");
    }
    ~ConfigHome()
    {
        if (had_) ::setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
        else ::unsetenv("XDG_CONFIG_HOME");
    }
private:
    std::string old_;
    bool had_ = false;
};

// Restores the working folder after a test that changes it.
class KeepWorkingFolder {
public:
    KeepWorkingFolder() : saved_(CurrentFolder()) {}
    ~KeepWorkingFolder() { (void)::chdir(saved_.c_str()); }
private:
    std::string saved_;
};

} // namespace

TEST(SuiteSettings, FilesLieInTheVantorFolderWhichIsCreated)
{
    ScratchDir config;
    ConfigHome home(config.path().c_str());
    InitSuiteSettings();
    EXPECT_EQ(SuiteMainSettingsFile(), config.path() + "/vantor/Vantor32.ini");
    EXPECT_EQ(ProgramSettingsFile(), config.path() + "/vantor/Tarnel.ini");
    struct stat st {};
    EXPECT_EQ(::stat((config.path() + "/vantor").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST(SuiteSettings, WithoutConfigHomeTheFolderIsUnderDotConfig)
{
    ScratchDir home;
    ::mkdir((home.path() + "/.config").c_str(), 0755);
    std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", home.path().c_str(), 1);
    {
        ConfigHome unset(nullptr);
        EXPECT_EQ(SuiteSettingsFolder("vantor"), home.path() + "/.config/vantor/");
        ConfigHome relative("relative/config");   // not absolute: ignored
        EXPECT_EQ(SuiteSettingsFolder("vantor"), home.path() + "/.config/vantor/");
    }
    ::setenv("HOME", oldHome.c_str(), 1);
}

TEST(SuiteSettings, ViewerPathFromTheMainFile)
{
    ScratchDir config;
    ConfigHome home(config.path().c_str());
    InitSuiteSettings();
    ReadViewerPath();
    EXPECT_EQ(ViewerPath(), "");   // no file yet: empty, no error

    std::ofstream(SuiteMainSettingsFile()) << "[General]\nx=1\n";
    ReadViewerPath();
    EXPECT_EQ(ViewerPath(), "");   // no "Path" section

    std::ofstream(SuiteMainSettingsFile()) << "[path]\r\nviewerpath = \"/opt/vantor/Oculo32 -s\" \r\n";
    ReadViewerPath();
    EXPECT_EQ(ViewerPath(), "/opt/vantor/Oculo32 -s");
}

TEST(SystemSupport, FileStem)
{
    EXPECT_EQ(FileStem("/data/historic.dbf"), "historic");
    EXPECT_EQ(FileStem("a.b.dbf"), "a.b");
    EXPECT_EQ(FileStem("README"), "README");
    EXPECT_EQ(FileStem(".dbf"), "");
    EXPECT_EQ(FileStem("/data.old/README"), "README");
    EXPECT_EQ(FileStem("/data/"), "");
    EXPECT_EQ(FileStem("c:survey.dbf"), "c:survey");   // the colon is a plain character here
}

TEST(SystemSupport, SetWorkingFolderFrom)
{
    KeepWorkingFolder keep;
    ScratchDir dir;
    std::string real = CurrentFolder();

    SetWorkingFolderFrom("historic.dbf");   // no folder: nothing changes
    EXPECT_EQ(CurrentFolder(), real);

    SetWorkingFolderFrom(dir.path() + "/historic.dbf");
    EXPECT_EQ(CurrentFolder(), dir.path());
    SetWorkingFolderFrom("/t.dbf");
    EXPECT_EQ(CurrentFolder(), "/");
    SetWorkingFolderFrom(dir.path() + "/");
    EXPECT_EQ(CurrentFolder(), dir.path());

    try {
        SetWorkingFolderFrom(dir.path() + "/Missing/t.dbf");
        FAIL() << "a missing folder must raise";
    } catch (const InOutError& e) {
        EXPECT_EQ(e.code(), 2);
        EXPECT_STREQ(e.what(), "File not found");
    }
    EXPECT_EQ(CurrentFolder(), dir.path());

    std::ofstream(dir.file("plain")) << "x";
    try {
        SetWorkingFolderFrom(dir.path() + "/plain/t.dbf");
        FAIL() << "a file is not a folder";
    } catch (const InOutError& e) {
        EXPECT_STREQ(e.what(), "Invalid filename");
    }
    EXPECT_EQ(CurrentFolder(), dir.path());
}

TEST(SystemSupport, ErrnoTexts)
{
    EXPECT_STREQ(InOutErrorFromErrno(EACCES).what(), "File access denied");
    EXPECT_STREQ(InOutErrorFromErrno(EMFILE).what(), "Too many open files");
    EXPECT_STREQ(InOutErrorFromErrno(EIO).what(), ("I/O error " + std::to_string(EIO)).c_str());
}

TEST(SystemSupport, FileDateTimeKeepsEvenSeconds)
{
    ScratchDir dir;
    std::string file = dir.file("tarnel");
    std::ofstream(file) << "x";
    std::tm t {};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 14;
    t.tm_hour = 10;
    t.tm_min = 15;
    t.tm_sec = 37;
    t.tm_isdst = -1;
    utimbuf times {std::mktime(&t), std::mktime(&t)};
    ASSERT_EQ(::utime(file.c_str(), &times), 0);

    double value = FileDateTime(file);
    EXPECT_EQ(static_cast<std::int64_t>(value), DayNumber(2024, 3, 14));
    EXPECT_EQ(TimeText(value - static_cast<std::int64_t>(value)), "10:15:36");

    EXPECT_THROW(FileDateTime(dir.file("missing")), DateEncodeError);
    try {
        FileDateTime(dir.path());
        FAIL() << "a folder has no file date";
    } catch (const DateEncodeError& e) {
        EXPECT_STREQ(e.what(), "Invalid argument to date encode");
    }
}
