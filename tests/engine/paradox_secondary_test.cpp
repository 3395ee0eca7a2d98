// Secondary indexes of Paradox tables, written by our own writer from the
// published layout and read back; nothing independent checks the files.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <tuple>

#include "engine/batch_move.h"
#include "engine/error.h"
#include "engine/fileio/fault.h"
#include "engine/fileio/file.h"
#include "engine/paradox/px_secondary.h"
#include "engine/paradox/px_table.h"
#include "engine/table.h"
#include "tests/engine/format_test_util.h"
#include "tests/support/fault_walk.h"
#include "tests/support/open_table.h"
#include "tests/support/secondary_index_check.h"
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

void AddRow(Table& t, int k, const std::string& name, double depth)
{
    t.append();
    t.setValue(0, Value::integer(k));
    t.setText(1, name);
    t.setValue(2, Value::real(depth));
    t.post();
}

// A new table keyed on K with the fields NAME and DEPTH, open.
std::unique_ptr<Table> MakeCaveTable(const ScratchDir& dir, const std::string& name)
{
    auto t = std::make_unique<Table>();
    t->setDatabaseName(dir.path());
    t->setTableName(name);
    t->addFieldDef("K", ftInteger, 0, false, 0, true);
    t->addFieldDef("NAME", ftString, 20);
    t->addFieldDef("DEPTH", ftFloat, 0);
    t->createTable();
    t->open();
    return t;
}

// cave.db, with an index on NAME and a descending, case-insensitive
// composite BYDEPTH on DEPTH and NAME.
void MakeIndexedCave(const ScratchDir& dir)
{
    {
        auto t = MakeCaveTable(dir, "cave.db");
        for (const Row& r : kRows) AddRow(*t, r.k, r.name, r.depth);
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

    // The table lists them, and keeps them (below).
    const auto tags = table->format()->indexTags();
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].file, "cave.X02");
    EXPECT_EQ(tags[1].expression, "DEPTH,NAME");
    EXPECT_TRUE(tags[1].caseInsensitive && tags[1].descending);
    EXPECT_EQ(OpenTable(dir.path(), "cave.db", false)->writeBlocked(), "");

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
    // What is left of an index without its entries.
    WriteFile(dir.file("cave.X02"), x);
    WriteFile(dir.file("cave.Y05"), y);
    EXPECT_EQ(OpenTable(dir.path(), "cave.db", false)->writeBlocked(),
              "cave.db: its index file cave.Y05 cannot be kept up to date; the table is open read-only "
              "(The index file cave.Y05 has no entries file beside it.)");
    std::filesystem::remove(dir.file("cave.Y05"));
    // Entries of field 2 under the name of field 3.
    WriteFile(dir.file("cave.X02"), x);
    std::filesystem::rename(dir.file("cave.X02"), dir.file("cave.X03"));
    std::filesystem::rename(dir.file("cave.Y02"), dir.file("cave.Y03"));
    expectDamage("do not key field number 3 alone");
    EXPECT_THROW(OpenTable(dir.path(), "cave.db", false)->append(), EngineError);
    EXPECT_THROW(paradox::ParadoxTable(dir.file("cave.db"), false).deleteRecord(0), EngineError);
    EXPECT_EQ(OpenTable(dir.path(), "cave.db")->recordCount(), 5);
}

namespace {

std::multiset<std::string> Lines(const std::string& text)
{
    std::multiset<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.insert(line);
    return lines;
}

// The lines of both texts, those they share once.
std::multiset<std::string> Both(const std::string& a, const std::string& b)
{
    std::multiset<std::string> both = Lines(a), first = Lines(a);
    for (const std::string& line : Lines(b))
        if (!first.count(line)) both.insert(line);
    return both;
}

std::string Rows(const std::string& dbPath)
{
    paradox::ParadoxTable table(dbPath, true);
    std::string out;
    for (std::int64_t r = 0; r < table.physicalCount(); ++r) {
        for (int f = 0; f < static_cast<int>(table.fields().size()); ++f) {
            const Value v = table.value(r, f);
            out += v.kind == Value::Kind::Int ? std::to_string(v.i) : v.kind == Value::Kind::Float ? std::to_string(v.f) : v.s;
            out += '|';
        }
        out += '\n';
    }
    return out;
}

// The indexed cave with enough rows to fill several data blocks.
void MakeLargerCave(const ScratchDir& dir, int rows = 390)
{
    MakeIndexedCave(dir);
    auto t = OpenTable(dir.path(), "cave.db", false);
    t->beginAppends();
    for (int k = 10; k < 10 + rows; ++k) AddRow(*t, (k * 37) % 1000 + 10, "n" + std::to_string(k % 23), k % 7);
    t->endAppends();
}

} // namespace

