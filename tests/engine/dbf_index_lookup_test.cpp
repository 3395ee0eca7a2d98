// Tags of dBASE/FoxPro tables at work: a unique or candidate tag gives the
// table's primary key, and local SQL looks values up through a tag keyed on
// one field. Every lookup must give exactly the rows (and row numbers) of the
// same select answered by reading every record.
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <strings.h>

#include "tests/support/open_table.h"
#include "engine/batch_move.h"
#include "engine/database.h"
#include "engine/dbf/dbf_table.h"
#include "engine/dbf/index/index_key.h"
#include "engine/error.h"
#include "engine/sql/query.h"
#include "engine/table.h"
#include "tests/support/compact_index_writer.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using tarnel::test::Fixture;
using tarnel::test::ScratchDir;

namespace {

std::vector<std::string> Rows(const std::string& folder, const std::string& sql)
{
    auto r = QueryResult::Run(folder, sql);
    std::vector<std::string> out;
    for (r->first(); !r->eof(); r->next()) {
        std::string row;
        for (int f = 0; f < r->fieldCount(); ++f) row += r->asText(f) + "|";
        out.push_back(row);
    }
    return out;
}

// The select with each condition as written (which the index may answer)
// against the same with the field written +FIELD (which it never does).
void ExpectSameAsFullScan(const std::string& folder, const std::string& table, const std::string& field,
                          const std::vector<std::string>& conditions)
{
    for (const std::string& c : conditions) {
        SCOPED_TRACE(table + ": " + c);
        std::string scanned = c;
        for (size_t at = 0; (at = scanned.find(field, at)) != std::string::npos; at += field.size() + 1)
            scanned.insert(at, "+");
        const std::string head = "Select rowid, * From " + table + " Where ";
        EXPECT_EQ(Rows(folder, head + c), Rows(folder, head + scanned));
    }
}

// Conditions around every value the field holds (as SQL literals), and a few
// it does not (those of its kind: text or numbers).
std::vector<std::string> ConditionsOver(const std::string& folder, const std::string& table, const std::string& field)
{
    std::vector<std::string> out, extra = {"-1", "0", "12.5", "-1e300", "1e300", "-50.0000000001"};
    const auto values = Rows(folder, "Select Distinct quote(" + field + ") From " + table);
    const size_t stride = values.size() / 25 + 1;
    for (size_t k = 0; k < values.size(); k += stride) {
        const std::string v = values[k].substr(0, values[k].size() - 1);
        if (v == "NULL") continue;
        if (v[0] == '\'') extra = {"'N5 '", "'N'", "'N999'", "'zz'", "'\u00d1'", "' '", "''", "'a\tb'"};
        for (const char* op : {" = ", " < ", " <= ", " > ", " >= "}) out.push_back(field + op + v);
        out.push_back(field + " > " + v + " And " + field + " <= " + v);
    }
    for (const std::string& v : extra) {
        out.push_back(field + " = " + v);
        out.push_back(field + " >= " + v);
        out.push_back(field + " < " + v);
    }
    return out;
}

using test::OpenTable;

// items.dbf, FoxPro: ID N(12,4), NAME C(10), 2,000 rows with repeated values,
// every 7th deleted; with items.idx on the field named, written from the
// records' own keys (shift moves every key's record number: a stale index).
void MakeIndexedItems(const std::string& folder, const std::string& field, std::uint32_t shift = 0)
{
    const std::string path = JoinPath(folder, "items.dbf");
    CreateOptions options;
    options.type = TableType::FoxPro;
    CreateTableFiles(path, {{"ID", ftFloat, 12, 1, 4}, {"NAME", ftString, 10, 2}}, options);
    {
        auto t = OpenTable(folder, "items.dbf", false);
        for (int k = 0; k < 2000; ++k) {
            t->append();
            if (k % 50 != 3) t->setValue(0, Value::real(((k * 37) % 1500 - 200) / 4.0));
            t->setValue(1, Value::text(k % 97 == 5 ? "" : "N" + std::to_string(k % 300)));
            t->post();
        }
        for (int k = 1995; k >= 0; k -= 7) {
            t->moveTo(k);
            t->deleteRecord();
        }
    }
    DbfTable dbf(path, TableType::FoxPro, true);
    auto expression = KeyExpression::compile(field, dbf.header(), KeyStyle::FoxPro);
    ASSERT_TRUE(expression.has_value());
    std::vector<tarnel::test::CompactEntry> entries;
    for (std::int64_t r = 0; r < dbf.physicalCount(); ++r)
        entries.push_back({expression->evaluate(dbf.rawRecord(r)),
                           static_cast<std::uint32_t>((r + shift) % dbf.physicalCount() + 1)});
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.key != b.key ? a.key < b.key : a.record < b.record;
    });
    tarnel::test::WriteCompactIndex(JoinPath(folder, "items.idx"), field,
                                    static_cast<int>(entries.front().key.size()), entries);
}

} // namespace

