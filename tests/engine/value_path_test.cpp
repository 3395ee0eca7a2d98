// Every way of reading a value gives the same answer: the text, the Value and
// the number of a field, by cursor and by row number, in tables and query
// results; and values converted on the way into a table keep their meaning.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "engine/error.h"
#include "engine/number_format.h"
#include "engine/sql/query.h"
#include "engine/table.h"
#include "engine/value_convert.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using tarnel::test::Fixture;
using tarnel::test::ScratchDir;

namespace {

// What one read gives: its result, or the error it threw.
template <class Read>
std::string Outcome(Read read)
{
    try {
        return read();
    } catch (const EngineError& e) {
        return std::string("error: ") + e.what();
    }
}

std::string Describe(const Value& v)
{
    switch (v.kind) {
    case Value::Kind::Null: return "null";
    case Value::Kind::Int: return "int " + std::to_string(v.i);
    case Value::Kind::Float: return "float " + FormatGeneral(v.f);
    case Value::Kind::Text: return "text " + v.s;
    case Value::Kind::Bytes: return "bytes " + std::to_string(v.s.size());
    }
    return {};
}

struct FieldSpec {
    const char* name;
    TFieldType type;
    int size;
};

// Creates a dBASE table of the given fields in the folder and opens it.
void CreateAndOpen(Table& t, const ScratchDir& dir, const char* name, std::initializer_list<FieldSpec> fields)
{
    t.setDatabaseName(dir.path());
    t.setTableName(name);
    for (const FieldSpec& f : fields) t.addFieldDef(f.name, f.type, f.size);
    t.createTable();
    t.open();
}

} // namespace

TEST(ValuePath, EveryFixtureReadsAlikeThroughTextValueNumberAndRowNumber)
{
    std::int64_t cells = 0;
    int tables = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(Fixture(""))) {
        std::string ext = entry.path().extension().string();
        for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext != ".dbf" && ext != ".db") continue;
        Table t;
        t.setTableName(entry.path().string());
        t.setReadOnly(true);
        try {
            t.open();
        } catch (const EngineError&) {
            continue;   // damaged on purpose; the format tests cover those
        }
        ++tables;
        const std::string name = entry.path().filename().string();
        for (t.first(); !t.eof(); t.next()) {
            const std::int64_t row = t.row();
            for (int f = 0; f < t.fieldCount(); ++f) {
                SCOPED_TRACE(name + " row " + std::to_string(row + 1) + " field " + t.field(f).name);
                const std::string text = Outcome([&] { return t.asText(f); });
                const std::string fromValue = Outcome([&] { return FormatValueText(t.field(f), t.value(f)); });
                const std::string atRow = Outcome([&] {
                    std::string out;
                    t.appendTextAt(row, f, out);
                    return out;
                });
                EXPECT_EQ(text, fromValue);
                EXPECT_EQ(text, atRow);
                EXPECT_EQ(Outcome([&] { return Describe(t.value(f)); }),
                          Outcome([&] { return Describe(t.valueAt(row, f)); }));
                EXPECT_EQ(Outcome([&] { return std::to_string(t.isNull(f)); }),
                          Outcome([&] { return std::to_string(t.isNullAt(row, f)); }));
                const FieldDef& def = t.field(f);
                if ((IsIntegerType(def.type) || IsFloatType(def.type)) && def.type != ftBoolean &&
                    text.rfind("error: ", 0) != 0 && !text.empty()) {
                    double fromText = 0;
                    ASSERT_TRUE(ParseNumber(text, fromText)) << text;
                    EXPECT_DOUBLE_EQ(t.asFloat(f), fromText) << text;
                }
                ++cells;
            }
        }
        EXPECT_EQ(t.row(), t.recordCount());
    }
    EXPECT_GE(tables, 20);
    EXPECT_GT(cells, 1000);
}

TEST(ValuePath, StoredNumeralIsTheTruthInAWholeNumberField)
{
    ScratchDir dir;
    {
        Table t;
        CreateAndOpen(t, dir, "n.dbf", {{"DEPTH", ftInteger, 5}, {"BIG", ftInteger, 20}});
        t.append();
        t.setValue(0, Value::integer(1));
        t.setValue(1, Value::integer(1));
        t.post();
    }
    // Another program wrote a fraction and a number past 64 bits.
    {
        std::fstream f(dir.file("n.dbf"), std::ios::in | std::ios::out | std::ios::binary);
        char head[12];
        f.read(head, sizeof head);
        const int headerLength = static_cast<unsigned char>(head[8]) | (static_cast<unsigned char>(head[9]) << 8);
        f.seekp(headerLength + 1);
        f.write("  1.5", 5);
        f.write("12345678901234567890", 20);
    }
    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("n.dbf");
    t.open();
    ASSERT_EQ(t.field(0).type, ftInteger);
    EXPECT_EQ(t.value(0), Value::real(1.5));
    EXPECT_EQ(t.asText(0), "1.5");
    EXPECT_DOUBLE_EQ(t.asFloat(0), 1.5);
    EXPECT_EQ(t.value(1), Value::real(12345678901234567890.0));
    EXPECT_EQ(t.asText(1), FormatGeneral(12345678901234567890.0));
    t.close();

    auto r = QueryResult::Run(dir.path(), R"(Select DEPTH From "n" Where DEPTH > 1.2)");
    ASSERT_EQ(r->recordCount(), 1);
    EXPECT_EQ(r->asText(0), "1.5");
    EXPECT_EQ(r->valueAt(0, 0), Value::real(1.5));
}

