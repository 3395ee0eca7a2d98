// A rebuild that drops or reshapes an index and then fails or is cancelled
// puts the old table back with every index it had, in its old shape and
// true to the rows: .cdx and .ndx beside a FoxPro table, a production .mdx
// beside a dBASE table, secondary indexes beside a keyed Paradox table.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/bytes.h"
#include "engine/dbf/dbf_table.h"
#include "engine/dbf/index/index_file.h"
#include "engine/dbf/index/index_keeper.h"
#include "engine/dbf/index/mdx_writer.h"
#include "engine/error.h"
#include "engine/fileio/companion_files.h"
#include "engine/fileio/fault.h"
#include "engine/fileio/file.h"
#include "engine/paradox/px_secondary.h"
#include "engine/table.h"
#include "tables/core/restructure.h"
#include "tests/engine/format_test_util.h"
#include "tests/support/index_check.h"
#include "tests/support/secondary_index_check.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using namespace tarnel::tables;
using namespace tarnel::test;

namespace {

enum class Kind { FoxPro, dBASE, Paradox };

const char* FileOf(Kind k)
{
    return k == Kind::Paradox ? "cave.db" : "cave.dbf";
}

// K Integer, NAME String(12), DEPTH Integer, CLUB String(8); row n: n,
// "st<n>", n*10 % 700, "c<n%5>". Keyed on K in Paradox.
void MakeRows(const std::string& folder, Kind kind, int rows)
{
    Table t;
    t.setDatabaseName(folder);
    t.setTableName(FileOf(kind));
    t.setTableType(kind == Kind::FoxPro ? TableType::FoxPro : kind == Kind::dBASE ? TableType::dBASE : TableType::Paradox);
    t.addFieldDef("K", ftInteger, 0, false, 0, kind == Kind::Paradox);
    t.addFieldDef("NAME", ftString, 12);
    t.addFieldDef("DEPTH", ftInteger, 0);
    t.addFieldDef("CLUB", ftString, 8);
    t.createTable();
    t.open();
    t.beginAppends();
    for (int n = 0; n < rows; ++n) {
        t.append();
        t.setValue(0, Value::integer(n));
        t.setText(1, "st" + std::to_string(n));
        t.setValue(2, Value::integer(n * 10 % 700));
        t.setText(3, "c" + std::to_string(n % 5));
        t.post();
    }
    t.endAppends();
}

// The indexes, filled from the rows: on NAME, on DEPTH (of its own in
// dBASE/FoxPro, with NAME in Paradox), on CLUB, and on CLUB with NAME
// (FoxPro's .ndx).
void AddIndexes(const std::string& folder, Kind kind)
{
    const std::string db = folder + "/" + FileOf(kind);
    if (kind == Kind::Paradox) {
        paradox::ParadoxTable table(db, false);
        for (int field : {1, 3}) {
            paradox::SecondaryIndex single;
            single.path = folder + "/cave.X0" + std::to_string(field + 1);
            single.fields = {field};
            paradox::WriteSecondaryIndex(table, single);
        }
        paradox::SecondaryIndex both;
        both.path = folder + "/cave.XG0";
        both.name = "BYDEPTH";
        both.composite = both.descending = true;
        both.fields = {2, 1};
        paradox::WriteSecondaryIndex(table, both);
        return;
    }
    DbfTable table(db, TableType::Default, true);
    auto record = [&](std::int64_t r) { return table.rawRecord(r); };
    if (kind == Kind::FoxPro) {
        CreateCompoundIndex(folder + "/cave.cdx",
                            {{"NAME", "NAME", "", true}, {"DEPTH", "DEPTH", "", false}, {"CLUB", "UPPER(CLUB)", "", false}},
                            table.header(), record, table.physicalCount());
        CreateNdxIndex(folder + "/cave.ndx", "CLUB+NAME", table.header(), record, table.physicalCount());
    } else {
        const unsigned block = 512;
        std::vector<MdxTagLayout> tags{NewMdxTag("NAME", "NAME", "", 'C', 12, true, false, block),
                                       NewMdxTag("DEPTH", "DEPTH", "", 'N', 12, false, true, block),
                                       NewMdxTag("CLUB", "UPPER(CLUB)", "", 'C', 8, false, false, block)};
        ThreadMdxTags(tags);
        WriteFile(folder + "/cave.mdx", BuildMdxIndex(MdxFileHeader("cave", block), tags));
        IndexKeeper keeper(table.indexFiles(), table.header());
        ASSERT_EQ(keeper.blocked(), "");
        keeper.rebuild(record, table.physicalCount());
    }
    // The table header says it has a production index.
    File file = File::open(db, false);
    const char flag = 0x01;
    file.writeAt(28, &flag, 1);
}

// K kept first (and the key), NAME narrowed, DEPTH dropped, CLUB moved up,
// NOTE new: the indexes on DEPTH go, the rest change shape.
std::vector<FieldDef> NewLayout()
{
    return {Def("K", ftInteger, 0), Def("NAME", ftString, 6), Def("CLUB", ftString, 8), Def("NOTE", ftString, 20)};
}

// What the indexes beside the table are: files, tags and their shape.
std::vector<std::string> IndexShape(const std::string& db, Kind kind)
{
    std::vector<std::string> shape;
    if (kind == Kind::Paradox) {
        paradox::ParadoxTable table(db, true);
        for (const std::string& x : paradox::FindSecondaryIndexFiles(db)) {
            const paradox::SecondaryIndex i = paradox::ReadSecondaryIndex(x, table.fields());
            std::string line = BaseName(i.path) + " " + BaseName(i.indexPath) + " " + i.name + (i.descending ? " desc" : "");
            for (int f : i.fields) line += " " + table.fields()[size_t(f)].name + ":" + std::to_string(table.fields()[size_t(f)].size);
            shape.push_back(line);
        }
        shape.push_back("key " + std::to_string(table.primaryKey().size()) +
                        (fileio::FileExists(db.substr(0, db.size() - 3) + ".PX") || fileio::FileExists(db.substr(0, db.size() - 3) + ".px")
                             ? " with .px" : " without .px"));
        return shape;
    }
    for (const std::string& path : FindTableIndexFiles(db)) {
        auto index = IndexFile::open(path);
        for (const IndexTag& t : index->tags())
            shape.push_back(BaseName(path) + " " + t.name + " " + t.expression + " " + t.filter + " " +
                            std::to_string(t.keyLength) + (t.unique ? " unique" : "") + (t.candidate ? " candidate" : "") +
                            (t.descending ? " desc" : ""));
    }
    return shape;
}

// Every row's values, in record order.
std::vector<std::string> Rows(Table& t)
{
    std::vector<std::string> rows;
    for (std::int64_t r = 0; r < t.recordCount(); ++r) {
        t.moveTo(r);
        std::string row;
        for (int f = 0; f < static_cast<int>(t.fields().size()); ++f) row += t.asText(f) + "|";
        rows.push_back(row);
    }
    return rows;
}

class RestructureIndexes : public ::testing::TestWithParam<Kind> {
protected:
    // The table as a rebuild leaves it (an unchanged layout), in `base`.
    void MakeBase(int rows)
    {
        MakeRows(base.path(), GetParam(), rows);
        AddIndexes(base.path(), GetParam());
        const std::string made = HeaderBytes();
        Table t;
        t.setDatabaseName(base.path());
        t.setTableName(FileOf(GetParam()));
        t.open();
        std::vector<FieldDef> same = t.fields();
        for (auto& f : same) f.key = false;
        RestructureTable(t, same, {}, temp.path());
        oldRows = Rows(t);
        t.close();
        oldShape = IndexShape(base.file(FileOf(GetParam())), GetParam());
        oldHeader = HeaderBytes();
        EXPECT_EQ(oldHeader.substr(0, 1), made.substr(0, 1)) << "rebuilt in another format";
    }
    // A fresh copy of the base, open in `table`.
    void Reset()
    {
        table.close();
        for (const auto& f : FolderEntries(data.path())) RemoveFile(data.file(f));
        for (const auto& f : FolderEntries(base.path())) CopyFile(base.file(f), data.file(f));
        table.setDatabaseName(data.path());
        table.setTableName(FileOf(GetParam()));
        table.setReadOnly(false);
        table.open();
    }
    // A dBASE/FoxPro table's header but for its date and row count: the
    // version, the flags, the code page and the field descriptors (the
    // production index marks among them).
    std::string HeaderBytes(const ScratchDir* in = nullptr) const
    {
        if (GetParam() == Kind::Paradox) return {};
        const std::string bytes = ReadFile((in ? *in : base).file(FileOf(GetParam())));
        return bytes.substr(0, 1) +
               bytes.substr(8, static_cast<size_t>(GetLe16(reinterpret_cast<const unsigned char*>(bytes.data()) + 8)) - 8);
    }
    // Each index holds exactly the keys of the table's records.
    void ExpectIndexesAgreeWithRows()
    {
        const std::string db = data.file(FileOf(GetParam()));
        if (GetParam() == Kind::Paradox) {
            ExpectIndexesTrue(db);
            return;
        }
        if (!table.active()) table.open();
        if (GetParam() == Kind::FoxPro) {
            CheckAgainstScan(table, KeyStyle::FoxPro);
        } else {
            auto* dbf = dynamic_cast<DbfTable*>(table.format());
            for (const std::string& path : dbf->indexFiles()) CheckMdx(path, *dbf);
        }
    }
    // The old table, rows, indexes and header alike.
    void ExpectOldTable()
    {
        if (!table.active()) table.open();
        EXPECT_EQ(Rows(table), oldRows);
        EXPECT_EQ(IndexShape(data.file(FileOf(GetParam())), GetParam()), oldShape);
        EXPECT_EQ(HeaderBytes(&data), oldHeader);
        ExpectIndexesAgreeWithRows();
    }

