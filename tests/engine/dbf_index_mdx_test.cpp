// The dBASE IV .mdx kept up to date by our writes: after every change each
// tag holds exactly the keys of the table's records in key order, its tree
// is well formed, and a write that fails at any file operation leaves table
// and index agreeing. Nothing else here reads a .mdx, so our reader and the
// structural checker are the judges.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "engine/batch_move.h"
#include "engine/bytes.h"
#include "engine/dbf/dbf_table.h"
#include "engine/dbf/index/index_file.h"
#include "engine/dbf/index/index_key.h"
#include "engine/dbf/index/index_keeper.h"
#include "engine/dbf/index/mdx_writer.h"
#include "engine/error.h"
#include "engine/table.h"
#include "tests/engine/format_test_util.h"
#include "tests/support/fault_walk.h"
#include "tests/support/index_check.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using namespace tarnel::test;

namespace {

std::unique_ptr<Table> Open(const std::string& path)
{
    auto t = std::make_unique<Table>();
    t->setTableName(path);
    t->open();
    return t;
}

void Fill(Table& t, int from, int to)
{
    t.beginAppends();
    for (int n = from; n < to; ++n) {
        t.append();
        t.setText(0, (n % 3 ? "st" : "ST") + std::to_string((n * 7919) % 1000));
        t.setValue(1, Value::real((n * 37 % 200) / 4.0 - 20));
        t.setText(2, std::to_string(1990 + n % 30) + "-0" + std::to_string(1 + n % 9) + "-1" + std::to_string(n % 10));
        t.setValue(3, Value::integer(n));
        t.post();
    }
    t.endAppends();
}

// A dBASE table of survey stations with a production .mdx of 512-byte
// blocks: character, number and date keys, a filter and unique tags; the
// trees filled from the rows. With a descending tag every write lays the
// file out anew; without, one-row changes are made in its nodes.
void MakeCave(const std::string& path, int rows, bool descending)
{
    const unsigned blockSize = 512;
    {
        Table t;
        t.setTableName(path);
        t.setTableType(TableType::dBASE);
        t.addFieldDef("STATION", ftString, 10);
        t.addFieldDef("DEPTH", ftFloat, 8);
        t.addFieldDef("SURVEYED", ftDate, 0);
        t.addFieldDef("N", ftInteger, 0);
        t.createTable();
        t.open();
        Fill(t, 1, rows + 1);
    }
    DbfTable table(path, TableType::Default, true);
    std::vector<MdxTagLayout> tags{
        NewMdxTag("STATION", "UPPER(STATION)", ".NOT. DELETED()", 'C', 10, false, false, blockSize),
        NewMdxTag("DEPTH", "DEPTH", "", 'N', 12, false, descending, blockSize),
        NewMdxTag("SURVEYED", "SURVEYED", "", 'D', 8, false, false, blockSize),
        NewMdxTag("PLACE", "DTOS(SURVEYED)+STR(N,6)", "", 'C', 14, true, false, blockSize),
        NewMdxTag("N", "N", "", 'N', 12, true, false, blockSize)};
    ThreadMdxTags(tags);
    const std::string stem = path.substr(0, path.size() - 4);
    WriteFile(stem + ".mdx", BuildMdxIndex(MdxFileHeader(BaseName(stem), blockSize), tags));
    IndexKeeper keeper(table.indexFiles(), table.header());
    ASSERT_EQ(keeper.blocked(), "");
    keeper.rebuild([&](std::int64_t r) { return table.rawRecord(r); }, table.physicalCount());
    // The table header says it has a production index.
    File file = File::open(path, false);
    const char flag = 0x01;
    file.writeAt(28, &flag, 1);
}

// The file's inode: a file replaced by a new one has another.
std::uint64_t FileId(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_ino;
}

void Check(const std::string& path)
{
    DbfTable table(path, TableType::Default, true);
    EXPECT_EQ(table.header().tableFlags & 0x01, 0x01) << "the production index flag";
    CheckMdx(path.substr(0, path.size() - 4) + ".mdx", table);
}

} // namespace

