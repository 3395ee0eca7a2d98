// Opening targets with the desktop's handler, and the failure texts.
#include <gtest/gtest.h>

#include <QFile>
#include <filesystem>
#include <unistd.h>

#include "shell/shell_open.h"
#include "tests/support/test_paths.h"

using namespace tarnel::shell;
using tarnel::test::ScratchDir;

TEST(ShellErrorTextTest, KnownCodesAndTheRest)
{
    EXPECT_EQ(ShellErrorText(0), "The operating system is out of memory or resources.");
    EXPECT_EQ(ShellErrorText(2), "The specified file was not found.");
    EXPECT_EQ(ShellErrorText(3), "The specified path was not found.");
    EXPECT_EQ(ShellErrorText(5), "The operating system denied access to the specified file. ");
    EXPECT_EQ(ShellErrorText(30), "The DDE transaction could not be completed because other DDE "
                                  "transactions were being processed.");
    EXPECT_EQ(ShellErrorText(31), "There is no application associated with the given filename extension.");
    EXPECT_EQ(ShellErrorText(32), "The specified dynamic-link library was not found. ");
    for (int code : {1, 4, 6, 33, 42, -1}) EXPECT_EQ(ShellErrorText(code), "") << code;
}

TEST(ShellOpenTest, MissingTargetsAreReportedWithoutOpening)
{
    ScratchDir dir;
    try {
        ShellOpen(dir.file("nothing.chm"));
        FAIL() << "expected an error";
    } catch (const ShellError& e) {
        EXPECT_EQ(e.code(), seFileNotFound);
        EXPECT_STREQ(e.what(), "The specified file was not found.");
    }
    EXPECT_EQ(ShellExecuteOpen(dir.file("no-folder/nothing.chm")), sePathNotFound);
    EXPECT_EQ(ShellExecuteOpen("file://" + dir.file("nothing.txt")), seFileNotFound);
    EXPECT_EQ(ShellExecuteOpen(""), seFileNotFound);
}

TEST(ShellOpenTest, HandsFilesAndAddressesToTheOpener)
{
    ScratchDir dir;
    std::string file = dir.file("notes.txt");
    QFile(QString::fromStdString(file)).open(QIODevice::WriteOnly);

    QUrl seen;
    auto opens = [&](const QUrl& url) { seen = url; return true; };
    auto fails = [&](const QUrl& url) { seen = url; return false; };

    EXPECT_GT(ShellExecuteOpen(file, opens), 32);
    EXPECT_EQ(seen, QUrl::fromLocalFile(QString::fromStdString(file)));

    // A relative path is taken from the working folder.
    std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    EXPECT_GT(ShellExecuteOpen("notes.txt", opens), 32);
    std::filesystem::current_path(before);
    EXPECT_EQ(seen, QUrl::fromLocalFile(QString::fromStdString(file)));

    EXPECT_GT(ShellExecuteOpen("https://example.org/caves?x=1", opens), 32);
    EXPECT_EQ(seen.toString(), "https://example.org/caves?x=1");

    // Nothing to open it with.
    EXPECT_EQ(ShellExecuteOpen(file, fails), seNoAssoc);
}

TEST(ShellOpenTest, UnreadableFileIsAccessDenied)
{
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    ScratchDir dir;
    std::string file = dir.file("secret.txt");
    QFile f(QString::fromStdString(file));
    f.open(QIODevice::WriteOnly);
    f.close();
    std::filesystem::permissions(file, std::filesystem::perms::none);
    EXPECT_EQ(ShellExecuteOpen(file, [](const QUrl&) { return true; }), seAccessDenied);
}
