// Secondary indexes of Paradox tables, written by our own writer from the
// published layout and read back; nothing independent checks the files.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <gtest/gtest.h>
#include <tuple>

#include "engine/error.h"
#include "engine/paradox/px_secondary.h"
#include "engine/paradox/px_table.h"
#include "engine/table.h"
#include "tests/engine/format_test_util.h"
#include "tests/support/open_table.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using namespace tarnel::test;
using paradox::SecondaryIndex;

namespace {

struct Row {
    int k;
    std::string name;
    double depth;
};
const std::vector<Row> kRows = {{3, "beta", 2.5}, {1, "Alpha", 7}, {2, "alpha", 1}, {5, "Gamma", 2.5}, {4, "beta", 0}};

// cave.db keyed on K, with an index on NAME and a descending, case-insensitive
// composite BYDEPTH on DEPTH and NAME.
void MakeIndexedCave(const ScratchDir& dir)
{
    {
        Table t;
        t.setDatabaseName(dir.path());
        t.setTableName("cave.db");
        t.addFieldDef("K", ftInteger, 0, false, 0, true);
        t.addFieldDef("NAME", ftString, 20);
        t.addFieldDef("DEPTH", ftFloat, 0);
        t.createTable();
        t.open();
        for (const Row& r : kRows) {
            t.append();
            t.setValue(0, Value::integer(r.k));
            t.setText(1, r.name);
            t.setValue(2, Value::real(r.depth));
            t.post();
        }
    }
    paradox::ParadoxTable table(dir.file("cave.db"), false);
    SecondaryIndex byName;
    byName.path = dir.file("cave.X02");
    byName.fields = {1};
    paradox::WriteSecondaryIndex(table, byName);
    SecondaryIndex byDepth;
    byDepth.path = dir.file("cave.XG0");
    byDepth.name = "BYDEPTH";
    byDepth.composite = byDepth.descending = byDepth.caseInsensitive = true;
    byDepth.fields = {2, 1};
    paradox::WriteSecondaryIndex(table, byDepth);
}

std::string Upper(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

TEST(ParadoxSecondary, IndexesReadBackInTheirOrderWithOneEntryPerRecord)
{
    ScratchDir dir;
    MakeIndexedCave(dir);
    auto table = OpenTable(dir.path(), "cave.db");
    const auto& fields = table->fields();

    SecondaryIndex byName = paradox::ReadSecondaryIndex(dir.file("cave.X02"), fields);
    EXPECT_EQ(byName.name, "NAME");
    EXPECT_EQ(byName.fields, std::vector<int>{1});
    EXPECT_FALSE(byName.composite || byName.unique || byName.descending || byName.caseInsensitive);
    // Entries: NAME, then the key K, then the hint. Their order against a full scan sorted here.
    std::vector<std::pair<std::string, int>> got, want;
    for (const auto& e : paradox::ReadSecondaryEntries(byName)) {
        ASSERT_EQ(e.size(), 3u);
        EXPECT_GE(e[2].i, 1) << "a hint names a data block";
        got.emplace_back(e[0].s, static_cast<int>(e[1].i));
    }
    for (const Row& r : kRows) want.emplace_back(r.name, r.k);
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);

    SecondaryIndex byDepth = paradox::ReadSecondaryIndex(dir.file("cave.XG0"), fields);
    EXPECT_EQ(byDepth.name, "BYDEPTH");
    EXPECT_EQ(byDepth.fields, (std::vector<int>{2, 1}));
    EXPECT_TRUE(byDepth.composite && byDepth.descending && byDepth.caseInsensitive && !byDepth.unique);
    // Both indexed fields descending, the key K after them ascending.
    std::vector<std::tuple<double, std::string, int>> got2, want2;
    for (const auto& e : paradox::ReadSecondaryEntries(byDepth)) got2.emplace_back(e[0].f, Upper(e[1].s), int(e[2].i));
    for (const Row& r : kRows) want2.emplace_back(r.depth, Upper(r.name), r.k);
    std::sort(want2.begin(), want2.end(), [](const auto& a, const auto& b) {
        if (std::get<0>(a) != std::get<0>(b)) return std::get<0>(a) > std::get<0>(b);
        if (std::get<1>(a) != std::get<1>(b)) return std::get<1>(a) > std::get<1>(b);
        return std::get<2>(a) < std::get<2>(b);
    });
    EXPECT_EQ(got2, want2);

    // The table lists them and stays readable, but is not written.
    const auto tags = table->format()->indexTags();
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].file, "cave.X02");
    EXPECT_EQ(tags[1].expression, "DEPTH,NAME");
    EXPECT_TRUE(tags[1].caseInsensitive && tags[1].descending);
    auto writable = OpenTable(dir.path(), "cave.db", false);
    EXPECT_EQ(writable->writeBlocked(),
              "cave.db: its index file cave.X02 cannot be kept up to date; the table is open read-only");
    EXPECT_THROW(writable->edit(), EngineError);
    EXPECT_THROW(writable->append(), EngineError);
    EXPECT_EQ(writable->recordCount(), 5);

    // A unique index refuses a repeated key, leaving the files as they were.
    const std::string before = ReadFile(dir.file("cave.X02"));
    byName.unique = true;
    paradox::ParadoxTable raw(dir.file("cave.db"), true);
    EXPECT_THROW(paradox::WriteSecondaryIndex(raw, byName), EngineError);
    EXPECT_EQ(ReadFile(dir.file("cave.X02")), before);
    EXPECT_FALSE(std::filesystem::exists(dir.file("~cave.X02.db")));
}

TEST(ParadoxSecondary, ADamagedIndexIsNamedAndTheTableStaysReadable)
{
    ScratchDir dir;
    MakeIndexedCave(dir);
    std::filesystem::remove(dir.file("cave.XG0"));
    std::filesystem::remove(dir.file("cave.YG0"));
    const std::string x = ReadFile(dir.file("cave.X02")), y = ReadFile(dir.file("cave.Y02"));
    auto expectDamage = [&](const std::string& why) {
        auto table = OpenTable(dir.path(), "cave.db", false);
        EXPECT_EQ(table->recordCount(), 5);
        const std::string blocked = table->writeBlocked();
        EXPECT_NE(blocked.find("cannot be kept up to date; the table is open read-only (The index file cave.X0"),
                  std::string::npos) << blocked;
        EXPECT_NE(blocked.find(why), std::string::npos) << blocked;
        try {
            table->format()->indexTags();
            ADD_FAILURE() << "no error for " << why;
        } catch (const EngineError& e) {
            EXPECT_NE(std::string(e.what()).find("is damaged: "), std::string::npos) << e.what();
        }
    };
    std::filesystem::remove(dir.file("cave.Y02"));
    expectDamage("its index cave.Y02 is missing");
    WriteFile(dir.file("cave.Y02"), y.substr(0, 40));
    expectDamage("its index cave.Y02 is truncated");
    WriteFile(dir.file("cave.Y02"), y);
    WriteFile(dir.file("cave.X02"), x.substr(0, 0x60));
    expectDamage("cave.X02 is damaged");
    WriteFile(dir.file("cave.X02"), x);
    Patch(dir.file("cave.X02"), 4, std::string(1, '\x02'));   // a plain table's file type
    expectDamage("not the entries of a secondary index");
    // Entries of field 2 under the name of field 3.
    WriteFile(dir.file("cave.X02"), x);
    std::filesystem::rename(dir.file("cave.X02"), dir.file("cave.X03"));
    std::filesystem::rename(dir.file("cave.Y02"), dir.file("cave.Y03"));
    expectDamage("do not key field number 3 alone");
}
