// The copy dialog driven by its boxes and buttons.
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include "controls/radio_group.h"
#include "engine/table.h"
#include "tests/support/box_recorder.h"
#include "tests/workspace/workspace_test_support.h"
#include "workspace/copy_db_dlg.h"

namespace tarnel::test {
namespace {

void MakeTable(const std::string& folder, const std::string& name, int rows)
{
    Table table;
    table.setDatabaseName(folder);
    table.setTableName(name);
    table.addFieldDef("STATION", ftString, 10);
    table.addFieldDef("DEPTH", ftFloat, 0);
    table.createTable();
    table.open();
    for (int i = 0; i < rows; ++i) {
        table.append();
        table.setText(0, "S" + std::to_string(i));
        table.setText(1, std::to_string(i * 1.5));
        table.post();
    }
}

std::int64_t RowsOf(const std::string& folder, const std::string& name)
{
    Table table;
    table.setDatabaseName(folder);
    table.setTableName(name);
    table.open();
    return table.recordCount();
}

class CopyDBDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeTable(dir.path(), "source.dbf", 3);
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        QTest::keyClicks(dlg.SourceTableEdit, "source.dbf");
        QTest::keyClicks(dlg.SourcePathEdit, QString::fromStdString(dir.path()));
        QTest::keyClicks(dlg.DestPathEdit, QString::fromStdString(dir.path()));
    }
    void ChooseMode(int index)
    {
        QRadioButton* item = dlg.CopyModeRadio->item(index);
        QTest::mouseClick(item, Qt::LeftButton, {}, QPoint(6, item->height() / 2));
    }

    ScratchDir dir;
    BoxRecorder boxes;
    TCopyDBDlg dlg;
};

TEST_F(CopyDBDlgTest, CopyMakesTheDestinationAndAppendAddsTheRowsAgain)
{
    EXPECT_EQ(dlg.CopyModeRadio->ItemIndex(), 0);
    QTest::keyClicks(dlg.DestTableEdit, "copy.dbf");
    ChooseMode(4);
    ASSERT_EQ(dlg.CopyModeRadio->ItemIndex(), 4);
    QTest::mouseClick(dlg.CopyBtn, Qt::LeftButton);
    EXPECT_EQ(boxes.errors(), QStringList());
    EXPECT_EQ(RowsOf(dir.path(), "copy.dbf"), 3);
    ChooseMode(0);
    // Enter in a box presses the default button, Copy.
    QTest::keyClick(dlg.DestTableEdit, Qt::Key_Return);
    QTest::keyClick(dlg.SourcePathEdit, Qt::Key_Return);
    EXPECT_EQ(boxes.errors(), QStringList());
    EXPECT_EQ(RowsOf(dir.path(), "copy.dbf"), 9);
    EXPECT_TRUE(dlg.isVisible());
}

TEST_F(CopyDBDlgTest, AnEngineErrorShowsAndTheDialogKeepsItsTexts)
{
    QTest::keyClicks(dlg.DestTableEdit, "absent.dbf");   // Append needs an existing destination
    QTest::mouseClick(dlg.CopyBtn, Qt::LeftButton);
    EXPECT_EQ(boxes.errors().size(), 1);
    ChooseMode(1);   // a dBASE table has no key to update by
    QTest::keyClicks(dlg.DestTableEdit, QString());
    dlg.DestTableEdit->selectAll();
    QTest::keyClicks(dlg.DestTableEdit, "source.dbf");
    QTest::mouseClick(dlg.CopyBtn, Qt::LeftButton);
    ASSERT_EQ(boxes.errors().size(), 2);
    EXPECT_TRUE(boxes.errors()[1].contains("primary key")) << boxes.errors()[1].toStdString();
    EXPECT_EQ(dlg.SourceTableEdit->text(), "source.dbf");
    EXPECT_EQ(RowsOf(dir.path(), "source.dbf"), 3);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(CopyDBDlgTest, BrowseFillsOneSideAndHelpAsksForItsTopic)
{
    dlg.ChooseTable = [](QString& path, QString& name) {
        path = "SURVEYS";
        name = "stations";
        return true;
    };
    QTest::mouseClick(dlg.BrowseDestBtn, Qt::LeftButton);
    EXPECT_EQ(dlg.DestPathEdit->text(), "SURVEYS");
    EXPECT_EQ(dlg.DestTableEdit->text(), "stations");
    EXPECT_EQ(dlg.SourceTableEdit->text(), "source.dbf");
    dlg.ChooseTable = [](QString&, QString&) { return false; };
    QTest::mouseClick(dlg.BrowseSourceBtn, Qt::LeftButton);
    EXPECT_EQ(dlg.SourceTableEdit->text(), "source.dbf");
    int topic = 0;
    QObject::connect(&dlg, &TCopyDBDlg::helpRequested, [&topic](int t) { topic = t; });
    QTest::mouseClick(dlg.HelpBtn, Qt::LeftButton);
    EXPECT_EQ(topic, 3);
}

} // namespace
} // namespace tarnel::test