TEST(DbfIndexLookup, FixtureTagsAnswerLikeAFullScan)
{
    const std::string folder = Fixture("dbf/foxprodb");
    const std::pair<const char*, const char*> tags[] = {
        {"calls", "call_id"}, {"calls", "contact_id"}, {"setup", "key_name"}, {"types", "contact_ty"}};
    for (const auto& [table, field] : tags) {
        auto t = OpenTable(folder, std::string(table) + ".dbf");
        int index = -1;
        for (int f = 0; f < t->fieldCount(); ++f)
            if (strcasecmp(t->field(f).name.c_str(), field) == 0) index = f;
        ASSERT_GE(index, 0) << field;
        EXPECT_TRUE(t->format()->indexedField(index)) << field;
        ExpectSameAsFullScan(folder, table, field, ConditionsOver(folder, table, field));
    }
}

TEST(DbfIndexLookup, GeneratedTableAnswersLikeAFullScan)
{
    for (const char* field : {"NAME", "ID"}) {
        SCOPED_TRACE(field);
        ScratchDir dir;
        MakeIndexedItems(dir.path(), field);
        auto t = OpenTable(dir.path(), "items.dbf");
        const int f = field == std::string("ID") ? 0 : 1;
        EXPECT_TRUE(t->format()->indexedField(f));
        // The index answers, giving the records of the key and no others (deleted ones too).
        const Value key = f == 0 ? Value::real(-12.25) : Value::text("N17");
        std::vector<std::int64_t> expected;
        for (std::int64_t r = 0; r < t->format()->physicalCount(); ++r)
            if (t->format()->value(r, f) == key) expected.push_back(r);
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(t->format()->indexedRecords(f, key, key), expected);
        ExpectSameAsFullScan(dir.path(), "items", field, ConditionsOver(dir.path(), "items", field));
    }
}

TEST(DbfIndexLookup, StaleOrDamagedIndexFallsBackToReadingTheTable)
{
    ScratchDir dir;
    MakeIndexedItems(dir.path(), "NAME", 1);   // every key names the wrong record
    EXPECT_FALSE(OpenTable(dir.path(), "items.dbf")->format()->indexedRecords(1, Value::text("N17"), Value()));
    const std::vector<std::string> conditions = {"NAME = 'N17'", "NAME >= 'N29' And NAME < 'N3'"};
    ExpectSameAsFullScan(dir.path(), "items", "NAME", conditions);
    std::filesystem::resize_file(dir.file("items.idx"), 1536);   // its root past the end
    ExpectSameAsFullScan(dir.path(), "items", "NAME", conditions);
}

int FieldNamed(const Table& t, const char* name)
{
    for (int f = 0; f < t.fieldCount(); ++f)
        if (strcasecmp(t.field(f).name.c_str(), name) == 0) return f;
    return -1;
}

TEST(DbfIndexLookup, CandidateTagIsThePrimaryKeyForKeyedMoves)
{
    const std::string folder = Fixture("dbf/foxprodb");
    // calls.CDX also holds contact_id, neither unique nor candidate.
    for (auto [name, key] : {std::pair{"calls.dbf", "call_id"}, {"setup.dbf", "key_name"}, {"types.dbf", "contact_ty"}}) {
        auto t = OpenTable(folder, name);
        EXPECT_EQ(t->primaryKey(), std::vector<int>{FieldNamed(*t, key)}) << name;
    }

    // Keyed moves match rows on that key: Update and AppendUpdate find every
    // row (nothing is added), Delete takes them all away. (A deleted row
    // keeps its key in the candidate tag, which has no filter: appending the
    // same keys again would be refused.)
    ScratchDir dir;
    for (const char* f : {"setup.dbf", "setup.CDX"})
        std::filesystem::copy_file(Fixture(std::string("dbf/foxprodb/") + f), dir.file(f));
    auto source = OpenTable(folder, "setup.dbf");
    Table dest;
    dest.setDatabaseName(dir.path());
    dest.setTableName("setup.dbf");
    BatchMove(dest, *source, BatchMode::Update);
    BatchMove(dest, *source, BatchMode::AppendUpdate);
    EXPECT_EQ(Rows(dir.path(), "Select * From setup"), Rows(folder, "Select * From setup"));
    BatchMove(dest, *source, BatchMode::Delete);
    EXPECT_TRUE(Rows(dir.path(), "Select * From setup").empty());
    dest.close();

    // A damaged index: the move names it instead of claiming there is no key.
    std::filesystem::resize_file(dir.file("setup.CDX"), 700);
    try {
        BatchMove(dest, *source, BatchMode::Update);
        ADD_FAILURE() << "no error";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("setup.CDX"), std::string::npos) << e.what();
    }
}
