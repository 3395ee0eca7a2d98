// The restructure dialog driven as a user drives it: editing the field list,
// answering the warning, committing, resetting.
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "controls/integer_spin.h"
#include "engine/fileio/file.h"
#include "engine/table.h"
#include "tables/table_edit_dlg.h"
#include "tests/support/box_recorder.h"
#include "tests/tables/field_list_input.h"
#include "tests/workspace/workspace_test_support.h"

namespace tarnel::test {
namespace {

constexpr int kRows = 6;

class TableEditDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Table t;
        t.setDatabaseName(data.path());
        t.setTableName("cave.dbf");
        t.addFieldDef("NAME", ftString, 12);
        t.addFieldDef("DEPTH", ftInteger, 0);
        t.addFieldDef("CLUB", ftString, 8);
        t.addFieldDef("LEN", ftFloat, 10, false, 2);
        t.createTable();
        t.open();
        for (int n = 0; n < kRows; ++n) {
            t.append();
            t.setText(0, "st" + std::to_string(n));
            t.setValue(1, Value::integer(n * 10));
            t.setText(2, "c" + std::to_string(n));
            t.setText(3, std::to_string(n) + ".25");
            t.post();
        }
        t.close();
        table.setDatabaseName(data.path());
        table.setTableName("cave.dbf");
        table.open();
        dlg.setTemporaryFolder(QString::fromStdString(temp.path()));
    }
    // Shows the dialog on the table, runs `whileOpen` in it, then closes it.
    void Run(std::function<void()> whileOpen)
    {
        WhenShown(&dlg, [this, whileOpen] {
            whileOpen();
            if (dlg.isVisible()) QTest::mouseClick(dlg.CancelBtn, Qt::LeftButton);
        });
        dlg.ExecuteTableEditDlg(table);
    }
    void AddField(const QString& name, const char* type, int size = -1)
    {
        Type(dlg.FieldNameEdit, name);
        ClickRow(dlg.FieldTypesList, RowOfType(type));
        if (size >= 0) Type(dlg.FieldSizeSpin, QString::number(size));
        QTest::mouseClick(dlg.InsertBtn, Qt::LeftButton);
    }
    void DeleteField(int row)
    {
        ClickRow(dlg.FieldList, row);
        QTest::mouseClick(dlg.DeleteBtn, Qt::LeftButton);
    }
    QStringList TableFields() const
    {
        QStringList names;
        for (const FieldDef& f : table.fields()) names << QString::fromStdString(f.name);
        return names;
    }
    std::string Text(std::int64_t row, const std::string& field)
    {
        table.moveTo(row);
        for (int f = 0; f < static_cast<int>(table.fields().size()); ++f)
            if (table.fields()[f].name == field) return table.asText(f);
        return "<no field " + field + ">";
    }

    ScratchDir data, temp;
    Table table;
    BoxRecorder boxes;
    TTableEditDlg dlg;
};

