#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <gtest/gtest.h>

#include "engine/table.h"
#include "query/do_query_page.h"
#include "query/field_lists.h"
#include "tests/support/box_recorder.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using namespace tarnel::query;
using tarnel::test::BoxRecorder;

namespace {

std::vector<FieldDef> FeatureFields()
{
    return {{"STATION", ftString, 12, 1}, {"DEPTH", ftFloat, 0, 2}, {"NOTE", ftMemo, 0, 3},
            {"FLAG", ftBoolean, 0, 4},    {"SURVEYED", ftDate, 0, 5}, {"ID", ftAutoInc, 0, 6}};
}

struct CaveControls {
    bool station, number;
};

CaveControls Enabled(const TDoQueryPage& page)
{
    const bool station = page.StationEdit->isEnabled();
    const bool number = page.NumberEdit->isEnabled();
    // Each label, button and box of a group goes together.
    EXPECT_EQ(page.StationLabel->isEnabled(), station);
    EXPECT_EQ(page.StationBtn->isEnabled(), station);
    EXPECT_EQ(page.SecondLabel->isEnabled(), station);
    EXPECT_EQ(page.SecondBtn->isEnabled(), station);
    EXPECT_EQ(page.SecondEdit->isEnabled(), station);
    EXPECT_EQ(page.NumberLabel->isEnabled(), number);
    EXPECT_EQ(page.NumberBtn->isEnabled(), number);
    return {station, number};
}

void Select(QListWidget* list, int row) { list->setCurrentRow(row); }

} // namespace

TEST(DoQueryPage, StartsEmptyWithExportControlsDisabled)
{
    TDoQueryPage page;
    EXPECT_EQ(page.FieldList2->count(), 0);
    EXPECT_FALSE(page.UseResultBtn->isEnabled());
    EXPECT_FALSE(page.FeatureNameEdit->isEnabled());
    EXPECT_FALSE(page.query().active());
    EXPECT_EQ(page.displayMethod(), 0);
    CaveControls c = Enabled(page);
    EXPECT_FALSE(c.station);
    EXPECT_FALSE(c.number);
}

TEST(DoQueryPage, FillingShowsTheFirstFieldAtOnce)
{
    TDoQueryPage page;
    page.FillFieldLists(FeatureFields());
    ASSERT_EQ(page.FieldList2->count(), 6);
    EXPECT_EQ(page.FieldList2->item(4)->text(), "SURVEYED");
    EXPECT_EQ(page.FieldList2->currentRow(), 0);
    EXPECT_EQ(page.FieldTypeDis2->text(), "String");
}

TEST(DoQueryPage, BothFieldListsFollowTheTableOrder)
{
    QListWidget fieldList1, fieldList2;
    fieldList1.addItem("old");
    FillFieldListBoxes(&fieldList1, &fieldList2, FeatureFields());
    ASSERT_EQ(fieldList1.count(), 6);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(fieldList1.item(k)->text(), fieldList2.item(k)->text());
    EXPECT_EQ(SelectedRow(&fieldList1), 0);
    EXPECT_EQ(SelectedRow(&fieldList2), 0);
    FillFieldListBoxes(&fieldList1, &fieldList2, {});
    EXPECT_EQ(fieldList1.count(), 0);
    EXPECT_EQ(SelectedRow(&fieldList2), -1);
}

TEST(DoQueryPage, FieldTypeDecidesWhichCaveFieldsCanBeChosen)
{
    TDoQueryPage page;
    page.FillFieldLists(FeatureFields());

    struct Case { int row; const char* type; bool station, number; };
    for (Case k : {Case{0, "String", true, false}, Case{1, "Float", false, true},
                   Case{2, "Memo", false, false}, Case{3, "Boolean", false, false},
                   Case{4, "Date", false, true}, Case{5, "", false, false}}) {
        Select(page.FieldList2, k.row);
        EXPECT_EQ(page.FieldTypeDis2->text(), k.type) << k.row;
        CaveControls c = Enabled(page);
        EXPECT_EQ(c.station, k.station) << k.row;
        EXPECT_EQ(c.number, k.number) << k.row;
    }
    page.FieldList2->clearSelection();
    EXPECT_EQ(page.FieldTypeDis2->text(), "");
    EXPECT_FALSE(Enabled(page).station);
}