TEST(ParadoxSecondary, EditsInsertsAndDeletesThroughTheTableKeepEveryIndex)
{
    ScratchDir dir;
    MakeLargerCave(dir);   // adds in the middle and at the end, splitting blocks
    ExpectIndexesTrue(dir.file("cave.db"), "after the adds");
    auto t = OpenTable(dir.path(), "cave.db", false);
    AddRow(*t, 15, "one more", 4);
    ExpectIndexesTrue(dir.file("cave.db"), "after an add");
    t->moveTo(3);
    t->edit();
    t->setText(1, "renamed");   // an indexed field
    t->post();
    ExpectIndexesTrue(dir.file("cave.db"), "after a rename");
    t->moveTo(2);
    t->edit();
    t->setValue(0, Value::integer(5000));   // the key: the record moves
    t->post();
    ExpectIndexesTrue(dir.file("cave.db"), "after a new key");
    for (int n = 0; n < 30; ++n) {
        t->moveTo((n * 37) % t->recordCount());
        t->deleteRecord();
    }
    ExpectIndexesTrue(dir.file("cave.db"), "after the deletes");

    // A unique index refuses a repeated key: the row is not added.
    ScratchDir other;
    MakeCaveTable(other, "u.db");
    {
        paradox::ParadoxTable raw(other.file("u.db"), false);
        SecondaryIndex byName;
        byName.path = other.file("u.X02");
        byName.unique = true;
        byName.fields = {1};
        paradox::WriteSecondaryIndex(raw, byName);
    }
    t = OpenTable(other.path(), "u.db", false);
    for (int k : {1, 2, 3}) {
        t->append();
        t->setValue(0, Value::integer(k));
        t->setText(1, k == 3 ? "a" : std::string(1, char('a' + k - 1)));
        if (k < 3) {
            t->post();
            continue;
        }
        try {
            t->post();
            ADD_FAILURE() << "a repeated key was added";
        } catch (const EngineError& e) {
            EXPECT_NE(std::string(e.what()).find("the change is undone"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("(u.X02), which allows each key once"), std::string::npos) << e.what();
        }
    }
    t.reset();
    EXPECT_EQ(Rows(other.file("u.db")), "1|a||\n2|b||\n");
    ExpectIndexesTrue(other.file("u.db"), "after a refused key");
}

TEST(ParadoxSecondary, AFaultAtAnyWriteLeavesTableAndIndexesAgreeing)
{
    ScratchDir base;
    MakeLargerCave(base, 150);
    const std::vector<std::pair<const char*, std::function<void(Table&)>>> changes = {
        {"add", [](Table& t) { AddRow(t, 7, "mid", 1.5); }},
        {"rename", [](Table& t) { t.moveTo(40); t.edit(); t.setText(1, "zz"); t.post(); }},
        {"new key", [](Table& t) { t.moveTo(40); t.edit(); t.setValue(0, Value::integer(9999)); t.post(); }},
        {"delete", [](Table& t) { t.moveTo(40); t.deleteRecord(); }},
    };
    for (const auto& [name, change] : changes) {
        ScratchDir dir;
        auto prepare = [&] {
            for (const auto& f : FolderEntries(dir.path())) std::filesystem::remove(dir.file(f));
            for (const auto& f : FolderEntries(base.path())) CopyFile(base.file(f), dir.file(f));
        };
        prepare();
        const std::string before = Rows(dir.file("cave.db"));
        {
            auto t = OpenTable(dir.path(), "cave.db", false);
            fileio::ArmFault(fileio::kAllFileOps, 0);
            change(*t);
        }
        const std::int64_t ops = fileio::FaultOpsSeen();
        fileio::DisarmFault();
        const std::string after = Rows(dir.file("cave.db"));
        ASSERT_NE(before, after) << name;
        int undone = 0;
        for (std::int64_t n = 1; n <= ops; ++n) {
            prepare();
            auto t = OpenTable(dir.path(), "cave.db", false);
            std::string error;
            fileio::ArmFault(fileio::kAllFileOps, n, n % 2 ? fileio::FaultKind::DiskFull : fileio::FaultKind::IoError);
            try {
                change(*t);
            } catch (const EngineError& e) {
                error = e.what();
            }
            const bool fired = fileio::FaultFired();
            fileio::DisarmFault();
            t.reset();
            if (!fired) continue;
            const std::string context = std::string(name) + ", operation " + std::to_string(n) + " of " +
                                        std::to_string(ops) + ": " + error;
            EXPECT_FALSE(error.empty()) << context;
            const std::string rows = Rows(dir.file("cave.db"));
            // A record given a new key goes to its new place before it leaves
            // the old one: a fault between the two leaves it twice.
            EXPECT_TRUE(rows == before || rows == after || (std::string(name) == "new key" && Lines(rows) == Both(before, after)))
                << context;
            ExpectIndexesTrue(dir.file("cave.db"), context);
            if (error.find("the change is undone") != std::string::npos) {
                ++undone;
                EXPECT_EQ(rows, before) << context;
                EXPECT_TRUE(error.find("cave.X02") != std::string::npos || error.find("cave.XG0") != std::string::npos)
                    << context;
            }
            for (const auto& f : FolderEntries(dir.path())) EXPECT_NE(f[0], '~') << context;
        }
        EXPECT_GT(undone, 0) << name << ": no fault hit an index";
    }
}

TEST(ParadoxSecondary, ABatchMoveWritesTheIndexesOnceAndTakesItsRowsOutWhenTheyFail)
{
    ScratchDir dir;
    MakeIndexedCave(dir);
    {
        auto more = MakeCaveTable(dir, "more.db");
        more->beginAppends();
        for (int k = 0; k < 2000; ++k) AddRow(*more, k % 2 ? 3000 - k : 10 + k, "m" + std::to_string(k % 41), k % 5);
        more->endAppends();
    }
    const std::string before = Rows(dir.file("cave.db"));
    auto move = [&] {
        auto source = OpenTable(dir.path(), "more.db");
        Table dest;
        dest.setDatabaseName(dir.path());
        dest.setTableName("cave.db");
        return BatchMove(dest, *source, BatchMode::Append);
    };
    // Every index file is moved into place once, whatever the number of rows.
    const std::string kept = dir.file("kept");
    std::filesystem::create_directory(kept);
    for (const auto& f : FolderEntries(dir.path()))
        if (f.rfind("cave.", 0) == 0) CopyFile(dir.file(f), kept + "/" + f);
    fileio::ArmFault(unsigned(fileio::FileOp::Rename), 0);
    EXPECT_EQ(move().appended, 2000);
    const std::int64_t renames = fileio::FaultOpsSeen();
    fileio::DisarmFault();
    EXPECT_LT(renames, 40);
    ExpectIndexesTrue(dir.file("cave.db"), "after the batch");

    // The last rename of the Y file fails: the rows come out again.
    for (const auto& f : FolderEntries(kept)) CopyFile(kept + "/" + f, dir.file(f));
    fileio::ArmFault(unsigned(fileio::FileOp::Rename), renames);
    try {
        move();
        ADD_FAILURE() << "the batch reported success";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("the 2000 records added are taken out again"), std::string::npos) << e.what();
    }
    fileio::DisarmFault();
    EXPECT_EQ(Rows(dir.file("cave.db")), before);
    ExpectIndexesTrue(dir.file("cave.db"), "after the batch was taken out");

    // A write fails halfway: the indexes follow the rows that made it (or the rows come out).
    for (const auto& f : FolderEntries(kept)) CopyFile(kept + "/" + f, dir.file(f));
    fileio::ArmFault(unsigned(fileio::FileOp::Write), 0);
    move();
    const std::int64_t writes = fileio::FaultOpsSeen();
    for (const auto& f : FolderEntries(kept)) CopyFile(kept + "/" + f, dir.file(f));
    fileio::ArmFault(unsigned(fileio::FileOp::Write), writes / 2);
    EXPECT_THROW(move(), EngineError);
    fileio::DisarmFault();
    const auto rows = Lines(Rows(dir.file("cave.db")));
    for (const std::string& line : Lines(before)) EXPECT_TRUE(rows.count(line)) << line;
    ExpectIndexesTrue(dir.file("cave.db"), "after a failed batch");
}