TEST_F(TableEditDlgTest, CommitAsksThenRebuildsWithTheEditedList)
{
    Run([this] {
        EXPECT_EQ(EntryNames(dlg.FieldList), QStringList({"NAME", "DEPTH", "CLUB", "LEN"}));
        DeleteField(2);                    // CLUB goes
        AddField("NOTE", "String", 20);    // a new field
        DeleteField(0);                    // NAME retyped: wider, other letter case
        AddField("name", "String", 30);
        ClickRow(dlg.FieldList, 3);
        QTest::mouseClick(dlg.MoveUpBtn, Qt::LeftButton);
        QTest::mouseClick(dlg.MoveUpBtn, Qt::LeftButton);
        QTest::mouseClick(dlg.MoveUpBtn, Qt::LeftButton);
        const QStringList edited = {"name", "DEPTH", "LEN", "NOTE"};
        ASSERT_EQ(EntryNames(dlg.FieldList), edited);

        // No: nothing happens, the edits stay.
        boxes.answer = false;
        QTest::mouseClick(dlg.CommitBtn, Qt::LeftButton);
        ASSERT_EQ(boxes.boxes.size(), 1);
        EXPECT_EQ(boxes.boxes[0].kind, BoxKind::Warning);
        EXPECT_TRUE(boxes.boxes[0].yesNo);
        EXPECT_EQ(boxes.boxes[0].text, "Restructuring the database may\r\ndamage the data with some database "
                                       "engines.\r\nBe sure to backup your data before you proceed.\r\nAre you "
                                       "sure you want to restructure?");
        EXPECT_EQ(TableFields(), QStringList({"NAME", "DEPTH", "CLUB", "LEN"}));
        EXPECT_EQ(EntryNames(dlg.FieldList), edited);

        boxes.answer = true;
        QTest::mouseClick(dlg.CommitBtn, Qt::LeftButton);
        EXPECT_TRUE(boxes.errors().isEmpty()) << boxes.errors().join("\n").toStdString();
        EXPECT_EQ(EntryNames(dlg.FieldList), edited);   // reloaded from the table
        EXPECT_EQ(GetFieldEntry(dlg.FieldList, 0).Size, 30);
        EXPECT_TRUE(dlg.isVisible());
    });
    ASSERT_TRUE(table.active());
    EXPECT_FALSE(table.readOnly());
    EXPECT_EQ(TableFields(), QStringList({"name", "DEPTH", "LEN", "NOTE"}));
    ASSERT_EQ(table.recordCount(), kRows);
    for (int n = 0; n < kRows; ++n) {
        EXPECT_EQ(Text(n, "name"), "st" + std::to_string(n));
        EXPECT_EQ(Text(n, "DEPTH"), std::to_string(n * 10));
        EXPECT_EQ(Text(n, "NOTE"), "");
    }
    // A field the list left as it was keeps its declared width and decimals.
    EXPECT_EQ(table.fields()[2].size, 10);
    EXPECT_EQ(table.fields()[2].decimals, 2);
    EXPECT_EQ(std::stod(Text(3, "LEN")), 3.25);
    EXPECT_TRUE(FolderEntries(temp.path()).empty());
}

TEST_F(TableEditDlgTest, AFailedRefillShowsTheOldTableAndResetUndoesEdits)
{
    int topic = 0;
    QObject::connect(&dlg, &TTableEditDlg::helpRequested, [&topic](int t) { topic = t; });
    Run([this] {
        DeleteField(0);
        AddField("NAME", "Integer");   // "st0" is no number
        QTest::mouseClick(dlg.CommitBtn, Qt::LeftButton);
        ASSERT_EQ(boxes.errors().size(), 1);
        EXPECT_TRUE(boxes.errors()[0].contains("put back")) << boxes.errors()[0].toStdString();
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(EntryNames(dlg.FieldList), QStringList({"NAME", "DEPTH", "CLUB", "LEN"}));

        DeleteField(1);
        AddField("EXTRA", "Memo");
        QTest::mouseClick(dlg.ResetBtn, Qt::LeftButton);
        EXPECT_EQ(EntryNames(dlg.FieldList), QStringList({"NAME", "DEPTH", "CLUB", "LEN"}));
        QTest::mouseClick(dlg.HelpBtn, Qt::LeftButton);
        // Escape closes, like "Close".
        QTest::keyClick(&dlg, Qt::Key_Escape);
        EXPECT_FALSE(dlg.isVisible());
    });
    EXPECT_EQ(topic, 4);
    ASSERT_TRUE(table.active());
    EXPECT_EQ(TableFields(), QStringList({"NAME", "DEPTH", "CLUB", "LEN"}));
    ASSERT_EQ(table.recordCount(), kRows);
    EXPECT_EQ(Text(5, "NAME"), "st5");
    EXPECT_TRUE(FolderEntries(temp.path()).empty());
}

} // namespace
} // namespace tarnel::test