TEST(MdxIndexes, NumberKeysHoldTheirDecimalsAndOrderAsNumbers)
{
    auto key = [](const char* text) { return MdxNumberKey(text, std::strlen(text)); };
    // 20.5: two digits before the point, three digits 2, 0, 5.
    EXPECT_EQ(key("   20.50"), std::string("\x36\x0d\x20\x50\0\0\0\0\0\0\0\0", 12));
    EXPECT_EQ(key("  -20.5 ")[1], '\x8d');
    EXPECT_EQ(key("        "), key("0.00"));
    EXPECT_EQ(key("-0.0"), key("0"));
    const char* ascending[] = {"-1000", "-20.5", "-20.25", "-0.003", "0", "0.003", "0.03", "1", "9.99", "10", "20.25", "20.5",
                               "123456789012345678"};
    for (size_t k = 1; k < std::size(ascending); ++k) {
        EXPECT_LT(CompareMdxNumbers(key(ascending[k - 1]), key(ascending[k])), 0) << ascending[k - 1] << " < " << ascending[k];
        EXPECT_GT(CompareMdxNumbers(key(ascending[k]), key(ascending[k - 1])), 0) << ascending[k] << " > " << ascending[k - 1];
    }
    EXPECT_EQ(CompareMdxNumbers(key("007.50"), key("7.5")), 0);
}

TEST(MdxIndexes, PostsInsertsDeletesAndBatchMovesKeepEveryTagTrue)
{
  for (const bool descending : {true, false}) {
    SCOPED_TRACE(descending ? "laid out anew" : "changed in place");
    ScratchDir dir;
    const std::string path = dir.file("cave.dbf");
    MakeCave(path, 1500, descending);   // trees of three levels
    Check(path);
    const std::uint64_t id = FileId(dir.file("cave.mdx"));
    File held = File::open(dir.file("cave.mdx"), true);   // its inode cannot be handed to a new file meanwhile
    auto t = Open(path);
    ASSERT_EQ(t->format()->writeBlocked(), "");
    std::uint32_t seed = 11;
    auto next = [&](std::uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int op = 0; op < 60; ++op) {
        const int kind = static_cast<int>(next(3));
        if (kind == 2) {
            t->moveTo(static_cast<std::int64_t>(next(static_cast<std::uint32_t>(t->recordCount()))));
            t->deleteRecord();
            continue;
        }
        if (kind == 0) t->append();
        else {
            t->moveTo(static_cast<std::int64_t>(next(static_cast<std::uint32_t>(t->recordCount()))));
            t->edit();
        }
        t->setText(0, op % 2 ? "a" + std::to_string(op) : "zz" + std::to_string(op));
        t->setValue(1, Value::real(op % 4 ? -op / 8.0 : op * 1.5));
        t->setText(2, op % 5 ? "2011-11-0" + std::to_string(1 + op % 9) : "1899-12-31");
        t->setValue(3, Value::integer(20000 + op));
        t->post();
        if (op % 20 == 19) Check(path);
    }
    if (!descending) {
        EXPECT_EQ(FileId(dir.file("cave.mdx")), id) << "the file was written anew";
    }
    Fill(*t, 3000, 3100);
    t.reset();
    Check(path);

    // A unique tag keeps the first record of a key: a repeated key is no
    // error, and the next record holding it takes over when the first goes.
    t = Open(path);
    t->moveTo(0);
    t->edit();
    t->setValue(3, Value::integer(5));
    t->post();
    t->moveTo(4);
    t->deleteRecord();
    t.reset();
    Check(path);
  }
}