TEST(ParadoxSecondary, CopyOntoAnIndexedTableKeepsTheIndexesWhoseFieldsItHas)
{
    ScratchDir dir;
    MakeIndexedCave(dir);
    {
        Table other;
        other.setDatabaseName(dir.path());
        other.setTableName("other.db");
        other.addFieldDef("ID", ftInteger, 0, false, 0, true);
        other.addFieldDef("NOTE", ftString, 8);
        other.addFieldDef("NAME", ftString, 30);
        other.createTable();
        other.open();
        for (int k = 0; k < 50; ++k) {
            other.append();
            other.setValue(0, Value::integer(k));
            other.setText(1, "x");
            other.setText(2, "c" + std::to_string(k % 9));
            other.post();
        }
    }
    auto source = OpenTable(dir.path(), "other.db");
    Table dest;
    dest.setDatabaseName(dir.path());
    dest.setTableName("cave.db");
    const BatchMoveResult r = BatchMove(dest, *source, BatchMode::Copy);
    EXPECT_EQ(r.appended, 50);
    EXPECT_EQ(r.droppedIndexes, std::vector<std::string>{"BYDEPTH of cave.XG0 (DEPTH,NAME)"});
    // NAME is now the third field: its index is named after it.
    EXPECT_FALSE(std::filesystem::exists(dir.file("cave.X02")) || std::filesystem::exists(dir.file("cave.XG0")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("cave.X03")) && std::filesystem::exists(dir.file("cave.Y03")));
    ExpectIndexesTrue(dir.file("cave.db"), "after the copy");
}

