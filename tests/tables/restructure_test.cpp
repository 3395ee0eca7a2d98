// The table rebuild: columns carried over by name, the private temporary
// folder, and a failure at every file operation leaving either the old or
// the new table with all its rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/batch_move.h"
#include "engine/error.h"
#include "engine/fileio/fault.h"
#include "engine/fileio/file.h"
#include "engine/number_format.h"
#include "engine/table.h"
#include "tables/core/restructure.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using namespace tarnel::tables;
using tarnel::test::ScratchDir;

namespace {

constexpr int kRows = 40;

struct Setup {
    TableType type;
    const char* file;
};

// NAME String(12), DEPTH Integer, CLUB String(8); row n: "st<n>", n*10, "c<n%3>".
void MakeCave(const std::string& folder, const Setup& s, int rows = kRows)
{
    Table t;
    t.setDatabaseName(folder);
    t.setTableName(s.file);
    t.setTableType(s.type);
    t.addFieldDef("NAME", ftString, 12);
    t.addFieldDef("DEPTH", ftInteger, 0);
    t.addFieldDef("CLUB", ftString, 8);
    t.createTable();
    t.open();
    for (int n = 0; n < rows; ++n) {
        t.append();
        t.setText(0, "st" + std::to_string(n));
        t.setValue(1, Value::integer(n * 10));
        t.setText(2, "c" + std::to_string(n % 3));
        t.post();
    }
    t.close();
}

// Column name -> the texts of all rows.
std::map<std::string, std::vector<std::string>> Columns(Table& t)
{
    std::map<std::string, std::vector<std::string>> cols;
    for (std::int64_t r = 0; r < t.recordCount(); ++r) {
        t.moveTo(r);
        for (int f = 0; f < static_cast<int>(t.fields().size()); ++f) cols[t.fields()[f].name].push_back(t.asText(f));
    }
    return cols;
}

std::vector<std::string> Names(const Table& t)
{
    std::vector<std::string> names;
    for (const auto& f : t.fields()) names.push_back(f.name);
    return names;
}

FieldDef Def(const std::string& name, TFieldType type, std::int32_t size)
{
    FieldDef d;
    d.name = name;
    d.type = type;
    d.size = size;
    return d;
}

// DEPTH moved first, NAME given in other letter case, CLUB dropped, NOTE new.
std::vector<FieldDef> NewLayout()
{
    return {Def("DEPTH", ftInteger, 0), Def("name", ftString, 12), Def("NOTE", ftString, 20)};
}

class Restructure : public ::testing::TestWithParam<Setup> {
protected:
    void SetUp() override
    {
        MakeCave(data.path(), GetParam());
        table.setDatabaseName(data.path());
        table.setTableName(GetParam().file);
        table.open();
        before = Columns(table);
    }
    // The table made anew with `rows` rows.
    void Remake(int rows)
    {
        table.close();
        for (const auto& e : FolderEntries(data.path())) RemoveFile(data.file(e));
        MakeCave(data.path(), GetParam(), rows);
        table.open();
    }
    // The table is the old one or the new one, with every row either way.
    void ExpectWhole(bool restructured)
    {
        if (!table.active()) table.open();
        ASSERT_EQ(table.recordCount(), kRows);
        auto now = Columns(table);
        if (!restructured) {
            EXPECT_EQ(now, before);
            return;
        }
        ASSERT_EQ(Names(table), (std::vector<std::string>{"DEPTH", "name", "NOTE"}));
        EXPECT_EQ(now["DEPTH"], before["DEPTH"]);
        EXPECT_EQ(now["name"], before["NAME"]);
        EXPECT_EQ(now["NOTE"], std::vector<std::string>(kRows, ""));
    }
    ScratchDir data, temp;
    Table table;
    std::map<std::string, std::vector<std::string>> before;
};

TEST_P(Restructure, CarriesColumnsByNameInTheNewOrder)
{
    RestructureResult r = RestructureTable(table, NewLayout(), {}, temp.path());
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(r.rows, kRows);
    EXPECT_FALSE(table.readOnly());
    ExpectWhole(true);
    EXPECT_TRUE(FolderEntries(temp.path()).empty());

    // An unchanged layout rebuilds the same table.
    std::vector<FieldDef> same = table.fields();
    auto was = Columns(table);
    RestructureTable(table, same, {}, temp.path());
    EXPECT_EQ(Columns(table), was);
}

TEST(RestructureKeyed, KeepsThePrimaryKeyWhileItsFieldsStayFirst)
{
    ScratchDir data, temp;
    MakeCave(data.path(), {TableType::Paradox, "cave.db"});
    Table table;
    table.setDatabaseName(data.path());
    table.setTableName("cave.db");
    table.addFieldDef("NAME", ftString, 12, false, 0, true);
    table.addFieldDef("DEPTH", ftInteger, 0);
    table.addFieldDef("CLUB", ftString, 8);
    table.createTable();   // keyed on NAME, then filled from an unkeyed copy
    Table rows;
    MakeCave(temp.path(), {TableType::Paradox, "rows.db"});
    rows.setDatabaseName(temp.path());
    rows.setTableName("rows.db");
    rows.open();
    BatchMove(table, rows, BatchMode::Append);
    rows.close();
    std::filesystem::remove(temp.file("rows.db"));
    table.open();
    ASSERT_EQ(table.primaryKey(), std::vector<int>{0});

    // The design list knows no keys: NAME first keeps the key, and a new field goes with it.
    RestructureTable(table, {Def("name", ftString, 12), Def("CLUB", ftString, 8), Def("NOTE", ftString, 4)}, {},
                     temp.path());
    EXPECT_EQ(table.primaryKey(), std::vector<int>{0});
    EXPECT_EQ(table.recordCount(), kRows);
    // NAME moved from the front: no key can be kept, and no row is lost.
    RestructureTable(table, {Def("CLUB", ftString, 8), Def("NAME", ftString, 12)}, {}, temp.path());
    EXPECT_TRUE(table.primaryKey().empty());
    EXPECT_EQ(table.recordCount(), kRows);
}

TEST_P(Restructure, CopyLivesInAPrivateFolderOfItsOwn)
{
    // A link planted where a shared temporary table would go is never written through.
    const std::string bait = data.file("bait");
    ASSERT_EQ(::symlink(bait.c_str(), temp.file(kRestructureTempName).c_str()), 0);
    std::string seen;
    mode_t mode = 0;
    RestructureTable(table, NewLayout(), [&](std::int64_t, std::int64_t) {
        for (const auto& e : FolderEntries(temp.path()))
            if (e != kRestructureTempName) {
                seen = temp.file(e);
                struct stat st {};
                if (::stat(seen.c_str(), &st) == 0) mode = st.st_mode & 0777;
            }
        return true;
    }, temp.path());
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(mode, 0700u);
    EXPECT_FALSE(std::filesystem::exists(bait));
    EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::string>{kRestructureTempName});
    ExpectWhole(true);
}