TEST(MdxIndexes, ExpressionsWeCannotEvaluateKeepTheTableReadOnly)
{
    ScratchDir dir;
    const std::string path = dir.file("cave.dbf");
    MakeCave(path, 3, false);
    std::vector<MdxTagLayout> tags{NewMdxTag("STATION", "STATION", "", 'C', 10, false, false, 1024),
                                   NewMdxTag("PART", "SUBSTR(STATION,1,2)", "", 'C', 2, false, false, 1024)};
    WriteFile(dir.file("cave.mdx"), BuildMdxIndex(MdxFileHeader("cave", 1024), tags));
    const std::string before = ReadFile(path);
    auto t = Open(path);
    EXPECT_EQ(t->format()->writeBlocked(),
              "cave.dbf: tag PART of cave.mdx (SUBSTR(STATION,1,2)) cannot be kept up to date; the table is open read-only");
    EXPECT_THROW(t->edit(), EngineError);
    t.reset();
    EXPECT_EQ(ReadFile(path), before);
}

TEST(MdxIndexes, AFailedWriteLeavesTableAndIndexAgreeing)
{
    const std::vector<std::pair<const char*, std::function<void(Table&)>>> cases = {
        {"post", [](Table& t) { t.moveTo(1); t.edit(); t.setText(0, "AAA"); t.setValue(3, Value::integer(77)); t.post(); }},
        {"insert", [](Table& t) { t.append(); t.setText(0, "new"); t.setValue(3, Value::integer(50)); t.post(); }},
        {"delete", [](Table& t) { t.moveTo(2); t.deleteRecord(); }},
        {"appends", [](Table& t) { Fill(t, 100, 103); }},
    };
    // Laid out anew, and changed in place on full leaves that split.
    ScratchDir anew, inPlace, dir;
    MakeCave(anew.file("cave.dbf"), 8, true);
    MakeCave(inPlace.file("cave.dbf"), 60, false);
    const std::string path = dir.file("cave.dbf");
    for (const ScratchDir* source : {&anew, &inPlace})
        for (const auto& [name, run] : cases) {
            SCOPED_TRACE(name + std::string(source == &anew ? " anew" : " in place"));
            auto prepare = [&] {
                for (const auto& entry : FolderEntries(dir.path())) std::remove(dir.file(entry).c_str());
                for (const auto& entry : FolderEntries(source->path())) CopyFile(source->file(entry), dir.file(entry));
                return Open(path);
            };
            WalkFaults(prepare, run, [&](const std::string&) {
                Check(path);
                for (const auto& entry : FolderEntries(dir.path())) EXPECT_EQ(entry.find(".tmp-"), std::string::npos) << entry;
            });
        }
}

// A Copy that makes the table anew keeps the tags whose fields it still has
// (their key lengths following the new fields) and names the others.
TEST(MdxIndexes, ACopyKeepsTheTagsWhoseFieldsSurvive)
{
    ScratchDir dir;
    const std::string path = dir.file("cave.dbf");
    MakeCave(path, 20, true);
    Table source;
    source.setTableName(dir.file("other.dbf"));
    source.setTableType(TableType::dBASE);
    source.addFieldDef("STATION", ftString, 14);
    source.addFieldDef("SURVEYED", ftDate, 0);
    source.addFieldDef("N", ftFloat, 8);
    source.createTable();
    source.open();
    for (int n = 0; n < 30; ++n) {
        source.append();
        source.setText(0, "station " + std::to_string(n * 13 % 30));
        source.setText(1, "2020-02-1" + std::to_string(n % 10));
        source.setValue(2, Value::real(n % 7 - 3.5));
        source.post();
    }
    auto destination = Open(path);
    const BatchMoveResult r = BatchMove(*destination, source, BatchMode::Copy);
    EXPECT_EQ(r.droppedIndexes, std::vector<std::string>{"tag DEPTH of cave.mdx (DEPTH)"});
    destination.reset();
    Check(path);
    DbfTable table(path, TableType::Default, true);
    std::vector<std::string> names;
    for (const IndexTag& t : table.indexTags()) names.push_back(t.name + ":" + std::to_string(t.keyLength));
    EXPECT_EQ(names, (std::vector<std::string>{"STATION:14", "SURVEYED:8", "PLACE:14", "N:12"}));
    EXPECT_EQ(table.writeBlocked(), "");
}
