#include <QClipboard>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

#include "app/db_navigator.h"
#include "app/db_views.h"
#include "tests/app/form_fixture.h"

using namespace tarnel;
using namespace tarnel::app;
using namespace tarnel::test;

namespace {
QImage Picture(QColor color)
{
    QImage image(6, 3, QImage::Format_RGB32);
    image.fill(color);
    return image;
}
} // namespace

TEST_F(FormTest, ImageCutAndPasteChangeTheFieldOnlyWhenTheRowCanBeEdited)
{
    MakeTable("a.dbf", 2);
    OpenThroughDialog("a.dbf");
    DataSetModel* m = form->DataSource1;
    form->DBGrid1->setCurrentIndex(m->index(0, 3));
    ASSERT_EQ(form->DBImage1->dataField(), "PHOTO");

    // Read-only table: paste changes nothing.
    QApplication::clipboard()->setImage(Picture(Qt::green));
    form->DBImage1->PasteFromClipboard();
    EXPECT_TRUE(form->DBImage1->picture().isNull());
    EXPECT_FALSE(m->editing());

    // Editable with auto editing: paste puts the row into editing and stores a BMP.
    EnableEditing(true);
    form->DBGrid1->setCurrentIndex(m->index(0, 3));
    form->DBImage1->PasteFromClipboard();
    EXPECT_TRUE(m->editing());
    form->DBNavigator1->BtnClick(NavButton::Post);
    ASSERT_FALSE(form->DBImage1->picture().isNull());
    EXPECT_EQ(form->DBImage1->picture().pixelColor(1, 1), QColor(Qt::green));
    EXPECT_TRUE(form->Table1.value(3).s.starts_with("BM"));

    // Copy, then cut: the picture goes to the clipboard and leaves the field.
    QApplication::clipboard()->clear();
    form->DBImage1->CopyToClipboard();
    EXPECT_EQ(QApplication::clipboard()->image().pixelColor(0, 0), QColor(Qt::green));
    form->DBImage1->CutToClipboard();
    form->DBNavigator1->BtnClick(NavButton::Post);
    EXPECT_TRUE(form->DBImage1->picture().isNull());
    EXPECT_TRUE(form->Table1.isNull(3));
}

TEST_F(FormTest, EditCommandsGoToTheFocusedControl)
{
    MakeTable("a.dbf", 1);
    OpenThroughDialog("a.dbf");
    form->show();
    QApplication::setActiveWindow(form.get());
    if (!QTest::qWaitForWindowActive(form.get())) GTEST_SKIP() << "no window activation on this platform";

    // The memo view: its own selection.
    form->DBGrid1->setCurrentIndex(form->DataSource1->index(0, 2));
    form->DBMemo1->setFocus();
    form->DBMemo1->selectAll();
    QApplication::clipboard()->clear();
    form->Copy1->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "memo of row 1");

    // Any other control: its own cut, copy or paste.
    auto* edit = new QLineEdit(form->DataBasePage);
    edit->show();
    edit->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), edit);
    form->Paste1->trigger();
    EXPECT_EQ(edit->text(), "memo of row 1");
    edit->selectAll();
    form->Cut1->trigger();
    EXPECT_EQ(edit->text(), "");
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}
