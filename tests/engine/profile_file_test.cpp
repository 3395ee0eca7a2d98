// Profile files: the reading rules, line-preserving writes, damaged files.
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

#include "engine/profile_file.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using tarnel::test::ScratchDir;

namespace {

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(ProfileFile, ReadsByTheSuiteRules)
{
    ScratchDir dir;
    std::string ini = dir.file("Vantor32.ini");
    WriteFile(ini,
              "; suite settings\r\n"
              "[Path]\r\n"
              "  ViewerPath =  \"/opt/vantor/Oculo32 --dde\"  \r\n"
              "Plain=  a value with  inner  blanks\t\r\n"
              "Twice=\"\"x\"\"\r\n"
              "Lonely=\"\r\n"
              "Empty=\r\n"
              "[Other]\r\n"
              "ViewerPath=wrong section\r\n");
    ProfileFile f(ini);
    EXPECT_EQ(f.readString("path", "VIEWERPATH"), "/opt/vantor/Oculo32 --dde");
    EXPECT_EQ(f.readString("Path", "Plain"), "a value with  inner  blanks");
    EXPECT_EQ(f.readString("Path", "Twice"), "\"x\"");   // only one pair goes
    EXPECT_EQ(f.readString("Path", "Lonely"), "\"");
    EXPECT_EQ(f.readString("Path", "Empty", "dflt"), "");
    EXPECT_EQ(f.readString("Path", "Missing", "dflt"), "dflt");
    EXPECT_EQ(f.readString("NoSuch", "ViewerPath"), "");
    EXPECT_EQ(f.readString("Other", "viewerpath"), "wrong section");
    EXPECT_EQ(ReadProfileString(dir.file("absent.ini"), "Path", "ViewerPath"), "");
}

TEST(ProfileFile, DeliversAtMost2047CharactersWithoutSplittingOne)
{
    ScratchDir dir;
    std::string ini = dir.file("long.ini");
    std::string ascii(3000, 'x');
    std::string utf8 = std::string(2046, 'a') + "\xC3\xA9" + "tail";   // é straddles the limit
    WriteFile(ini, "[S]\nA=" + ascii + "\nU=" + utf8 + "\n");
    ProfileFile f(ini);
    EXPECT_EQ(f.readString("S", "A"), std::string(2047, 'x'));
    EXPECT_EQ(f.readString("S", "U"), std::string(2046, 'a'));
}

TEST(ProfileFile, IntegersAsTheSuiteReadsThem)
{
    ScratchDir dir;
    std::string ini = dir.file("n.ini");
    WriteFile(ini, "[H]\nA= 12abc\nB=-3\nC=abc\nD=\nE=99999999999999999999999\n");
    ProfileFile f(ini);
    EXPECT_EQ(f.readInteger("H", "A"), 12);
    EXPECT_EQ(f.readInteger("H", "B"), -3);
    EXPECT_EQ(f.readInteger("H", "C", 7), 7);
    EXPECT_EQ(f.readInteger("H", "D", 7), 7);
    EXPECT_GT(f.readInteger("H", "E"), 0);   // saturates, no overflow
    EXPECT_EQ(f.readInteger("H", "Missing"), 0);
}

TEST(ProfileFile, WritingChangesOnlyWhatIsWritten)
{
    ScratchDir dir;
    std::string ini = dir.file("Tarnel.ini");
    const std::string before =
        "; kept comment\r\n"
        "[Window]\r\n"
        "Left = 10 ; not a comment to us\r\n"
        "\r\n"
        "[FileHistory]\r\n"
        "Count=1\r\n"
        "Path0=old\r\n"
        "\r\n"
        "[Zeta]\r\n"
        "odd line without equals\r\n"
        "K=\"quoted\"";   // no final line break
    WriteFile(ini, before);
    {
        ProfileFile f(ini);
        f.writeString("filehistory", "COUNT", "2");
        f.writeString("FileHistory", "Path1", "$:/home/ann/caves//historic.dbf");
        f.save();
    }
    EXPECT_EQ(ReadFile(ini),
              "; kept comment\r\n"
              "[Window]\r\n"
              "Left = 10 ; not a comment to us\r\n"
              "\r\n"
              "[FileHistory]\r\n"
              "COUNT=2\r\n"
              "Path0=old\r\n"
              "Path1=$:/home/ann/caves//historic.dbf\r\n"
              "\r\n"
              "[Zeta]\r\n"
              "odd line without equals\r\n"
              "K=\"quoted\"");
    ProfileFile again(ini);
    EXPECT_EQ(again.readString("FileHistory", "Path1"), "$:/home/ann/caves//historic.dbf");
    EXPECT_EQ(again.readString("Zeta", "K"), "quoted");

    // A new section goes at the end, and the unterminated last line gets its break.
    again.writeString("New", "A", "1");
    again.save();
    EXPECT_EQ(ReadFile(ini).substr(ReadFile(ini).size() - 24), "K=\"quoted\"\r\n[New]\r\nA=1\r\n");
}

TEST(ProfileFile, EraseSectionRemovesEveryCopyAndNothingElse)
{
    ScratchDir dir;
    std::string ini = dir.file("t.ini");
    WriteFile(ini, "[A]\nx=1\n[FileHistory]\nCount=9\n; old\n[B]\ny=2\n[filehistory]\nPath0=z\n");
    ProfileFile f(ini);
    f.eraseSection("FileHistory");
    f.writeString("FileHistory", "Count", "0");
    f.save();
    EXPECT_EQ(ReadFile(ini), "[A]\nx=1\n[B]\ny=2\n[FileHistory]\nCount=0\n");
}

TEST(ProfileFile, ValuesRoundTripThroughQuoting)
{
    ScratchDir dir;
    std::string ini = dir.file("q.ini");
    const std::vector<std::string> values = {"plain", " lead", "trail\t", "\"both\"",
                                             "\"", "a\\b\\\\c", "x=y;z", "#[]", ""};
    ProfileFile f(ini);
    for (std::size_t i = 0; i < values.size(); ++i)
        f.writeString("S", "K" + std::to_string(i), ProfileFile::QuoteForReading(values[i]));
    f.save();
    ProfileFile back(ini);
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(back.readString("S", "K" + std::to_string(i)), values[i]) << i;
}

TEST(ProfileFile, RefusesWhatALineCannotHold)
{
    ScratchDir dir;
    ProfileFile f(dir.file("r.ini"));
    EXPECT_THROW(f.writeString("S", "K", "two\nlines"), ProfileError);
    EXPECT_THROW(f.writeString("S", "K", std::string("nul\0x", 5)), ProfileError);
    EXPECT_THROW(f.writeString("S", "a=b", "v"), ProfileError);
    EXPECT_THROW(f.writeString("S", "[K", "v"), ProfileError);
    EXPECT_THROW(f.writeString("S]", "K", "v"), ProfileError);
    EXPECT_THROW(f.writeString("", "K", "v"), ProfileError);
    f.save();
    EXPECT_EQ(ReadFile(dir.file("r.ini")), "");
}

TEST(ProfileFile, DamagedFilesReadAsFarAsTheyMakeSense)
{
    ScratchDir dir;
    std::string bin = dir.file("bin.ini");
    std::string junk;
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 37) & 0xFF);
    WriteFile(bin, "\xEF\xBB\xBF[S]\nA=1\n" + junk + "\n[S2]\r\nB=2\n[broken\n=novalue\nC\n");
    ProfileFile f(bin);
    EXPECT_EQ(f.readString("S", "A"), "1");
    EXPECT_EQ(f.readString("S2", "B"), "2");
    EXPECT_EQ(f.readString("broken", "C"), "");

    // Huge: read up to the limit, never rewritten (that would cut it short).
    std::string huge = dir.file("huge.ini");
    {
        std::ofstream out(huge, std::ios::binary);
        out << "[S]\nA=first\n";
        std::string filler(1000, 'f');
        for (std::size_t n = 0; n < ProfileSizeLimit / 1000 + 10; ++n) out << filler << '\n';
    }
    auto sizeBefore = ReadFile(huge).size();
    ProfileFile h(huge);
    EXPECT_EQ(h.readString("S", "A"), "first");
    h.writeString("S", "A", "second");
    EXPECT_THROW(h.save(), ProfileError);
    EXPECT_EQ(ReadFile(huge).size(), sizeBefore);

    // A folder in place of the file is an error, not an empty profile.
    EXPECT_THROW(ProfileFile{dir.path()}, ProfileError);
    EXPECT_EQ(ReadProfileString(dir.path(), "S", "A", "d"), "d");
}

TEST(ProfileFile, SaveIsAtomicAndKeepsTheFileMode)
{
    ScratchDir dir;
    std::string ini = dir.file("m.ini");
    WriteFile(ini, "[S]\nA=1\n");
    ::chmod(ini.c_str(), 0640);
    ProfileFile f(ini);
    f.writeString("S", "A", "2");
    f.save();
    struct stat st {};
    ASSERT_EQ(::stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // A folder we cannot write: the save fails and leaves the old file alone.
    std::string ro = dir.file("ro");
    ::mkdir(ro.c_str(), 0755);
    WriteFile(ro + "/x.ini", "[S]\nA=old\n");
    ::chmod(ro.c_str(), 0555);
    if (::access((ro + "/probe").c_str(), F_OK) != 0 && ::geteuid() != 0) {
        ProfileFile g(ro + "/x.ini");
        g.writeString("S", "A", "new");
        EXPECT_THROW(g.save(), ProfileError);
        EXPECT_EQ(ReadFile(ro + "/x.ini"), "[S]\nA=old\n");
    }
    ::chmod(ro.c_str(), 0755);
}
