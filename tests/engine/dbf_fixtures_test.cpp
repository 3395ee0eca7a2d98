// Real tables written by many dBASE and FoxPro versions: every one must open
// with the schema and record count listed beside it, and show its memo texts.
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include "engine/dbf/dbf_table.h"
#include "engine/error.h"
#include "engine/table.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using tarnel::test::Fixture;

namespace {

struct Expected {
    long long records = -1;
    struct Field { std::string name; char letter; int length; int decimals; };
    std::vector<Field> fields;
};

Expected ReadSummary(const std::string& path)
{
    std::ifstream in(path);
    Expected e;
    std::string line;
    bool inFields = false;
    while (std::getline(in, line)) {
        if (line.rfind("Records:", 0) == 0) e.records = std::stoll(line.substr(8));
        if (line.rfind("-----", 0) == 0) { inFields = true; continue; }
        if (!inFields || line.find_first_not_of(' ') == std::string::npos) continue;
        std::istringstream words(line);
        Expected::Field f;
        std::string letter;
        words >> f.name >> letter >> f.length >> f.decimals;
        f.letter = letter[0];
        e.fields.push_back(f);
    }
    return e;
}

// The values of one record as the fixture's YAML lists them ("- value" lines;
// a double-quoted value may be folded over several lines).
std::vector<std::string> ReadRecordYaml(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> raw;
    std::string line;
    bool open = false;   // inside a double-quoted value
    while (std::getline(in, line)) {
        if (line == "---") continue;
        auto text = line.substr(std::min(line.find_first_not_of(' '), line.size()));
        if (open) {
            raw.back() += " " + text;
        } else if (text.rfind("-", 0) == 0) {
            raw.push_back(text.size() > 2 ? text.substr(2) : std::string());
        }
        const std::string& v = raw.back();
        if (!v.empty() && v.front() == '"') {
            size_t k = v.size();
            bool closed = v.size() > 1 && v.back() == '"';
            for (size_t b = v.size() - 1; closed && b > 0 && v[b - 1] == '\\'; --b) closed = !closed;
            open = !closed;
            (void)k;
        }
    }
    std::vector<std::string> values;
    for (std::string v : raw) {
        if (!v.empty() && v.front() == '"') {
            std::string out;
            for (size_t k = 1; k + 1 < v.size(); ++k) {
                if (v[k] == '\\' && k + 2 < v.size()) {
                    char c = v[++k];
                    out += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
                } else {
                    out += v[k];
                }
            }
            v = out;
        } else if (!v.empty() && v.front() == '\'') {
            v = v.substr(1, v.size() - 2);
        }
        values.push_back(v);
    }
    return values;
}

class DbfFixture : public ::testing::TestWithParam<std::string> {};

} // namespace

TEST_P(DbfFixture, OpensWithTheListedSchemaAndCount)
{
    const std::string stem = GetParam();
    Expected expected = ReadSummary(Fixture("dbf/" + stem + "_summary.txt"));
    ASSERT_FALSE(expected.fields.empty());
    DbfTable dbf(Fixture("dbf/" + stem + ".dbf"), TableType::Default, true);
    const auto& raw = dbf.header().fields;
    ASSERT_EQ(raw.size(), expected.fields.size());
    for (size_t k = 0; k < raw.size(); ++k) {
        SCOPED_TRACE(expected.fields[k].name);
        EXPECT_EQ(dbf.codePage().decode(raw[k].name), expected.fields[k].name);
        EXPECT_EQ(raw[k].letter, expected.fields[k].letter);
        EXPECT_EQ(raw[k].length, expected.fields[k].length);
        // The listing gives no decimals for dBASE II tables; their descriptors do
        // (PAYRATE N(8,3) holds "   6.000"), and those are what count.
        if (dbf.header().flavor != DbfFlavor::DBase2)
            EXPECT_EQ(raw[k].decimals, expected.fields[k].decimals);
    }
    EXPECT_EQ(dbf.physicalCount(), expected.records);

    // Through the table object every row reads, memo fields included.
    Table table;
    table.setDatabaseName(Fixture("dbf"));
    table.setTableName(stem + ".dbf");
    table.setReadOnly(true);
    table.open();
    long long live = 0;
    for (std::int64_t r = 0; r < dbf.physicalCount(); ++r) live += dbf.isDeleted(r) ? 0 : 1;
    EXPECT_EQ(table.recordCount(), live);
    long long rows = 0;
    for (table.first(); !table.eof(); table.next(), ++rows)
        for (int f = 0; f < table.fieldCount(); ++f) table.asText(f);
    EXPECT_EQ(rows, live);
}