TEST(DoQueryPage, TableWithoutFields)
{
    TDoQueryPage page;
    page.FillFieldLists(FeatureFields());
    page.FillFieldLists(std::vector<FieldDef>{});
    EXPECT_EQ(page.FieldList2->count(), 0);
    EXPECT_EQ(page.FieldTypeDis2->text(), "");
    CaveControls c = Enabled(page);
    EXPECT_FALSE(c.station || c.number);
}

TEST(DoQueryPage, ClosingTheTableLeavesTheTypeLabelAlone)
{
    TDoQueryPage page;
    page.FillFieldLists(FeatureFields());
    Select(page.FieldList2, 1);
    page.ClearFieldList();
    EXPECT_EQ(page.FieldList2->count(), 0);
    EXPECT_EQ(page.FieldTypeDis2->text(), "Float");
    EXPECT_TRUE(Enabled(page).number);
    // The copy buttons find nothing to copy.
    page.NumberEdit->setText("DEPTH");
    page.NumberBtnClick();
    EXPECT_EQ(page.NumberEdit->text(), "DEPTH");
}

TEST(DoQueryPage, CopyButtonsAndClearFields)
{
    TDoQueryPage page;
    page.show();
    page.FillFieldLists(FeatureFields());
    QTest::mouseClick(page.StationBtn, Qt::LeftButton);
    Select(page.FieldList2, 1);
    QTest::mouseClick(page.NumberBtn, Qt::LeftButton);
    page.SecondBtnClick();   // disabled for a Float, but the handler itself copies
    EXPECT_EQ(page.StationEdit->text(), "STATION");
    EXPECT_EQ(page.NumberEdit->text(), "DEPTH");
    EXPECT_EQ(page.SecondEdit->text(), "DEPTH");

    // Without a selection the boxes keep their text.
    page.FieldList2->clearSelection();
    page.StationBtnClick();
    EXPECT_EQ(page.StationEdit->text(), "STATION");

    QTest::mouseClick(page.ClearFieldBtn, Qt::LeftButton);
    EXPECT_EQ(page.StationEdit->text(), "");
    EXPECT_EQ(page.SecondEdit->text(), "");
    EXPECT_EQ(page.NumberEdit->text(), "");
}

TEST(DoQueryPage, FailedQueryStillEnablesExportAndKeepsTheCount)
{
    TDoQueryPage page;
    BoxRecorder boxes;
    const auto shown = [&] { return boxes.errors().join("\n"); };
    page.setCurrentTable("/nonexistent/folder/for/tarnel", "historic.dbf");
    page.DisHitCount->setText("12");
    page.StationEdit->setText("STATION");
    page.NumberEdit->setText("DEPTH");
    page.FillFieldLists(FeatureFields());   // the boxes are disabled for the first field but still read

    QTest::mouseClick(page.DoQueryBtn, Qt::LeftButton);
    EXPECT_FALSE(shown().isEmpty());
    EXPECT_TRUE(shown().contains("/nonexistent/folder/for/tarnel")) << shown().toStdString();
    EXPECT_TRUE(page.UseResultBtn->isEnabled());
    EXPECT_TRUE(page.UseAsRadio->isEnabled());
    EXPECT_TRUE(page.FeatureNameEdit->isEnabled());
    EXPECT_EQ(page.DisHitCount->text(), "12");
    EXPECT_FALSE(page.query().active());
    EXPECT_EQ(page.stationFieldName(), "STATION");
    EXPECT_EQ(page.numberFieldName(), "DEPTH");
    EXPECT_EQ(page.secondFieldName(), "");
    EXPECT_FALSE(QApplication::overrideCursor());

    // Later edits of the boxes do not change what the export reads.
    page.StationEdit->setText("OTHER");
    EXPECT_EQ(page.stationFieldName(), "STATION");
}

namespace {

// caves.dbf with STATION C(8), DEPTH N(8,1): n rows, DEPTH = row number.
void MakeCaves(const std::string& folder, const std::string& fileName, int n)
{
    CreateTableFiles(folder + "/" + fileName, {{"STATION", ftString, 8, 1}, {"DEPTH", ftFloat, 8, 2, 1}}, {});
    Table t;
    t.setDatabaseName(folder);
    t.setTableName(fileName);
    t.open();
    for (int k = 0; k < n; ++k) {
        t.append();
        t.setValue(0, Value::text("S" + std::to_string(k)));
        t.setValue(1, Value::real(k));
        t.post();
    }
    t.close();
}

} // namespace