TEST(ValuePath, ValuesConvertByTypeBetweenFields)
{
    auto field = [](TFieldType type) {
        FieldDef f;
        f.name = "TARGET";
        f.type = type;
        return f;
    };
    const std::int64_t day = 45356;   // 2024-03-05
    // Into text: by the type the value came from.
    EXPECT_EQ(ConvertValue(field(ftString), Value::integer(day), ftDate), Value::text("2024-03-05"));
    EXPECT_EQ(ConvertValue(field(ftString), Value::integer(1), ftBoolean), Value::text("True"));
    EXPECT_EQ(ConvertValue(field(ftString), Value::real(2.5)), Value::text("2.5"));
    EXPECT_EQ(ConvertValue(field(ftString), Value::integer(day)), Value::text("45356"));
    // From text: parsed for the target's type.
    EXPECT_EQ(ConvertValue(field(ftInteger), Value::text(" 42 ")), Value::integer(42));
    EXPECT_EQ(ConvertValue(field(ftFloat), Value::text("2.5"), ftString), Value::real(2.5));
    EXPECT_EQ(ConvertValue(field(ftDate), Value::text("2024-03-05")), Value::integer(day));
    EXPECT_EQ(ConvertValue(field(ftBoolean), Value::text("no")), Value::integer(0));
    EXPECT_EQ(ConvertValue(field(ftInteger), Value::text("  ")), Value::null());
    // Between numbers, dates and logicals.
    EXPECT_EQ(ConvertValue(field(ftDateTime), Value::integer(day), ftDate), Value::real(day));
    EXPECT_EQ(ConvertValue(field(ftDate), Value::real(day + 0.75), ftDateTime), Value::integer(day));
    EXPECT_EQ(ConvertValue(field(ftTime), Value::real(day + 0.25), ftDateTime), Value::real(0.25));
    EXPECT_EQ(ConvertValue(field(ftBoolean), Value::real(-3)), Value::integer(1));
    EXPECT_EQ(ConvertValue(field(ftSmallint), Value::real(12.0)), Value::integer(12));

    // What does not fit is an error naming the field, never a cut value.
    for (auto [type, value] : {std::pair{ftSmallint, Value::integer(70000)},
                               std::pair{ftWord, Value::integer(-1)},
                               std::pair{ftInteger, Value::real(1.5)},
                               std::pair{ftInteger, Value::real(1e30)},
                               std::pair{ftInteger, Value::text("abc")},
                               std::pair{ftDate, Value::text("2024-13-01")},
                               std::pair{ftFloat, Value::bytes("\x01")}}) {
        try {
            ConvertValue(field(type), value);
            ADD_FAILURE() << "accepted " << Describe(value) << " for " << EngineTypeName(type);
        } catch (const EngineError& e) {
            EXPECT_NE(std::string(e.what()).find("TARGET"), std::string::npos) << e.what();
        }
    }
}

TEST(ValuePath, TableSetValueConvertsFromTheSourceFieldsType)
{
    ScratchDir dir;
    Table t;
    CreateAndOpen(t, dir, "c.dbf", {{"NOTE", ftString, 12}, {"COUNT", ftInteger, 4}});
    t.append();
    t.setValue(0, Value::integer(45356), ftDate);
    t.setValue(1, Value::text("17"), ftString);
    t.post();
    EXPECT_EQ(t.asText(0), "2024-03-05");
    EXPECT_EQ(t.value(1), Value::integer(17));
    t.edit();
    t.setValue(1, Value::integer(123456));
    EXPECT_THROW(t.post(), EngineError);   // N(4,0) holds four digits
    t.cancel();
    EXPECT_EQ(t.value(1), Value::integer(17));
}

TEST(ValuePath, RowsReadByNumberLeaveTheCursorAndShowTheEditBuffer)
{
    ScratchDir dir;
    Table t;
    CreateAndOpen(t, dir, "r.dbf", {{"NAME", ftString, 10}});
    for (const char* name : {"one", "two", "three"}) {
        t.append();
        t.setText(0, name);
        t.post();
    }
    t.moveTo(1);
    t.edit();
    t.setText(0, "TWO");
    std::string out;
    t.appendTextAt(2, 0, out);
    EXPECT_EQ(out, "three");
    EXPECT_EQ(t.valueAt(1, 0), Value::text("TWO"));
    EXPECT_EQ(t.valueAt(0, 0), Value::text("one"));
    EXPECT_THROW(t.valueAt(3, 0), EngineError);
    EXPECT_EQ(t.state(), DataSetState::Edit);   // nothing was posted
    EXPECT_EQ(t.row(), 1);
    t.cancel();
    t.insert();
    t.setText(0, "four");
    EXPECT_EQ(t.valueAt(3, 0), Value::text("four"));   // shown after the last row
    t.cancel();

    auto r = QueryResult::Run(dir.path(), R"(Select NAME, 7 As N From "r")");
    EXPECT_EQ(r->valueAt(2, 0), Value::text("three"));   // fetched ahead of the cursor
    EXPECT_EQ(r->valueAt(1, 1), Value::integer(7));
    EXPECT_EQ(r->row(), 0);
    EXPECT_EQ(r->asText(0), "one");
    EXPECT_THROW(r->valueAt(3, 0), EngineError);
}