    ScratchDir base, data, temp;
    Table table;
    std::vector<std::string> oldRows, oldShape;
    std::string oldHeader;
};

TEST_P(RestructureIndexes, AFaultAtAnyStepLeavesTheOldIndexesOrTheNewOnes)
{
    MakeBase(40);
    Reset();
    // Every kind of operation but the single writes, which fail as the sync
    // after them does: the walk stays short enough to run with the others.
    const unsigned ops = fileio::kAllFileOps & ~unsigned(fileio::FileOp::Write);
    fileio::ArmFault(ops, 0);
    const RestructureResult done = RestructureTable(table, NewLayout(), {}, temp.path());
    const std::int64_t count = fileio::FaultOpsSeen();
    fileio::DisarmFault();
    EXPECT_FALSE(done.droppedIndexes.empty());
    const std::vector<std::string> newShape = IndexShape(data.file(FileOf(GetParam())), GetParam());
    ASSERT_NE(newShape, oldShape);
    ExpectIndexesAgreeWithRows();

    int putBack = 0;
    for (std::int64_t n = 1; n <= count; ++n) {
        SCOPED_TRACE("fault at operation " + std::to_string(n) + " of " + std::to_string(count));
        Reset();
        bool restructured = true;
        fileio::ArmFault(ops, n, fileio::FaultKind::DiskFull);
        try {
            RestructureTable(table, NewLayout(), {}, temp.path());
        } catch (const RestructureError& e) {
            EXPECT_TRUE(e.restored()) << e.what();
            EXPECT_NE(std::string(e.what()).find("The table was put back as it was."), std::string::npos) << e.what();
            restructured = false;
            ++putBack;
        } catch (const EngineError&) {
            restructured = false;   // the copy out failed: nothing touched
        }
        fileio::DisarmFault();
        if (restructured) {
            EXPECT_EQ(IndexShape(data.file(FileOf(GetParam())), GetParam()), newShape);
            EXPECT_EQ(table.recordCount(), 40);
            ExpectIndexesAgreeWithRows();
        } else {
            ExpectOldTable();
        }
        EXPECT_TRUE(FolderEntries(temp.path()).empty());
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(putBack, 0);
}

// Enough rows for the refill to report progress, and take a cancel, on the way.
TEST_P(RestructureIndexes, ACancelWhileRefillingBringsTheOldIndexesBack)
{
    constexpr int kRows = 1500;
    MakeBase(kRows);
    Reset();
    const RestructureResult r = RestructureTable(table, NewLayout(), [&](std::int64_t done, std::int64_t) {
        return done <= kRows + 512;
    }, temp.path());
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.rows, kRows);
    ExpectOldTable();
    EXPECT_TRUE(FolderEntries(temp.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(Formats, RestructureIndexes, ::testing::Values(Kind::FoxPro, Kind::dBASE, Kind::Paradox),
                         [](const auto& info) {
                             return std::string(info.param == Kind::FoxPro ? "FoxPro" : info.param == Kind::dBASE ? "dBASE" : "Paradox");
                         });

// The production .mdx marks, in the table header, the fields a tag keys on
// their own: NAME and DEPTH here, not CLUB (keyed as UPPER(CLUB)).
TEST(RestructureIndexFlags, ARebuiltDbaseTableMarksTheFieldsItsMdxTagsKey)
{
    ScratchDir dir, temp;
    MakeRows(dir.path(), Kind::dBASE, 10);
    AddIndexes(dir.path(), Kind::dBASE);
    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("cave.dbf");
    t.open();
    RestructureTable(t, {Def("CLUB", ftString, 8), Def("DEPTH", ftInteger, 0), Def("NAME", ftString, 12)}, {}, temp.path());
    t.close();
    const std::string bytes = ReadFile(dir.file("cave.dbf"));
    DbfTable table(dir.file("cave.dbf"), TableType::Default, true);
    std::string marked;
    for (const DbfField& f : table.header().fields)
        if (bytes[size_t(f.descriptorOffset) + 31] == 1) marked += f.name + " ";
    EXPECT_EQ(marked, "DEPTH NAME ");
    EXPECT_EQ(table.header().tableFlags & 0x01, 0x01);
}

} // namespace
