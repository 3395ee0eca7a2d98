// Keyed Paradox tables made by this engine, and appends gathered in blocks.
#include <algorithm>
#include <gtest/gtest.h>

#include "tests/support/open_table.h"
#include "engine/batch_move.h"
#include "engine/error.h"
#include "engine/fileio/file.h"
#include "engine/table.h"
#include "tests/engine/format_test_util.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using namespace tarnel::test;

namespace {

using test::OpenTable;

// A table K (integer, key), NAME, with the given keys added one by one.
void MakeKeyed(const std::string& folder, const std::string& name, const std::vector<int>& keys)
{
    Table t;
    t.setDatabaseName(folder);
    t.setTableName(name);
    t.addFieldDef("K", ftInteger, 0, false, 0, true);
    t.addFieldDef("NAME", ftString, 30);
    t.createTable();
    t.open();
    for (int k : keys) {
        t.append();
        t.setValue(0, Value::integer(k));
        t.setText(1, "row " + std::to_string(k));
        t.post();
    }
}

std::vector<std::int64_t> Keys(Table& t)
{
    std::vector<std::int64_t> keys;
    for (t.first(); !t.eof(); t.next()) keys.push_back(static_cast<std::int64_t>(t.asFloat(0)));
    return keys;
}

unsigned U16(const std::string& bytes, size_t at)
{
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 8;
}

} // namespace

// The fixture's keyed table written again by this engine: the same header
// marks, the same primary index header and entries.
TEST(ParadoxKeys, AKeyedTableIsWrittenAsTheSampleKeyedTableIs)
{
    auto sample = OpenTable(Fixture("paradox"), "long.db");
    ASSERT_EQ(sample->primaryKey(), std::vector<int>{0});
    ScratchDir dir;
    {
        Table ours;
        ours.setDatabaseName(dir.path());
        ours.setTableName("long.db");
        for (const auto& f : sample->fields()) ours.addFieldDef(f.name, f.type, f.size, false, 0, f.key);
        ours.createTable();
        ASSERT_TRUE(std::filesystem::exists(dir.file("long.px")));   // empty, but there
        BatchMove(ours, *sample, BatchMode::Append);
    }
    auto back = OpenTable(dir.path(), "long.db");
    EXPECT_EQ(back->primaryKey(), std::vector<int>{0});
    EXPECT_TRUE(back->fields()[0].key);
    EXPECT_FALSE(back->fields()[1].key);
    EXPECT_EQ(back->recordCount(), sample->recordCount());

    const std::string theirDb = ReadFile(Fixture("paradox/long.db")), ourDb = ReadFile(dir.file("long.db"));
    EXPECT_EQ(ourDb[4], theirDb[4]);                 // file type: keyed
    EXPECT_EQ(U16(ourDb, 0x23), U16(theirDb, 0x23));   // key fields
    EXPECT_EQ(U16(ourDb, 0), U16(theirDb, 0));         // record size

    const std::string theirPx = ReadFile(Fixture("paradox/long.px")), ourPx = ReadFile(dir.file("long.px"));
    ASSERT_EQ(ourPx.size(), theirPx.size());
    for (size_t at : {0x00, 0x02, 0x06, 0x0A, 0x0E, 0x10, 0x1E, 0x21})
        EXPECT_EQ(U16(ourPx, at), U16(theirPx, at)) << "primary index header at " << at;
    EXPECT_EQ(ourPx[4], theirPx[4]);         // index file type
    EXPECT_EQ(ourPx[0x20], theirPx[0x20]);   // levels
    EXPECT_EQ(ourPx.substr(0x58, 2), theirPx.substr(0x58, 2));   // the key field's code and size
    const size_t entry = U16(theirPx, 0);
    EXPECT_EQ(ourPx.substr(0x800, 6 + entry), theirPx.substr(0x800, 6 + entry));
}

