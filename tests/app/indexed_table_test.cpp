// Editing a FoxPro table with a structural index in the main window: every
// change made through the grid must leave each tag true to the records, and
// a table whose index we cannot keep must refuse editing and say why.
#include <QCheckBox>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "app/db_navigator.h"
#include "engine/dbf/index/index_key.h"
#include "engine/sql/query.h"
#include "tests/app/form_fixture.h"
#include "tests/support/compact_index_writer.h"
#include "tests/support/index_check.h"
#include "tests/support/open_table.h"

using namespace tarnel;
using namespace tarnel::test;
using tarnel::app::NavButton;

namespace {

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class IndexedTableForm : public FormTest {
protected:
    // Clicks a cell, types the text into it (auto-edit starts editing at the
    // first key) and commits it with Return.
    void TypeIntoCell(int row, int column, const QString& text)
    {
        QTableView* grid = form->DBGrid1;
        const QModelIndex cell = form->DataSource1->index(row, column);
        grid->scrollTo(cell);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
        ASSERT_EQ(grid->currentIndex(), cell);
        QTest::keyClick(grid, text[0].toLatin1());
        auto* editor = grid->viewport()->findChild<QLineEdit*>();
        ASSERT_TRUE(editor);
        QTest::keyClicks(editor, text.mid(1));
        QTest::keyClick(editor, Qt::Key_Return);
    }
    void ClickPost()
    {
        QTest::mouseClick(form->DBNavigator1->button(NavButton::Post), Qt::LeftButton);
    }
    QString Cell(int row, int column) const
    {
        return form->DataSource1->data(form->DataSource1->index(row, column)).toString();
    }
};

} // namespace

TEST_F(IndexedTableForm, EditsInsertsAndDeletesKeepEveryTagTrue)
{
    for (const char* name : {"calls.dbf", "calls.CDX", "calls.FPT"})
        std::filesystem::copy_file(Fixture("dbf/foxprodb") + "/" + name, dir.file(name));
    OpenThroughDialog("calls.dbf");
    ASSERT_TRUE(form->Table1.writeBlocked().empty()) << form->Table1.writeBlocked();
    EnableEditing(true);
    form->show();
    ASSERT_EQ(Cell(1, 0), "2");

    // The candidate key CALL_ID and CONTACT_ID of the second row, by key presses.
    TypeIntoCell(1, 0, "99");
    TypeIntoCell(1, 1, "7");
    ClickPost();
    EXPECT_EQ(Cell(1, 0), "99");
    EXPECT_EQ(Cell(1, 1), "7");

    // A new row, keyed below every other.
    QTest::keyClick(form->DBGrid1, Qt::Key_Insert);
    const int added = form->DataSource1->rowCount() - 1;
    ASSERT_EQ(added, 16);
    TypeIntoCell(added, 0, "0");
    TypeIntoCell(added, 1, "3");
    ClickPost();
    EXPECT_EQ(form->Table1.recordCount(), 17);

    // The fourth row goes (Ctrl+Delete asks first; the answer is yes).
    QTest::mouseClick(form->DBGrid1->viewport(), Qt::LeftButton, {},
                      form->DBGrid1->visualRect(form->DataSource1->index(3, 0)).center());
    QTest::keyClick(form->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(form->Table1.recordCount(), 16);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    form->CloseDBClick();

    auto table = OpenTable(dir.path(), "calls.dbf");
    CheckAgainstScan(*table, KeyStyle::FoxPro);
    // The index finds the rows by their new keys, and no longer the old ones.
    for (const auto& [sql, rows] : std::vector<std::pair<std::string, std::int64_t>>{
             {"Select * From calls Where CALL_ID = 99", 1}, {"Select * From calls Where CALL_ID = 2", 0},
             {"Select * From calls Where CALL_ID = 0", 1}, {"Select * From calls Where CALL_ID = 4", 0},
             {"Select * From calls Where CONTACT_ID = 7", 1}})
        EXPECT_EQ(QueryResult::CountRows(dir.path(), sql), rows) << sql;
}

TEST_F(IndexedTableForm, AnIndexExpressionWeCannotKeepRefusesEditingAndSaysWhy)
{
    MakeTable("feat.dbf", 3);
    std::vector<CompactEntry> entries;
    for (std::uint32_t r = 1; r <= 3; ++r) entries.push_back({"Fea", r});
    WriteCompactIndex(dir.file("feat.idx"), "SUBSTR(NAME,1,3)", 3, entries);
    const std::string before = ReadBytes(dir.file("feat.dbf"));

    OpenThroughDialog("feat.dbf");
    ASSERT_EQ(services->informations.size(), 1);
    const QString shown = services->informations[0];
    EXPECT_TRUE(shown.contains("feat.idx (SUBSTR(NAME,1,3))")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("cannot be kept up to date; the table is open read-only")) << shown.toStdString();

    form->show();
    QTest::keyClick(form->TableEditChk, Qt::Key_Space);
    EXPECT_FALSE(form->TableEditChk->isChecked());
    EXPECT_FALSE(form->DBNavigator1->button(NavButton::Insert)->isEnabled());
    QTableView* grid = form->DBGrid1;
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(form->DataSource1->index(1, 0)).center());
    QTest::keyClick(grid, 'X');
    EXPECT_FALSE(form->DataSource1->editing());
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(form->Table1.recordCount(), 3);
    form->CloseDBClick();
    EXPECT_EQ(ReadBytes(dir.file("feat.dbf")), before);
}