TEST_P(Restructure, RefusedLayoutsPutTheOldTableBack)
{
    // NAME as an Integer: "st0" does not fit, the refill fails.
    std::vector<FieldDef> badValue = {Def("NAME", ftInteger, 0)};
    // A type the format cannot hold: re-creating fails.
    std::vector<FieldDef> badType = {Def("NAME", ftString, 12), Def("PIC", ftUnknown, 0)};
    for (const auto& layout : {badValue, badType}) {
        try {
            RestructureTable(table, layout, {}, temp.path());
            ADD_FAILURE() << "accepted " << layout.back().name;
        } catch (const RestructureError& e) {
            EXPECT_TRUE(e.restored()) << e.what();
            EXPECT_NE(std::string(e.what()).find("put back"), std::string::npos);
        }
        ExpectWhole(false);
        EXPECT_TRUE(FolderEntries(temp.path()).empty());
    }
}

TEST_P(Restructure, AFaultAtAnyFileOperationLosesNoRow)
{
    fileio::ArmFault(fileio::kAllFileOps, 0);
    RestructureTable(table, NewLayout(), {}, temp.path());
    const std::int64_t ops = fileio::FaultOpsSeen();
    fileio::DisarmFault();
    ASSERT_GT(ops, 5);

    for (std::int64_t n = 1; n <= ops; ++n) {
        SCOPED_TRACE("fault at operation " + std::to_string(n));
        table.close();
        RemoveFile(data.file(GetParam().file));
        for (const auto& e : FolderEntries(data.path())) RemoveFile(data.file(e));
        MakeCave(data.path(), GetParam());
        table.open();
        bool restructured = true;
        fileio::ArmFault(fileio::kAllFileOps, n, fileio::FaultKind::DiskFull);
        try {
            RestructureTable(table, NewLayout(), {}, temp.path());
        } catch (const RestructureError& e) {
            EXPECT_TRUE(e.restored()) << e.what();
            restructured = false;
        } catch (const EngineError&) {
            restructured = false;   // the copy out failed: nothing touched
        }
        fileio::DisarmFault();
        ExpectWhole(restructured);
        EXPECT_TRUE(FolderEntries(temp.path()).empty());
    }
}

