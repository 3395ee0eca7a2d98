// The create-table dialog driven as a user drives it: typing, clicking the
// lists and buttons, answering its boxes.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <gtest/gtest.h>

#include "controls/integer_spin.h"
#include "engine/table.h"
#include "tables/create_table_dlg.h"
#include "tables/field_types.h"
#include "tests/support/box_recorder.h"
#include "tests/tables/field_list_input.h"
#include "tests/workspace/workspace_test_support.h"

namespace tarnel::test {
namespace {

class CreateTableDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    }
    // Adds a field through the field controls: name, type row, size.
    void AddField(const QString& name, const char* type, int size = -1)
    {
        Type(dlg.FieldNameEdit, name);
        ClickRow(dlg.FieldTypesList, RowOfType(type));
        if (size >= 0) Type(dlg.FieldSizeSpin, QString::number(size));
        QTest::mouseClick(dlg.InsertBtn, Qt::LeftButton);
    }
    QStringList Names() const { return EntryNames(dlg.FieldList); }
    QStringList Warnings() const
    {
        QStringList texts;
        for (const ShownBox& box : boxes.boxes)
            if (box.kind == BoxKind::Warning) texts << box.text;
        return texts;
    }
    // Runs the dialog modally, fills what `fill` fills and presses OK.
    bool RunWithOk(TableReference& created, std::function<void()> fill = {})
    {
        dlg.hide();
        WhenShown(&dlg, [this, fill] {
            if (fill) fill();
            QTest::mouseClick(dlg.OKBtn, Qt::LeftButton);
        });
        return dlg.ExecuteCreateTableDlg(created);
    }

    BoxRecorder boxes;
    TCreateTableDlg dlg;
};

TEST_F(CreateTableDlgTest, FieldChecksWarnAndLeaveTheListAlone)
{
    EXPECT_EQ(dlg.FieldSizeSpin->Value(), 16);   // "String" at start
    AddField(QString(), "String");
    AddField("DEPTH", "Float");
    AddField("depth", "String");
    AddField("NOTE", "String", 255);
    AddField("LONG", "String", 256);
    ClickRow(dlg.FieldTypesList, RowOfType("Integer"));
    EXPECT_EQ(dlg.FieldSizeSpin->Value(), 0);
    AddField("COUNT", "Integer", 4);
    EXPECT_EQ(Warnings(), QStringList({"No Field Name Specified", "Field Name Already Used", "Invalid Field Size",
                                       "Invalid Field Size"}));
    EXPECT_EQ(Names(), QStringList({"DEPTH", "NOTE"}));
    EXPECT_EQ(GetFieldEntry(dlg.FieldList, 1).Size, 255);
    // The name stays for the next entry.
    EXPECT_EQ(dlg.FieldNameEdit->text(), "COUNT");
}