namespace {

// The indexed cave with keys 10.. (rows of them), and changes.db holding
// every second of those keys with a new NAME and DEPTH (and, with extra,
// that many keys the cave does not have).
void MakeCaveAndChanges(const ScratchDir& dir, int rows, int extra = 0)
{
    MakeIndexedCave(dir);
    auto cave = OpenTable(dir.path(), "cave.db", false);
    auto changes = MakeCaveTable(dir, "changes.db");
    cave->beginAppends();
    changes->beginAppends();
    for (int k = 10; k < 10 + rows; ++k) {
        AddRow(*cave, k, "n" + std::to_string(k % 23), k % 7);
        if (k % 2 == 0) AddRow(*changes, k, "c" + std::to_string(k % 19), k % 5 + 0.5);
    }
    for (int k = 0; k < extra; ++k) AddRow(*changes, 100000 + k, "new", 1);
    cave->endAppends();
    changes->endAppends();
}

BatchMoveResult MoveChanges(const ScratchDir& dir, BatchMode mode)
{
    auto source = OpenTable(dir.path(), "changes.db");
    Table dest;
    dest.setDatabaseName(dir.path());
    dest.setTableName("cave.db");
    return BatchMove(dest, *source, mode);
}

// The renames a batch move takes (each index file is moved into place by one).
std::int64_t RenamesOf(const ScratchDir& dir, BatchMode mode, BatchMoveResult& result)
{
    fileio::ArmFault(unsigned(fileio::FileOp::Rename), 0);
    result = MoveChanges(dir, mode);
    const std::int64_t renames = fileio::FaultOpsSeen();
    fileio::DisarmFault();
    return renames;
}

} // namespace

TEST(ParadoxSecondary, UpdateAndDeleteBatchesWriteEachIndexOnce)
{
    ScratchDir dir;
    MakeCaveAndChanges(dir, 3000, 40);
    BatchMoveResult r;
    EXPECT_LE(RenamesOf(dir, BatchMode::Update, r), 6);
    EXPECT_EQ(r.updated, 1500);
    EXPECT_EQ(r.appended, 0);
    ExpectIndexesTrue(dir.file("cave.db"), "after the update");
    const std::string updated = Rows(dir.file("cave.db"));
    EXPECT_NE(updated.find("12|c12|2.500000|"), std::string::npos);
    EXPECT_NE(updated.find("13|n13|6.000000|"), std::string::npos);

    // The update half of AppendUpdate too; the new keys are appended after it.
    EXPECT_LE(RenamesOf(dir, BatchMode::AppendUpdate, r), 10);
    EXPECT_EQ(r.updated, 1500);
    EXPECT_EQ(r.appended, 40);
    ExpectIndexesTrue(dir.file("cave.db"), "after the append-update");

    EXPECT_LE(RenamesOf(dir, BatchMode::Delete, r), 8);
    EXPECT_EQ(r.deleted, 1540);
    ExpectIndexesTrue(dir.file("cave.db"), "after the delete");
    const std::string left = Rows(dir.file("cave.db"));
    EXPECT_EQ(left.find("|c"), std::string::npos);
    EXPECT_EQ(paradox::ParadoxTable(dir.file("cave.db"), true).physicalCount(), 5 + 1500);
}