INSTANTIATE_TEST_SUITE_P(Versions, DbfFixture,
                         ::testing::Values("dbase_02", "dbase_03", "dbase_03_cyrillic", "dbase_30", "dbase_31",
                                           "dbase_32", "dbase_83", "dbase_8b", "cp1251"));

TEST(DbfFixtures, MemoTextsMatchTheRecordedValues)
{
    Table table;
    table.setTableName(Fixture("dbf/dbase_83.dbf"));
    table.setReadOnly(true);
    table.open();
    int desc = table.fieldByName("desc").number - 1;
    for (int record : {0, 9}) {
        auto values = ReadRecordYaml(Fixture("dbf/dbase_83_record_" + std::to_string(record) + ".yml"));
        ASSERT_GT(values.size(), static_cast<size_t>(desc));
        table.moveTo(record);
        EXPECT_EQ(table.asText(desc), values[static_cast<size_t>(desc)]) << "record " << record;
        EXPECT_EQ(table.asText(table.fieldByName("NAME").number - 1), values[6]);
    }
}

TEST(DbfFixtures, TextIsDecodedFromTheTablesCodePage)
{
    Table table;
    table.setTableName(Fixture("dbf/cp1251.dbf"));
    table.setReadOnly(true);
    table.open();
    table.first();
    EXPECT_EQ(table.asText(1), "амбулаторно-поликлиническое");
    Table utf8;
    utf8.setTableName(Fixture("dbf/dbase_03_cyrillic.dbf"));
    utf8.setReadOnly(true);
    utf8.open();
    EXPECT_EQ(utf8.field(0).name, "ШАР");
    utf8.first();
    EXPECT_EQ(utf8.asText(0), "Номер");
    EXPECT_EQ(utf8.asText(1), "36.3");
}

TEST(DbfFixtures, FoxProTypesDecode)
{
    Table table;
    table.setTableName(Fixture("dbf/dbase_31.dbf"));
    table.setReadOnly(true);
    table.open();
    EXPECT_EQ(table.field(0).type, ftAutoInc);
    EXPECT_EQ(table.fieldByName("UNITPRICE").type, ftCurrency);
    EXPECT_EQ(table.fieldCount(), 10);   // _NullFlags is the format's own
    table.first();
    EXPECT_EQ(table.asText(0), "1");
    EXPECT_EQ(table.asText(1), "Chai");
    EXPECT_DOUBLE_EQ(table.asFloat(5), 18.0);

    Table calls;
    calls.setTableName(Fixture("dbf/foxprodb/calls.dbf"));
    calls.setReadOnly(true);
    calls.open();
    EXPECT_EQ(calls.fieldByName("CALL_DATE").type, ftDateTime);
    calls.first();
    EXPECT_EQ(calls.asText(calls.fieldByName("CALL_DATE").number - 1).size(), 19u);
}

TEST(DbfFixtures, MissingMemoFileIsNamedWhenAMemoIsRead)
{
    Table table;
    table.setTableName(Fixture("dbf/dbase_83_missing_memo.dbf"));
    table.setReadOnly(true);
    table.open();   // the other fields stay reachable
    table.first();
    EXPECT_EQ(table.asText(1), "2");
    try {
        table.asText(table.fieldByName("DESC").number - 1);
        FAIL() << "a memo of a missing memo file was read";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("dbase_83_missing_memo.dbt is missing"), std::string::npos) << e.what();
    }
}

TEST(DbfFixtures, TablesWithoutFieldsAndDBase7HeadersOpen)
{
    Table polygon;
    polygon.setTableName(Fixture("dbf/polygon.dbf"));
    polygon.setReadOnly(true);
    polygon.open();
    EXPECT_EQ(polygon.fieldCount(), 0);
    Table seven;
    seven.setTableName(Fixture("dbf/dbase_8c.dbf"));
    seven.setReadOnly(true);
    seven.open();
    EXPECT_EQ(seven.field(0).name, "ID");
    EXPECT_EQ(seven.field(0).type, ftAutoInc);
    EXPECT_EQ(seven.field(1).name, "Name");
    seven.first();
    EXPECT_EQ(seven.asText(0), "1");
    EXPECT_EQ(seven.asText(1), "Clown Triggerfish");
}