TEST_F(CreateTableDlgTest, MovesDeletesAndClears)
{
    AddField("A", "String");
    AddField("B", "String");
    AddField("C", "String");
    QTest::mouseClick(dlg.MoveUpBtn, Qt::LeftButton);   // nothing selected
    ClickRow(dlg.FieldList, 2);
    QTest::mouseClick(dlg.MoveDownBtn, Qt::LeftButton);   // already last
    EXPECT_EQ(Names(), QStringList({"A", "B", "C"}));
    QTest::mouseClick(dlg.MoveUpBtn, Qt::LeftButton);
    QTest::mouseClick(dlg.MoveUpBtn, Qt::LeftButton);
    QTest::mouseClick(dlg.MoveUpBtn, Qt::LeftButton);   // already first
    EXPECT_EQ(Names(), QStringList({"C", "A", "B"}));
    EXPECT_EQ(dlg.FieldList->currentRow(), 0);
    QTest::mouseClick(dlg.MoveDownBtn, Qt::LeftButton);
    EXPECT_EQ(Names(), QStringList({"A", "C", "B"}));
    QTest::mouseClick(dlg.DeleteBtn, Qt::LeftButton);
    EXPECT_EQ(Names(), QStringList({"A", "B"}));
    QTest::mouseClick(dlg.DeleteBtn, Qt::LeftButton);   // no selection left
    EXPECT_EQ(Names(), QStringList({"A", "B"}));
    QTest::mouseClick(dlg.ClearBtn, Qt::LeftButton);
    EXPECT_EQ(dlg.FieldList->count(), 0);
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(CreateTableDlgTest, MissingPathOrNameWarnsAndKeepsEverything)
{
    AddField("DEPTH", "Float");
    TableReference created;
    EXPECT_FALSE(RunWithOk(created));
    EXPECT_EQ(Warnings(), QStringList{"No Path/Alias Specified"});
    EXPECT_FALSE(RunWithOk(created, [this] { Type(dlg.PathEdit, "/nowhere"); }));
    EXPECT_EQ(Warnings().last(), "No Table Name Specified");
    EXPECT_EQ(dlg.PathEdit->text(), "/nowhere");
    EXPECT_EQ(Names(), QStringList{"DEPTH"});
}

TEST_F(CreateTableDlgTest, CreatesAndAsksBeforeReplacing)
{
    ScratchDir dir;
    AddField("STATION", "String", 20);
    AddField("DEPTH", "Float");
    const QString path = QString::fromStdString(dir.path());
    auto fill = [this, path] {
        Type(dlg.TableNameEdit, "survey.dbf");
        Type(dlg.PathEdit, path);
        ClickRow(dlg.FieldTypesList, 0);
    };
    TableReference created;
    ASSERT_TRUE(RunWithOk(created, fill));
    EXPECT_EQ(created, (TableReference{path, "survey.dbf", TableType::Default}));
    {
        Table table;
        table.setDatabaseName(dir.path());
        table.setTableName("survey.dbf");
        table.open();
        ASSERT_EQ(table.fields().size(), 2u);
        EXPECT_EQ(table.fields()[0].name, "STATION");
        table.append();
        table.setText(0, "A1");
        table.post();
    }
    // The same name again: No keeps the table and its row.
    AddField("EXTRA", "String");
    boxes.answer = false;
    EXPECT_FALSE(RunWithOk(created));
    ASSERT_FALSE(boxes.boxes.isEmpty());
    EXPECT_EQ(boxes.boxes.last().kind, BoxKind::Question);
    EXPECT_EQ(boxes.boxes.last().text, "Replace the existing table survey.dbf?");
    Table table;
    table.setDatabaseName(dir.path());
    table.setTableName("survey.dbf");
    table.open();
    EXPECT_EQ(table.recordCount(), 1);
    EXPECT_EQ(table.fields().size(), 2u);
    table.close();
    // Yes replaces it.
    boxes.answer = true;
    EXPECT_TRUE(RunWithOk(created));
    table.open();
    EXPECT_EQ(table.recordCount(), 0);
    EXPECT_EQ(table.fields().size(), 3u);
}

TEST_F(CreateTableDlgTest, UseExistingFieldsListsTheTablesFieldsAsDeclared)
{
    ScratchDir dir;
    {
        Table table;
        table.setDatabaseName(dir.path());
        table.setTableName("old.db");
        table.addFieldDef("NAME", ftString, 255);
        table.addFieldDef("NOTES", ftMemo, 10);
        table.createTable();
    }
    AddField("KEPT", "String");
    bool offered = false;
    dlg.ChooseTable = [&](QString& path, QString& name) {
        if (!offered) return offered = true, false;   // the first time the user cancels
        path = QString::fromStdString(dir.path());
        name = "old.db";
        return true;
    };
    QTest::mouseClick(dlg.UseExistingBtn, Qt::LeftButton);
    EXPECT_EQ(Names(), QStringList{"KEPT"});
    QTest::mouseClick(dlg.UseExistingBtn, Qt::LeftButton);
    ASSERT_EQ(Names(), QStringList({"NAME", "NOTES"}));
    EXPECT_EQ(GetFieldEntry(dlg.FieldList, 0).Size, 255);
    EXPECT_EQ(GetFieldEntry(dlg.FieldList, 1).DataType, ftMemo);
    // A table that will not open: the error box, the list as it was.
    dlg.ChooseTable = [&](QString& path, QString& name) {
        path = QString::fromStdString(dir.path());
        name = "missing.dbf";
        return true;
    };
    QTest::mouseClick(dlg.UseExistingBtn, Qt::LeftButton);
    EXPECT_EQ(boxes.errors().size(), 1);
    EXPECT_EQ(Names(), QStringList({"NAME", "NOTES"}));
}

TEST_F(CreateTableDlgTest, BrowseAndHelp)
{
    dlg.ChoosePathAlias = [](QString& pathOrAlias) {
        pathOrAlias = "SURVEYS";
        return true;
    };
    QTest::mouseClick(dlg.BrowseBtn, Qt::LeftButton);
    EXPECT_EQ(dlg.PathEdit->text(), "SURVEYS");
    int topic = 0;
    QObject::connect(&dlg, &TCreateTableDlg::helpRequested, [&topic](int t) { topic = t; });
    QTest::mouseClick(dlg.HelpBtn, Qt::LeftButton);
    EXPECT_EQ(topic, 2);
}

} // namespace
} // namespace tarnel::test