TEST(ParadoxKeys, KeyFieldsMustLeadAndOnlyParadoxTablesHaveThem)
{
    ScratchDir dir;
    struct Bad { const char* table; std::vector<std::pair<TFieldType, bool>> fields; const char* message; };
    const Bad cases[] = {
        {"late.db", {{ftString, false}, {ftInteger, true}}, "must come before"},
        {"blob.db", {{ftMemo, true}, {ftInteger, false}}, "blob field"},
        {"plain.dbf", {{ftInteger, true}}, "dBASE tables have no primary key"},
    };
    for (const Bad& c : cases) {
        SCOPED_TRACE(c.table);
        Table t;
        t.setDatabaseName(dir.path());
        t.setTableName(c.table);
        int n = 0;
        for (auto [type, key] : c.fields) t.addFieldDef("F" + std::to_string(++n), type, type == ftString ? 8 : 0, false, 0, key);
        try {
            t.createTable();
            ADD_FAILURE() << "created";
        } catch (const EngineError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        EXPECT_TRUE(FolderEntries(dir.path()).empty());
    }
}

// Rows out of key order, into a keyed table: in order afterwards, across
// many blocks, through appends gathered in blocks; a Copy keeps the key, and
// a duplicate key stops a move with the rows before it kept.
TEST(ParadoxKeys, BatchMovesKeepKeyOrderAndCopyKeepsTheKey)
{
    ScratchDir dir;
    std::vector<int> keys;
    for (int k = 0; k < 1200; ++k) keys.push_back(k < 800 ? 2 * k : (k * 7919) % 1600);   // ascending, then scattered
    std::vector<int> unique;
    for (int k : keys)
        if (std::find(unique.begin(), unique.end(), k) == unique.end()) unique.push_back(k);
    MakeKeyed(dir.path(), "src.db", unique);
    std::sort(unique.begin(), unique.end());
    const std::vector<std::int64_t> sorted(unique.begin(), unique.end());

    auto src = OpenTable(dir.path(), "src.db");
    ASSERT_EQ(Keys(*src), sorted);
    Table copy;
    copy.setDatabaseName(dir.path());
    copy.setTableName("copy.db");
    BatchMove(copy, *src, BatchMode::Copy);
    auto copied = OpenTable(dir.path(), "copy.db");
    EXPECT_EQ(copied->primaryKey(), std::vector<int>{0});
    EXPECT_EQ(Keys(*copied), sorted);
    // Filled in order, the blocks are full (120 records of 34 bytes); the
    // index has one entry for each.
    const unsigned blocks = U16(ReadFile(dir.file("copy.db")), 0x0A);
    EXPECT_EQ(blocks, (sorted.size() + 119) / 120);
    EXPECT_EQ(U16(ReadFile(dir.file("copy.px")), 0x06), blocks);

    // Into a keyed table with rows of its own, from an unkeyed one in no order.
    Table plain;
    plain.setDatabaseName(dir.path());
    plain.setTableName("plain.dbf");
    BatchMove(plain, *src, BatchMode::Copy);
    EXPECT_TRUE(OpenTable(dir.path(), "plain.dbf")->primaryKey().empty());
    MakeKeyed(dir.path(), "mixed.db", {2, 5001, 4});
    Table mixed;
    mixed.setDatabaseName(dir.path());
    mixed.setTableName("mixed.db");
    auto from = OpenTable(dir.path(), "plain.dbf");
    try {
        BatchMove(mixed, *from, BatchMode::Append);
        ADD_FAILURE() << "key 2 went in twice";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("key violation"), std::string::npos) << e.what();
    }
    auto got = OpenTable(dir.path(), "mixed.db");
    auto gotKeys = Keys(*got);
    EXPECT_TRUE(std::is_sorted(gotKeys.begin(), gotKeys.end()));
    // Key 0 went in before key 2 clashed.
    EXPECT_EQ(gotKeys, (std::vector<std::int64_t>{0, 2, 4, 5001}));
}

// Records gathered for a block write read back before they are written.
TEST(ParadoxAppends, GatheredRecordsReadBackAndReachTheFile)
{
    ScratchDir dir;
    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("bulk.db");
    t.addFieldDef("N", ftInteger, 0);
    t.addFieldDef("NOTE", ftMemo, 0);
    t.createTable();
    t.open();
    t.beginAppends();
    for (int k = 0; k < 5000; ++k) {
        t.append();
        t.setValue(0, Value::integer(k));
        if (k % 100 == 0) t.setText(1, std::string(500, static_cast<char>('a' + k % 26)));
        t.post();
    }
    EXPECT_EQ(t.recordCount(), 5000);
    t.moveTo(4321);
    EXPECT_EQ(t.value(0), Value::integer(4321));
    t.moveTo(4300);
    EXPECT_EQ(t.asText(1), std::string(500, static_cast<char>('a' + 4300 % 26)));
    // A change in the middle of the appends writes what was gathered first.
    t.moveTo(10);
    t.edit();
    t.setValue(0, Value::integer(-10));
    t.post();
    t.endAppends();
    t.close();
    auto back = OpenTable(dir.path(), "bulk.db");
    ASSERT_EQ(back->recordCount(), 5000);
    std::vector<std::int64_t> expected;
    for (int k = 0; k < 5000; ++k) expected.push_back(k == 10 ? -10 : k);
    EXPECT_EQ(Keys(*back), expected);
}
