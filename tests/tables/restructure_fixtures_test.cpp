// Every fixture table, rebuilt as it is (its data and memo files byte for
// byte), must hold what moving the refill select's rows into a new table of
// the new layout gives; one that cannot be rebuilt stays as it was.
#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/batch_move.h"
#include "engine/error.h"
#include "engine/sql/query.h"
#include "engine/table.h"
#include "tables/core/restructure.h"
#include "tests/support/test_paths.h"
#include "tests/tables/held_value.h"

using namespace tarnel;
using namespace tarnel::tables;
using tarnel::test::Fixture;
using tarnel::test::Held;
using tarnel::test::ScratchDir;
namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

// The table's data file and its memo or blob file, copied under the stem `stem`.
void CopyTable(const fs::path& table, const std::string& folder, const std::string& stem, const std::string& ext)
{
    fs::copy_file(table, folder + "/" + stem + ext);
    for (const auto& e : fs::directory_iterator(table.parent_path())) {
        const std::string memo = Lower(e.path().extension().string());
        if (Lower(e.path().stem().string()) == Lower(table.stem().string()) &&
            (memo == ".dbt" || memo == ".fpt" || memo == ".mb"))
            fs::copy_file(e.path(), folder + "/" + stem + e.path().extension().string());
    }
}

} // namespace

TEST(RestructureFixtures, HoldWhatTheRefillSelectGivesOrStayAsTheyWere)
{
    int rebuilt = 0;
    for (const auto& entry : fs::recursive_directory_iterator(Fixture(""))) {
        const std::string ext = Lower(entry.path().extension().string());
        if (ext != ".dbf" && ext != ".db") continue;
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        ScratchDir work, select, temp;
        CopyTable(entry.path(), work.path(), entry.path().stem().string(), entry.path().extension().string());
        CopyTable(entry.path(), select.path(), "TEMP", ".DBF");
        Table table;
        table.setDatabaseName(work.path());
        table.setTableName(name);
        std::vector<FieldDef> layout;
        std::unique_ptr<QueryResult> viaSql;
        try {
            table.open();
            if (!table.writeBlocked().empty() || table.fields().empty()) continue;
            // The fields backwards, one under another letter case, and a new one.
            layout.assign(table.fields().rbegin(), table.fields().rend());
            layout.front().name = Lower(layout.front().name);
            layout.push_back(FieldDef{"ADDED_NEW", ftBoolean, 0, 0, 0, false});
            viaSql = QueryResult::Run(select.path(), RestructureSelect(layout, table.fields()));
        } catch (const EngineError&) {
            continue;   // damaged on purpose
        }
        const std::string before = Bytes(work.file(name));
        try {
            RestructureTable(table, layout, {}, temp.path());
        } catch (const RestructureError& e) {
            EXPECT_TRUE(e.restored()) << e.what();
            continue;   // a type no new table holds
        } catch (const EngineError&) {
            EXPECT_EQ(Bytes(work.file(name)), before) << "a failed save touched the table";
            continue;
        }
        EXPECT_TRUE(fs::is_empty(temp.path()));

        Table expected;
        expected.setDatabaseName(select.path());
        expected.setTableName("expected" + ext);
        expected.setTableType(table.formatType());
        for (const FieldDef& f : table.fields()) expected.addFieldDef(f.name, f.type, f.size, f.required, f.decimals, f.key);
        expected.createTable(table.codePage());
        BatchMove(expected, *viaSql, BatchMode::Append);
        expected.open();
        ASSERT_EQ(table.recordCount(), expected.recordCount());
        for (std::int64_t row = 0; row < table.recordCount(); ++row)
            for (int f = 0; f < table.fieldCount(); ++f)
                ASSERT_EQ(Held(table.valueAt(row, f)), Held(expected.valueAt(row, f))) << "row " << row + 1 << " field " << f;
        ++rebuilt;
    }
    EXPECT_GE(rebuilt, 14);
}

// A memo file gone missing is found while saving, before the table is made
// anew: the table stays as it was, and no temporary folder is left.
TEST(RestructureFixtures, AMissingMemoFileLeavesTheTableUntouched)
{
    ScratchDir work, temp;
    const std::string name = "dbase_83_missing_memo.dbf";
    fs::copy_file(Fixture("dbf/" + name), work.file(name));
    const std::string before = Bytes(work.file(name));
    Table table;
    table.setDatabaseName(work.path());
    table.setTableName(name);
    table.open();
    std::vector<FieldDef> layout = table.fields();
    layout.push_back(FieldDef{"ADDED_NEW", ftBoolean, 0, 0, 0, false});
    EXPECT_THROW(RestructureTable(table, layout, {}, temp.path()), EngineError);
    EXPECT_EQ(Bytes(work.file(name)), before);
    EXPECT_TRUE(fs::is_empty(temp.path()));
}