TEST(ParadoxSecondary, AFaultInAnUpdateOrDeleteBatchLeavesTableAndIndexesAgreeing)
{
    ScratchDir base;
    MakeCaveAndChanges(base, 200);
    const std::string before = Rows(base.file("cave.db"));
    for (BatchMode mode : {BatchMode::Update, BatchMode::Delete}) {
        ScratchDir dir;
        int indexFailures = 0;
        std::unique_ptr<Table> source;
        WalkFaults(
            [&] {
                source.reset();
                for (const auto& f : FolderEntries(dir.path())) std::filesystem::remove(dir.file(f));
                for (const auto& f : FolderEntries(base.path())) CopyFile(base.file(f), dir.file(f));
                source = OpenTable(dir.path(), "changes.db");
                return OpenTable(dir.path(), "cave.db", false);
            },
            [&](Table& dest) { BatchMove(dest, *source, mode); },
            [&](const std::string& error) {
                ExpectIndexesTrue(dir.file("cave.db"), error);
                // Rows moved before the fault stay moved; no other row changed.
                const auto now = Lines(Rows(dir.file("cave.db")));
                const auto was = Lines(before);
                for (const std::string& line : was) {
                    if (std::stoi(line) % 2 == 1) {
                        EXPECT_TRUE(now.count(line)) << line;
                    }
                }
                for (const std::string& line : now) EXPECT_TRUE(was.count(line) || line.find("|c") != std::string::npos) << line;
                for (const auto& f : FolderEntries(dir.path())) EXPECT_NE(f[0], '~') << error;
                if (error.find("cave.X02") != std::string::npos || error.find("cave.XG0") != std::string::npos) ++indexFailures;
            });
        EXPECT_GT(indexFailures, 0) << "no fault hit an index";
    }

    // A key that does not fit stops the batch: the rows updated before it
    // stay updated, and the indexes hold them.
    ScratchDir bad;
    for (const auto& f : FolderEntries(base.path())) CopyFile(base.file(f), bad.file(f));
    {
        Table keys;
        keys.setDatabaseName(bad.path());
        keys.setTableName("keys.db");
        keys.addFieldDef("K", ftFloat, 0);
        keys.addFieldDef("NAME", ftString, 20);
        keys.createTable();
        keys.open();
        for (double k : {12.0, 14.0, 15.5, 16.0}) {
            keys.append();
            keys.setValue(0, Value::real(k));
            keys.setText(1, "fit");
            keys.post();
        }
    }
    try {
        Table dest;
        dest.setDatabaseName(bad.path());
        dest.setTableName("cave.db");
        BatchMove(dest, *OpenTable(bad.path(), "keys.db"), BatchMode::Update);
        ADD_FAILURE() << "the batch reported success";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("row 3: the value 15.5 is not a whole number"), std::string::npos) << e.what();
    }
    const std::string fitted = Rows(bad.file("cave.db"));
    EXPECT_NE(fitted.find("12|fit|"), std::string::npos);
    EXPECT_NE(fitted.find("14|fit|"), std::string::npos);
    EXPECT_NE(fitted.find("16|n16|"), std::string::npos);
    ExpectIndexesTrue(bad.file("cave.db"), "after a key that does not fit");

    // Indexes that cannot be written at all are removed and named; the
    // updated rows stay, and the table stays writable.
    ScratchDir dir;
    for (const auto& f : FolderEntries(base.path())) CopyFile(base.file(f), dir.file(f));
    fileio::ArmFault(unsigned(fileio::FileOp::Rename), 1, fileio::FaultKind::DiskFull, true);
    try {
        MoveChanges(dir, BatchMode::Update);
        ADD_FAILURE() << "the batch reported success";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("Removed, so as not to disagree with the table: cave.X02 cave.Y02 cave.XG0 cave.YG0."),
                  std::string::npos) << e.what();
    }
    fileio::DisarmFault();
    EXPECT_TRUE(paradox::FindSecondaryIndexFiles(dir.file("cave.db")).empty());
    EXPECT_NE(Rows(dir.file("cave.db")).find("12|c12|2.500000|"), std::string::npos);
    EXPECT_EQ(OpenTable(dir.path(), "cave.db", false)->writeBlocked(), "");
}
