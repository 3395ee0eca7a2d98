// Creating, editing and re-reading dBASE and FoxPro tables through the table object.
#include <fstream>
#include <gtest/gtest.h>

#include "engine/daynum.h"
#include "engine/error.h"
#include "engine/table.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using tarnel::test::ScratchDir;

namespace {

struct Observer : DataSetObserver {
    int resets = 0, others = 0;
    void dataSetChanged(DataSet&, ChangeKind kind) override { (kind == ChangeKind::Reset ? resets : others)++; }
};

void MakeFeatureTable(Table& t, const std::string& folder, const std::string& name, TableType type = TableType::Default)
{
    t.setDatabaseName(folder);
    t.setTableName(name);
    t.setTableType(type);
    t.clearFieldDefs();
    t.addFieldDef("STATION", ftString, 12);
    t.addFieldDef("DEPTH", ftFloat, 0);
    t.addFieldDef("NOTE", ftMemo, 0);
    t.addFieldDef("SURVEYED", ftDate, 0);
    t.addFieldDef("FLAG", ftBoolean, 0);
    t.addFieldDef("PHOTO", ftGraphic, 0);
    t.createTable();
    t.open();
}

void AddRow(Table& t, const std::string& station, double depth, const std::string& note)
{
    t.append();
    t.setText(0, station);
    t.setValue(1, Value::real(depth));
    t.setText(2, note);
    t.setValue(3, Value::integer(DayNumber(2000, 7, 18)));
    t.setValue(4, Value::integer(1));
    t.post();
}

} // namespace

TEST(TableEditing, RowsWrittenReadBackAfterReopening)
{
    for (TableType type : {TableType::dBASE, TableType::FoxPro}) {
        SCOPED_TRACE(static_cast<int>(type));
        ScratchDir dir;
        Table t;
        MakeFeatureTable(t, dir.path(), "caves.dbf", type);
        EXPECT_EQ(t.recordCount(), 0);
        EXPECT_TRUE(t.eof());
        std::string longNote(3000, 'x');
        longNote += "\r\nend of a long note";
        AddRow(t, "A1", 12.5, "Pool with \"rimstone\", cold");
        AddRow(t, "Ö2", -3.25, longNote);
        t.append();
        t.setText(0, "B7");
        t.loadFromFile(5, TARNEL_TEST_DATA "/cave.bmp");
        t.post();
        EXPECT_EQ(t.recordCount(), 3);
        EXPECT_EQ(t.row(), 2);
        t.close();

        t.open();
        ASSERT_EQ(t.recordCount(), 3);
        t.first();
        EXPECT_EQ(t.asText(0), "A1");
        EXPECT_EQ(t.asText(1), "12.5");
        EXPECT_EQ(t.asText(2), "Pool with \"rimstone\", cold");
        EXPECT_EQ(t.asText(3), "2000-07-18");
        EXPECT_EQ(t.asText(4), "True");
        EXPECT_TRUE(t.isNull(5));
        t.next();
        EXPECT_EQ(t.asText(0), "Ö2");
        EXPECT_DOUBLE_EQ(t.asFloat(1), -3.25);
        EXPECT_EQ(t.asText(2), longNote);
        t.next();
        EXPECT_TRUE(t.isNull(1));
        EXPECT_TRUE(t.isNull(3));
        std::ifstream bmp(TARNEL_TEST_DATA "/cave.bmp", std::ios::binary);
        std::string expected((std::istreambuf_iterator<char>(bmp)), {});
        EXPECT_EQ(t.value(5).s, expected);
        t.saveToFile(5, dir.file("out.bmp"));
        std::ifstream out(dir.file("out.bmp"), std::ios::binary);
        EXPECT_EQ(std::string((std::istreambuf_iterator<char>(out)), {}), expected);
    }
}

TEST(TableEditing, EditDeleteAndCancelKeepCountsAndRows)
{
    ScratchDir dir;
    Observer views;   // outlives the table, whose closing still reports to it
    Table t;
    MakeFeatureTable(t, dir.path(), "caves.dbf");
    for (int k = 0; k < 5; ++k) AddRow(t, "S" + std::to_string(k), k, "note " + std::to_string(k));
    t.addObserver(&views);

    t.moveTo(1);
    t.edit();
    t.setText(0, "EDITED");
    t.setText(2, "a new, longer note that needs a fresh memo block");
    EXPECT_EQ(t.asText(0), "EDITED");   // the edit buffer shows
    t.post();
    t.moveTo(2);
    t.edit();
    t.setText(0, "DROPPED");
    t.cancel();
    EXPECT_EQ(t.asText(0), "S2");

    t.moveTo(3);
    t.deleteRecord();
    EXPECT_EQ(t.recordCount(), 4);
    EXPECT_EQ(t.row(), 3);
    EXPECT_EQ(t.asText(0), "S4");   // the row after the deleted one
    t.last();
    t.deleteRecord();
    EXPECT_EQ(t.recordCount(), 3);
    EXPECT_EQ(t.asText(0), "S2");   // deleting the last row moves back
    EXPECT_GE(views.resets, 2);

    // Moving off a changed row posts it.
    t.moveTo(0);
    t.edit();
    t.setText(0, "MOVED");
    t.next();
    t.close();
    t.open();
    std::vector<std::string> names;
    for (t.first(); !t.eof(); t.next()) names.push_back(t.asText(0));
    EXPECT_EQ(names, (std::vector<std::string>{"MOVED", "EDITED", "S2"}));
    t.moveTo(1);
    EXPECT_EQ(t.asText(2), "a new, longer note that needs a fresh memo block");
}

