// "Edit Table Fields..." from the Edit menu: the main window shows the
// table's new layout after a commit.
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "controls/dataset_model.h"
#include "tables/table_edit_dlg.h"
#include "tests/app/form_fixture.h"
#include "tests/tables/field_list_input.h"
#include "tests/workspace/workspace_test_support.h"

namespace tarnel::test {
namespace {

using TableEditMenuTest = FormTest;

TEST_F(TableEditMenuTest, RestructuresTheOpenTableFromTheEditMenu)
{
    services->CreateDialogs(form.get());
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    MakeTable("cave.dbf", 3);
    OpenThroughDialog("cave.dbf");
    ASSERT_TRUE(form->EditTableFieldsMnu->isEnabled());

    auto* dlg = form->findChild<TTableEditDlg*>();
    ASSERT_NE(dlg, nullptr);
    QStringList listed;
    WhenShown(dlg, [&] {
        listed = EntryNames(dlg->FieldList);
        ClickRow(dlg->FieldList, 3);   // PHOTO goes
        QTest::mouseClick(dlg->DeleteBtn, Qt::LeftButton);
        Type(dlg->FieldNameEdit, "CAVE");
        ClickRow(dlg->FieldTypesList, RowOfType("String"));
        QTest::mouseClick(dlg->InsertBtn, Qt::LeftButton);
        QTest::mouseClick(dlg->CommitBtn, Qt::LeftButton);   // the warning is answered Yes
        QTest::mouseClick(dlg->CancelBtn, Qt::LeftButton);
    });
    // Alt+E opens the Edit menu, E picks "Edit Table Fields...".
    QTest::keyClick(form.get(), Qt::Key_E, Qt::AltModifier);
    QTRY_VERIFY(form->EditMenu->isVisible());
    QTest::keyClick(form->EditMenu, Qt::Key_E);
    QTRY_VERIFY(!dlg->isVisible());

    EXPECT_EQ(listed, QStringList({"NAME", "DEPTH", "NOTES", "PHOTO"}));
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    ASSERT_TRUE(form->Table1.active());
    ASSERT_EQ(form->DataSource1->columnCount(), 4);
    EXPECT_EQ(form->DataSource1->headerData(3, Qt::Horizontal).toString(), "CAVE");
    EXPECT_EQ(form->RowDis->text(), "3");
    EXPECT_EQ(form->DataSource1->data(form->DataSource1->index(2, 0)).toString(), "Feature 3");
}

} // namespace
} // namespace tarnel::test