TEST(DoQueryPage, DoQueryShowsTheHitsAndTheirColumns)
{
    tarnel::test::ScratchDir dir;
    MakeCaves(dir.path(), "a.b.dbf", 25);
    Table table;
    table.setDatabaseName(dir.path());
    table.setTableName("a.b.dbf");
    table.open();

    TDoQueryPage page;
    QString condition = "(DEPTH  > 10)";
    BoxRecorder boxes;
    const auto shown = [&] { return boxes.errors().join("\n"); };
    page.setConditionSource([&] { return condition; });
    page.setCurrentTable(QString::fromStdString(dir.path()), "a.b.dbf");
    page.FillFieldLists(table);
    page.SetExportControlsEnabled(false);
    page.StationEdit->setText("STATION");
    page.NumberEdit->setText("DEPTH");

    QTest::mouseClick(page.DoQueryBtn, Qt::LeftButton);
    ASSERT_TRUE(shown().isEmpty()) << shown().toStdString();
    EXPECT_EQ(page.query().sqlText(),
              R"(Select "a.b"."STATION","a.b"."DEPTH" From "a.b" Where (DEPTH  > 10))");
    EXPECT_EQ(page.DisHitCount->text(), "14");
    EXPECT_TRUE(page.UseResultBtn->isEnabled());
    auto* grid = page.DBGrid2->model();
    ASSERT_EQ(grid->rowCount(), 14);
    ASSERT_EQ(grid->columnCount(), 2);
    EXPECT_EQ(grid->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "DEPTH");
    EXPECT_EQ(grid->data(grid->index(13, 0), Qt::DisplayRole).toString(), "S24");
    EXPECT_EQ(grid->data(grid->index(0, 1), Qt::DisplayRole).toString(), "11");

    // Again with the same inputs: the same count, a fresh result.
    QTest::mouseClick(page.DoQueryBtn, Qt::LeftButton);
    EXPECT_EQ(page.DisHitCount->text(), "14");

    // Without cave fields and condition, everything.
    page.ClearFieldBtnClick();
    condition.clear();
    page.DoQueryBtnClick();
    EXPECT_EQ(page.query().sqlText(), R"(Select * From "a.b")");
    EXPECT_EQ(page.DisHitCount->text(), "25");
    EXPECT_EQ(page.stationFieldName(), "");

    // A failing condition discards the result but keeps the count.
    condition = " OR (DEPTH  > 10)";
    QTest::mouseClick(page.DoQueryBtn, Qt::LeftButton);
    EXPECT_TRUE(shown().contains("syntax error")) << shown().toStdString();
    EXPECT_FALSE(page.query().active());
    EXPECT_EQ(grid->rowCount(), 0);
    EXPECT_EQ(page.DisHitCount->text(), "25");

    page.ResetSession();
    EXPECT_EQ(page.FieldList2->count(), 0);
    EXPECT_EQ(page.NumberEdit->text(), "");
}

TEST(DoQueryPage, AReadErrorAfterTheFirstHitsClosesTheQueryAndShowsNoCount)
{
    tarnel::test::ScratchDir dir;
    CreateTableFiles(dir.file("caves.dbf"), {{"STATION", ftString, 8, 1}, {"NOTE", ftMemo, 0, 2}}, {});
    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("caves.dbf");
    t.open();
    for (int k = 0; k < 4; ++k) {
        t.append();
        t.setValue(0, Value::text("S" + std::to_string(k)));
        t.setValue(1, Value::text("note " + std::to_string(k)));
        t.post();
    }
    t.close();
    std::filesystem::resize_file(dir.file("caves.dbt"), 512 * 3);   // the last memos are cut off

    TDoQueryPage page;
    tarnel::test::BoxRecorder boxes;
    page.setCurrentTable(QString::fromStdString(dir.path()), "caves.dbf");
    page.DisHitCount->setText("");
    QTest::mouseClick(page.DoQueryBtn, Qt::LeftButton);
    const QStringList shown = boxes.errors();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown.first().contains("memo")) << shown.first().toStdString();
    EXPECT_FALSE(page.query().active());
    EXPECT_EQ(page.DisHitCount->text(), "");
    EXPECT_EQ(page.DBGrid2->model()->rowCount(), 0);
}
