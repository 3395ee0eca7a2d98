// Paradox and ASCII tables through the table object, as the windows use them.
#include <gtest/gtest.h>

#include "engine/daynum.h"
#include "engine/error.h"
#include "engine/table.h"
#include "tests/engine/format_test_util.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using namespace tarnel::test;

namespace {

void AddRow(Table& t, const std::string& station, double depth, bool flag)
{
    t.append();
    t.setText(0, station);
    t.setValue(1, Value::real(depth));
    t.setValue(2, Value::integer(DayNumber(2000, 7, 18)));
    t.setValue(3, Value::integer(flag ? 1 : 0));
    t.post();
}

void MakeTable(Table& t, const std::string& folder, const std::string& name, bool blobs)
{
    t.setDatabaseName(folder);
    t.setTableName(name);
    t.clearFieldDefs();
    t.addFieldDef("STATION", ftString, 12);
    t.addFieldDef("DEPTH", ftFloat, 0);
    t.addFieldDef("SURVEYED", ftDate, 0);
    t.addFieldDef("FLAG", ftBoolean, 0);
    if (blobs) {
        t.addFieldDef("NOTE", ftMemo, 0);
        t.addFieldDef("PHOTO", ftGraphic, 0);
    }
    t.createTable();
    t.open();
}

} // namespace

TEST(ParadoxAsciiTables, RowsEditedThroughTheTableReadBack)
{
    for (const char* name : {"caves.db", "caves.txt"}) {
        SCOPED_TRACE(name);
        ScratchDir dir;
        bool paradox = std::string(name).ends_with(".db");
        Table t;
        MakeTable(t, dir.path(), name, paradox);
        AddRow(t, "A1", 12.5, true);
        AddRow(t, "A2", -3, false);
        AddRow(t, "B7", 40.25, true);
        EXPECT_EQ(t.recordCount(), 3);
        t.moveTo(1);
        t.edit();
        t.setText(0, "A2bis");
        t.post();
        t.moveTo(0);
        t.deleteRecord();
        EXPECT_EQ(t.recordCount(), 2);
        t.close();

        Table again;
        again.setDatabaseName(dir.path());
        again.setTableName(name);
        again.setReadOnly(true);
        again.open();
        EXPECT_EQ(again.formatType(), paradox ? TableType::Paradox : TableType::ASCII);
        ASSERT_EQ(again.recordCount(), 2);
        again.first();
        EXPECT_EQ(again.asText(0), "A2bis");
        EXPECT_EQ(again.asFloat(1), -3);
        EXPECT_EQ(again.asText(2), "2000-07-18");
        EXPECT_EQ(again.asText(3), "False");
        again.next();
        EXPECT_EQ(again.asText(0), "B7");
        again.next();
        EXPECT_TRUE(again.eof());
    }
}

TEST(ParadoxAsciiTables, MemoAndGraphicFieldsLoadAndSaveFiles)
{
    ScratchDir dir;
    Table t;
    MakeTable(t, dir.path(), "photos.db", true);
    AddRow(t, "P1", 1, true);
    t.edit();
    t.setText(4, std::string(5000, 'n') + " end");
    t.loadFromFile(5, TestData("cave.bmp"));
    t.post();
    t.saveToFile(5, dir.file("out.bmp"));
    EXPECT_EQ(ReadFile(dir.file("out.bmp")), ReadFile(TestData("cave.bmp")));
    t.close();
    t.open();
    t.first();
    EXPECT_EQ(t.asText(4).size(), 5004u);
    EXPECT_EQ(t.value(5).s, ReadFile(TestData("cave.bmp")));
}

TEST(ParadoxAsciiTables, KeyedTableShowsANewRowAtItsKeysPlace)
{
    ScratchDir dir;
    std::string path = dir.file("keyed.db");
    CreateTableFiles(path, {Def("K", ftInteger), Def("NAME", ftString, 10)}, {});
    {
        auto f = OpenTableFormat(path, TableType::Paradox, false);
        for (int k : {10, 20, 30}) f->appendRecord({Value::integer(k), Value::text("n" + std::to_string(k))});
    }
    Patch(path, 4, std::string(1, '\0'));   // keyed on its first field
    PatchU16(path, 0x23, 1);
    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("keyed.db");
    t.open();
    EXPECT_EQ(t.primaryKey(), std::vector<int>{0});
    t.append();
    t.setValue(0, Value::integer(15));
    t.setText(1, "new");
    t.post();
    EXPECT_EQ(t.row(), 1);   // between 10 and 20
    EXPECT_EQ(t.asText(1), "new");
    t.last();
    EXPECT_EQ(t.asText(0), "30");
    EXPECT_TRUE(std::filesystem::exists(dir.file("keyed.px")));

    // A changed key moves the record; the cursor goes with it.
    t.first();
    t.edit();
    t.setValue(0, Value::integer(25));
    t.post();
    EXPECT_EQ(t.row(), 2);   // 15, 20, 25, 30
    EXPECT_EQ(t.asText(0), "25");
    EXPECT_EQ(t.asText(1), "n10");
}