TEST(TableEditing, RandomAccessSkipsDeletedRows)
{
    ScratchDir dir;
    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("n.dbf");
    t.addFieldDef("N", ftInteger, 0);
    t.createTable();
    t.open();
    for (int k = 0; k < 10000; ++k) {
        t.append();
        t.setValue(0, Value::integer(k));
        t.post();
    }
    for (int k = 0; k < 10000; k += 7) {
        // delete physical record k: it is row k - (deleted before it)
        t.moveTo(k - k / 7);
        ASSERT_EQ(t.asText(0), std::to_string(k));
        t.deleteRecord();
    }
    EXPECT_EQ(t.recordCount(), 10000 - 1429);
    t.moveTo(5000);   // six survivors in every seven: 833 * 7 + 3
    EXPECT_EQ(t.asText(0), "5834");
    t.moveTo(0);
    EXPECT_EQ(t.asText(0), "1");
    std::int64_t seen = 0;
    for (t.first(); !t.eof(); t.next()) ++seen;
    EXPECT_EQ(seen, t.recordCount());
}

TEST(TableEditing, WritesAreRefusedWhereTheyMustBe)
{
    ScratchDir dir;
    Table t;
    MakeFeatureTable(t, dir.path(), "caves.dbf");
    AddRow(t, "A", 1, "n");
    EXPECT_THROW(t.setText(0, "x"), EngineError);   // not editing
    t.edit();
    EXPECT_THROW(t.setText(0, "THIRTEEN CHAR"), EngineError);   // longer than 12
    EXPECT_THROW(t.setText(1, "deep"), EngineError);
    EXPECT_THROW(t.setText(3, "2001-02-29"), EngineError);
    t.setValue(1, Value::real(1e30));
    EXPECT_THROW(t.post(), EngineError);   // does not fit N(20,4)
    t.cancel();
    EXPECT_THROW(t.setTableName("other.dbf"), EngineError);   // only while closed
    t.close();
    EXPECT_THROW(t.edit(), EngineError);
    EXPECT_THROW(t.value(0), EngineError);

    t.setReadOnly(true);
    t.open();
    EXPECT_THROW(t.edit(), EngineError);
    EXPECT_THROW(t.append(), EngineError);
    EXPECT_THROW(t.deleteRecord(), EngineError);
    EXPECT_EQ(t.recordCount(), 1);
}

TEST(TableEditing, TextOutsideTheCodePageIsRefusedNotMangled)
{
    ScratchDir dir;
    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("w.dbf");
    t.addFieldDef("NAME", ftString, 20);
    t.createTable(1252);
    t.open();
    t.append();
    EXPECT_THROW({ t.setText(0, "Пещера"); t.post(); }, EngineError);
    t.cancel();
    t.append();
    t.setText(0, "Grotte à l'Été");
    t.post();
    t.close();
    t.open();
    t.first();
    EXPECT_EQ(t.asText(0), "Grotte à l'Été");
    EXPECT_EQ(t.recordCount(), 1);
}

TEST(TableEditing, TwoWritersOfOneTableBothLand)
{
    ScratchDir dir;
    Table a, b;
    MakeFeatureTable(a, dir.path(), "shared.dbf");
    b.setDatabaseName(dir.path());
    b.setTableName("SHARED.DBF");   // found without regard to case
    b.open();
    AddRow(a, "FROM-A", 1, "a");
    AddRow(b, "FROM-B", 2, "b");
    AddRow(a, "FROM-A2", 3, "a2");
    a.close();
    a.open();
    std::vector<std::string> rows;
    for (a.first(); !a.eof(); a.next()) rows.push_back(a.asText(0) + "/" + a.asText(2));
    EXPECT_EQ(rows, (std::vector<std::string>{"FROM-A/a", "FROM-B/b", "FROM-A2/a2"}));
}

TEST(TableEditing, CreateReplacesAnOldTableAndDeleteRemovesIt)
{
    ScratchDir dir;
    Table t;
    MakeFeatureTable(t, dir.path(), "caves.dbf");
    AddRow(t, "A", 1, "n");
    t.close();
    t.clearFieldDefs();
    t.addFieldDef("ONLY", ftString, 5);
    t.createTable();
    t.open();
    EXPECT_EQ(t.fieldCount(), 1);
    EXPECT_EQ(t.recordCount(), 0);
    t.close();
    EXPECT_FALSE(std::filesystem::exists(dir.file("caves.dbt")));
    t.deleteTable();
    EXPECT_FALSE(std::filesystem::exists(dir.file("caves.dbf")));
    EXPECT_THROW(t.open(), EngineError);

    t.clearFieldDefs();
    t.addFieldDef("A", ftString, 5);
    t.addFieldDef("a", ftString, 5);
    EXPECT_THROW(t.createTable(), EngineError);   // duplicate names
    t.clearFieldDefs();
    t.addFieldDef("T", ftTime, 0);
    EXPECT_THROW(t.createTable(), EngineError);   // dBASE has no time type
}
