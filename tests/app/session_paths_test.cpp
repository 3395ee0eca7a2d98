#include <QRegularExpression>
#include <gtest/gtest.h>

#include "app/session_paths.h"

using namespace tarnel;
using namespace tarnel::app;

TEST(RecentEntry, FolderAndAliasEntriesGiveBackWhatWasRecorded)
{
    const QString folderEntry = MakeRecentEntry("/survey/data/", "historic.dbf");
    EXPECT_EQ(folderEntry, "$://survey/data//historic.dbf");
    TableReference ref = ParseRecentEntry(folderEntry);
    EXPECT_EQ(ref.DatabaseName, "/survey/data/");
    EXPECT_EQ(ref.TableName, "historic.dbf");

    const QString aliasEntry = MakeRecentEntry("SURVEYDB", "historic.dbf");
    EXPECT_EQ(aliasEntry, "$:/SURVEYDB/historic.dbf");
    ref = ParseRecentEntry(aliasEntry);
    EXPECT_EQ(ref.DatabaseName, "SURVEYDB");
    EXPECT_EQ(ref.TableName, "historic.dbf");
    EXPECT_EQ(ref.TableType, TableType::Default);
}

TEST(RecentEntry, PlainPathsAreSplitAtTheLastSlash)
{
    TableReference ref = ParseRecentEntry("/survey/data/historic.dbf");
    EXPECT_EQ(ref.DatabaseName, "/survey/data/");
    EXPECT_EQ(ref.TableName, "historic.dbf");

    // No folder at all: the working folder.
    ref = ParseRecentEntry("historic.dbf");
    EXPECT_EQ(ref.DatabaseName, "");
    EXPECT_EQ(ref.TableName, "historic.dbf");

    // A folder whose name starts with "$" is not mistaken for the marker.
    ref = ParseRecentEntry("$caves/historic.dbf");
    EXPECT_EQ(ref.DatabaseName, "$caves/");
    ref = ParseRecentEntry("$/t.dbf");
    EXPECT_EQ(ref.DatabaseName, "$/");
}

TEST(RecentEntry, CaptionNamesTheTable)
{
    EXPECT_EQ(TableCaption("historic.dbf"), "historic.dbf - Tarnel 32");
}

namespace {
bool Matches(const QString& nameFilter, const QString& file)
{
    // The patterns are what a file dialog reads from the last parentheses.
    const qsizetype open = nameFilter.lastIndexOf('(');
    const QStringList patterns = nameFilter.mid(open + 1).chopped(1).split(' ', Qt::SkipEmptyParts);
    for (const QString& p : patterns) {
        QRegularExpression re(QRegularExpression::wildcardToRegularExpression(p));
        if (re.match(file).hasMatch()) return true;
    }
    return false;
}
} // namespace

TEST(FileFilters, PatternsMatchWithoutRegardToCase)
{
    const QStringList filters =
        NameFiltersFromFilterText("Graphic Files (*.BMP,)|*.BMP;|All Files(*.*)|*.*");
    ASSERT_EQ(filters.size(), 2);
    EXPECT_TRUE(filters[0].startsWith("Graphic Files (*.BMP,) ("));
    EXPECT_TRUE(Matches(filters[0], "cave.bmp"));
    EXPECT_TRUE(Matches(filters[0], "CAVE.BMP"));
    EXPECT_TRUE(Matches(filters[0], "Cave.Bmp"));
    EXPECT_FALSE(Matches(filters[0], "cave.txt"));
    EXPECT_FALSE(Matches(filters[0], "cave.bmp.txt"));
    // "All Files" lists every file, extension or not.
    EXPECT_TRUE(Matches(filters[1], "README"));
    EXPECT_TRUE(Matches(filters[1], "notes.txt"));
}