// Enough rows for the moves to report progress (and take a cancel) on the way.
TEST_P(Restructure, ACancelOrAFailedRestoreNeverLosesTheRows)
{
    constexpr int kMany = 1500;
    Remake(kMany);
    before = Columns(table);

    // Cancelled while refilling: the old table comes back whole, the copy goes.
    std::int64_t seenTotal = 0;
    RestructureResult r = RestructureTable(table, NewLayout(), [&](std::int64_t done, std::int64_t total) {
        seenTotal = total;
        return done <= kMany;
    }, temp.path());
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(seenTotal, 2 * kMany);
    ASSERT_EQ(table.recordCount(), kMany);
    EXPECT_EQ(Columns(table), before);
    EXPECT_TRUE(FolderEntries(temp.path()).empty());

    // The medium fails for good while refilling: the table cannot be put
    // back, so the private folder stays, named in the error, with every row.
    try {
        RestructureTable(table, NewLayout(), [&](std::int64_t done, std::int64_t) {
            if (done > kMany) fileio::ArmFault(fileio::kAllFileOps, 1, fileio::FaultKind::IoError, true);
            return true;
        }, temp.path());
        ADD_FAILURE() << "the restructure went through a failing disk";
    } catch (const RestructureError& e) {
        fileio::DisarmFault();
        EXPECT_FALSE(e.restored());
        ASSERT_FALSE(e.keptFolder().empty());
        EXPECT_NE(std::string(e.what()).find(e.keptFolder() + "/" + kRestructureTempName), std::string::npos)
            << e.what();
        Table kept;
        kept.setDatabaseName(e.keptFolder());
        kept.setTableName(kRestructureTempName);
        kept.open();
        EXPECT_EQ(Columns(kept), before);
    }
    fileio::DisarmFault();
}

// The count the dialog and tarnel-cli show names the pass and its own rows,
// never the two passes added up.
TEST_P(Restructure, ProgressTextCountsEachPassOnItsOwn)
{
    constexpr int kMany = 1500;
    Remake(kMany);
    std::vector<std::string> texts;
    RestructureTable(table, NewLayout(), [&](std::int64_t done, std::int64_t total) {
        texts.push_back(RestructureProgressText(done, total));
        return true;
    }, temp.path());
    ASSERT_GE(texts.size(), 4u);
    EXPECT_EQ(texts.front(), "Saving rows: 512 of 1500");
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Saving rows: 1500 of 1500"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Carrying rows: 512 of 1500"), texts.end());
    EXPECT_EQ(texts.back(), "Carrying rows: 1500 of 1500");
}

// A dBASE numeral given more room and decimals is written as its value
// would be; what the new field cannot hold still fails and puts the table back.
TEST(RestructureNumerals, WidenedNumeralsHoldTheirValues)
{
    ScratchDir data, temp;
    Table t;
    t.setDatabaseName(data.path());
    t.setTableName("depths.dbf");
    t.addFieldDef("DEPTH", ftFloat, 10, false, 2);
    t.createTable();
    t.open();
    const std::vector<std::optional<double>> depths = {79.19, -3.5, 0.0, std::nullopt, 9999999.99, -999999.99, 12.5};
    for (const auto& d : depths) {
        t.append();
        t.setValue(0, d ? Value::real(*d) : Value::null());
        t.post();
    }
    t.close();
    {
        // The last row as another program may write it: leading zeros.
        File f = File::open(data.file("depths.dbf"), false);
        unsigned char header[12];
        f.readExact(0, header, sizeof header, "header");
        const int headerLength = header[8] | header[9] << 8, recordLength = header[10] | header[11] << 8;
        f.writeAt(headerLength + 6 * recordLength + 1, "   0012.50", 10);
    }
    t.open();

    RestructureTable(t, {Def("DEPTH", ftFloat, 20)}, {}, temp.path());
    ASSERT_EQ(t.fields()[0].size, 20);
    const int decimals = t.fields()[0].decimals;
    ASSERT_GE(decimals, 2);
    ASSERT_EQ(t.recordCount(), static_cast<std::int64_t>(depths.size()));
    for (size_t r = 0; r < depths.size(); ++r) {
        SCOPED_TRACE("row " + std::to_string(r + 1));
        t.moveTo(static_cast<std::int64_t>(r));
        std::string stored(t.format()->storedBytes(t.currentRecord(), 0));
        if (!depths[r]) {
            EXPECT_TRUE(t.isNull(0));
            EXPECT_EQ(stored, std::string(20, ' '));
            continue;
        }
        std::string text;
        ASSERT_TRUE(AppendFixed(*depths[r], decimals, text));
        EXPECT_EQ(stored, std::string(20 - text.size(), ' ') + text);
        EXPECT_EQ(t.asFloat(0), *depths[r]);
    }

    // Too narrow for 9999999.99 with four decimals.
    EXPECT_THROW(RestructureTable(t, {Def("DEPTH", ftFloat, 10)}, {}, temp.path()), RestructureError);
    EXPECT_EQ(t.fields()[0].size, 20);
    EXPECT_EQ(t.recordCount(), static_cast<std::int64_t>(depths.size()));
}

// A whole-number field too wide to read as an Integer (N(11,0) reads as a
// Float with no decimals) stays N(11,0) when the table is made anew, so
// that its large values still fit: in a restructure and in a Copy.
TEST(RestructureNumerals, WideWholeNumbersKeepNoDecimals)
{
    ScratchDir data, temp;
    Table t;
    t.setDatabaseName(data.path());
    t.setTableName("counts.dbf");
    t.addFieldDef("COUNT", ftInteger, 0);
    t.createTable();
    t.open();
    const std::vector<double> counts = {12345678, -2000000000, 0, 7};
    for (double c : counts) {
        t.append();
        t.setValue(0, Value::real(c));
        t.post();
    }
    auto expectCounts = [&](Table& table) {
        ASSERT_EQ(table.recordCount(), static_cast<std::int64_t>(counts.size()));
        EXPECT_EQ(table.fields()[0].size, 11);
        for (size_t r = 0; r < counts.size(); ++r) {
            table.moveTo(static_cast<std::int64_t>(r));
            EXPECT_EQ(table.asFloat(0), counts[r]);
        }
    };
    std::vector<FieldDef> layout = {t.fields()[0], Def("NOTE", ftString, 10)};
    RestructureTable(t, layout, {}, temp.path());
    expectCounts(t);

    Table copy;
    copy.setDatabaseName(data.path());
    copy.setTableName("copy.dbf");
    BatchMove(copy, t, BatchMode::Copy);
    copy.open();
    expectCounts(copy);
}

INSTANTIATE_TEST_SUITE_P(Formats, Restructure,
                         ::testing::Values(Setup{TableType::dBASE, "cave.dbf"}, Setup{TableType::Paradox, "cave.db"}),
                         [](const auto& info) { return std::string(info.param.type == TableType::dBASE ? "dBASE" : "Paradox"); });

} // namespace
