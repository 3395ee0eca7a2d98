#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include "app/db_navigator.h"
#include "app/db_views.h"
#include "app/startup.h"
#include "query/do_query_page.h"
#include "tests/app/form_fixture.h"

using namespace tarnel;
using namespace tarnel::app;
using namespace tarnel::test;

namespace {
QStringList Captions(QMenu* menu)
{
    QStringList out;
    for (QAction* a : menu->actions()) out << (a->isSeparator() ? QString("-") : a->text());
    return out;
}

void Activate(QWidget* w)
{
    QEvent e(QEvent::WindowActivate);
    QApplication::sendEvent(w, &e);
}
} // namespace

TEST_F(FormTest, StartsWithNoTableAndTheMenusOfTheNoTableState)
{
    EXPECT_EQ(form->windowTitle(), "Tarnel32");
    ASSERT_EQ(form->PageControl1->count(), 3);
    EXPECT_EQ(form->PageControl1->tabText(0), "Data Base");
    EXPECT_EQ(form->PageControl1->tabText(1), "Query Builder");
    EXPECT_EQ(form->PageControl1->tabText(2), "Do Query");
    EXPECT_EQ(form->PageControl1->currentWidget(), form->DataBasePage);

    EXPECT_EQ(Captions(form->FileMenu),
              QStringList({"&Open Database...", "Reopen", "-", "C&reate New Database...", "-", "&Close", "-", "&Exit"}));
    EXPECT_EQ(Captions(form->EditMenu),
              QStringList({"Cu&t", "&Copy", "&Paste", "-", "&Edit Table Fields...", "Copy &Database...", "-",
                           "&Load From File..", "&Save To File...", "-", "Code P&age..."}));
    EXPECT_EQ(Captions(form->HelpMenu), QStringList({"&Contents", "&Keyword Search...", "&About..."}));
    for (QAction* off : {form->CloseDB, form->EditTableFieldsMnu, form->LoadFromFile1, form->SaveToFile1, form->CodePage1})
        EXPECT_FALSE(off->isEnabled()) << off->text().toStdString();
    // Commands that need no table.
    for (QAction* on : {form->CreateNewDataBase1, form->CopyDatabase1, form->About1, form->Contents1,
                        form->SearchforHelpOn1})
        EXPECT_TRUE(on->isEnabled()) << on->text().toStdString();
    EXPECT_TRUE(form->OpenDBFileMenu->isEnabled());

    EXPECT_EQ(form->RowDis->text(), "0");
    EXPECT_FALSE(form->TableEditChk->isEnabled());
    EXPECT_FALSE(form->AutoEditChk->isEnabled());
    EXPECT_FALSE(form->TableEditChk->isChecked());
    EXPECT_TRUE(form->Table1.readOnly());
    EXPECT_FALSE(form->DataSource1->autoEdit());

    const char* hints[] = {"Beginning Row", "Back One Row", "Forward One Row", "Ending Row", "Insert Row",
                           "Delete Row", "Edit Row", "Save Changes", "Cancel Changes", "Refresh"};
    for (int i = 0; i < kNavButtonCount; ++i)
        EXPECT_EQ(form->DBNavigator1->button(static_cast<NavButton>(i))->toolTip(), hints[i]);
}

TEST_F(FormTest, OpenDatabaseOpensReadOnlyAndRecordsTheEntry)
{
    MakeTable("historic.dbf", 3);
    OpenThroughDialog("historic.dbf");
    ASSERT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();

    EXPECT_EQ(form->windowTitle(), "historic.dbf - Tarnel 32");
    EXPECT_EQ(ApplicationTitle(), "historic.dbf - Tarnel 32");
    // Qt appends its display name to every window title: the dialogs would
    // then read "Select Database File/Alias \u2014 historic.dbf - Tarnel 32".
    EXPECT_NE(QGuiApplication::applicationDisplayName(), "historic.dbf - Tarnel 32");
    EXPECT_TRUE(form->Table1.active());
    EXPECT_TRUE(form->Table1.readOnly());
    EXPECT_EQ(form->RowDis->text(), "3");
    EXPECT_EQ(form->DataSource1->rowCount(), 3);
    EXPECT_TRUE(form->TableEditChk->isEnabled());
    EXPECT_TRUE(form->CloseDB->isEnabled());
    EXPECT_TRUE(form->EditTableFieldsMnu->isEnabled());
    EXPECT_EQ(QDir::currentPath(), QString::fromStdString(dir.path()));
    EXPECT_EQ(form->CurrentTable.TableName, "historic.dbf");

    // Opened twice through the dialog: one entry, alias-marked.
    OpenThroughDialog("historic.dbf");
    const QString entry = "$:/" + QString::fromStdString(dir.path()) + "//historic.dbf";
    EXPECT_EQ(services->added, QStringList({entry, entry}));
    EXPECT_EQ(services->saves, 2);
    ASSERT_EQ(form->ReopenMenu->actions().size(), 1);
    EXPECT_EQ(form->ReopenMenu->actions()[0]->text(), "&1 historic.dbf");
}

TEST_F(FormTest, CloseKeepsCaptionAndRowCountAndClearsTheEditingSwitches)
{
    MakeTable("a.dbf", 4);
    OpenThroughDialog("a.dbf");
    EnableEditing(true);
    ASSERT_TRUE(form->AutoEditChk->isEnabled());
    ASSERT_TRUE(form->DataSource1->autoEdit());
    ASSERT_FALSE(form->Table1.readOnly());

    form->CloseDBClick();
    EXPECT_FALSE(form->Table1.active());
    EXPECT_EQ(form->windowTitle(), "a.dbf - Tarnel 32");
    EXPECT_EQ(form->RowDis->text(), "4");
    EXPECT_FALSE(form->TableEditChk->isChecked());
    EXPECT_FALSE(form->TableEditChk->isEnabled());
    EXPECT_FALSE(form->AutoEditChk->isChecked());
    EXPECT_TRUE(form->AutoEditChk->isEnabled());   // keeps its enabled state
    EXPECT_FALSE(form->DataSource1->autoEdit());
    EXPECT_TRUE(form->Table1.readOnly());
    EXPECT_FALSE(form->CloseDB->isEnabled());
    EXPECT_FALSE(form->EditTableFieldsMnu->isEnabled());
    EXPECT_EQ(form->DataSource1->columnCount(), 0);

    // With no table the field commands do nothing.
    form->LoadFromFile1Click();
    form->SaveToFile1Click();
    EXPECT_TRUE(services->fileDialogTitles.isEmpty());

    // The next table opens read-only.
    OpenThroughDialog("a.dbf");
    EXPECT_TRUE(form->Table1.readOnly());
    EXPECT_FALSE(form->DataSource1->autoEdit());
    EXPECT_FALSE(form->TableEditChk->isChecked());
}

TEST_F(FormTest, EditingSwitchesReopenTheTableAndFollowTheBoxes)
{
    MakeTable("a.dbf", 60);
    OpenThroughDialog("a.dbf");
    form->DataSource1->moveCurrentTo(49);
    ASSERT_EQ(form->DBGrid1->currentIndex().row(), 49);

    form->TableEditChk->setChecked(true);
    EXPECT_FALSE(form->Table1.readOnly());
    EXPECT_FALSE(form->DataSource1->readOnly());
    EXPECT_TRUE(form->AutoEditChk->isEnabled());
    EXPECT_EQ(form->DataSource1->currentRow(), 0);   // back at the first row
    EXPECT_EQ(form->DBGrid1->currentIndex().row(), 0);
    EXPECT_EQ(form->RowDis->text(), "60");

    form->AutoEditChk->setChecked(true);
    EXPECT_TRUE(form->DataSource1->autoEdit());

    // Unchecking: read-only again; "Auto Editing" disabled but untouched.
    form->TableEditChk->setChecked(false);
    EXPECT_TRUE(form->Table1.readOnly());
    EXPECT_TRUE(form->DataSource1->readOnly());
    EXPECT_FALSE(form->AutoEditChk->isEnabled());
    EXPECT_TRUE(form->AutoEditChk->isChecked());
    EXPECT_TRUE(form->DataSource1->autoEdit());
    EXPECT_FALSE(form->DataSource1->flags(form->DataSource1->index(0, 0)) & Qt::ItemIsEditable);
}

TEST_F(FormTest, TypingEditsOnlyWhenAutoEditingOrAfterTheEditButton)
{
    MakeTable("a.dbf", 3);
    OpenThroughDialog("a.dbf");
    DataSetModel* m = form->DataSource1;
    const QModelIndex name = m->index(1, 0);

    // Read-only table: nothing is editable.
    EXPECT_FALSE(m->flags(name) & Qt::ItemIsEditable);
    EXPECT_FALSE(m->setData(name, "Pool"));

    // Writable, no auto editing: only after Edit.
    EnableEditing(false);
    EXPECT_FALSE(m->flags(name) & Qt::ItemIsEditable);
    m->moveCurrentTo(1);
    form->DBNavigator1->BtnClick(NavButton::Edit);
    EXPECT_TRUE(m->flags(name) & Qt::ItemIsEditable);
    EXPECT_TRUE(m->setData(name, "Pool"));
    // Cancel drops the edit.
    form->DBNavigator1->BtnClick(NavButton::Cancel);
    EXPECT_EQ(m->data(name).toString(), "Feature 2");

    // Auto editing: a typed value starts editing, and moving off the row posts it.
    form->AutoEditChk->setChecked(true);
    m->moveCurrentTo(1);
    EXPECT_TRUE(m->setData(m->index(1, 0), "Pool"));
    EXPECT_TRUE(m->editing());
    form->DBGrid1->setCurrentIndex(m->index(2, 0));
    EXPECT_FALSE(m->editing());
    EXPECT_EQ(m->currentRow(), 2);
    EXPECT_EQ(m->data(m->index(1, 0)).toString(), "Pool");
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();

    // The change is in the file.
    form->CloseDBClick();
    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("a.dbf");
    t.open();
    t.moveTo(1);
    EXPECT_EQ(t.asText(0), "Pool");
}

TEST_F(FormTest, AutoEditingStartsAtTheFirstKeystrokeInACell)
{
    MakeTable("a.dbf", 3);
    OpenThroughDialog("a.dbf");
    EnableEditing(true);
    form->show();
    DataSetModel* m = form->DataSource1;
    QTableView* grid = form->DBGrid1;
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(m->index(1, 0)).center());
    ASSERT_EQ(m->currentRow(), 1);
    EXPECT_FALSE(form->DBNavigator1->button(NavButton::Post)->isEnabled());

    QTest::keyClick(grid, 'P');
    EXPECT_TRUE(m->editing());
    EXPECT_EQ(m->headerData(1, Qt::Vertical).toString(), "I");
    EXPECT_TRUE(form->DBNavigator1->button(NavButton::Post)->isEnabled());
    EXPECT_TRUE(form->DBNavigator1->button(NavButton::Cancel)->isEnabled());

    // Entering editing leaves what was typed in the cell.
    auto* editor = grid->viewport()->findChild<QLineEdit*>();
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->text(), "P");
    QTest::keyClicks(editor, "ool");
    QTest::keyClick(editor, Qt::Key_Return);
    form->DBNavigator1->button(NavButton::Post)->click();
    EXPECT_EQ(m->data(m->index(1, 0)).toString(), "Pool");
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(FormTest, PostAndDeleteUpdateTheRowCount)
{
    MakeTable("a.dbf", 2);
    OpenThroughDialog("a.dbf");
    EnableEditing(false);
    TDBNavigator* nav = form->DBNavigator1;

    QTest::keyClick(form->DBGrid1, Qt::Key_Insert);
    EXPECT_EQ(form->DataSource1->rowCount(), 3);   // the new row is shown
    EXPECT_EQ(form->DBGrid1->currentIndex().row(), 2);
    // Cancelling the insert goes back to the row the cursor was on.
    QTest::keyClick(form->DBGrid1, Qt::Key_Escape);
    EXPECT_EQ(form->DataSource1->currentRow(), 0);
    EXPECT_EQ(form->DBGrid1->currentIndex().row(), 0);
    EXPECT_EQ(form->RowDis->text(), "2");
    EXPECT_EQ(form->DataSource1->rowCount(), 2);

    nav->BtnClick(NavButton::Insert);
    form->DataSource1->setData(form->DataSource1->index(int(form->DataSource1->currentRow()), 0), "Bone");
    nav->BtnClick(NavButton::Post);
    EXPECT_EQ(form->RowDis->text(), "3");

    services->confirmDelete = false;
    nav->BtnClick(NavButton::Delete);
    EXPECT_EQ(form->RowDis->text(), "3");
    EXPECT_EQ(form->Table1.recordCount(), 3);

    services->confirmDelete = true;
    form->DataSource1->moveCurrentTo(0);
    QTest::keyClick(form->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(form->RowDis->text(), "2");
    EXPECT_EQ(form->DataSource1->rowCount(), 2);
    EXPECT_EQ(form->DataSource1->data(form->DataSource1->index(0, 0)).toString(), "Feature 2");
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(FormTest, EnteringMemoAndBlobColumnsBindsTheViews)
{
    MakeTable("a.dbf", 2);
    OpenThroughDialog("a.dbf");
    QTableView* grid = form->DBGrid1;
    DataSetModel* m = form->DataSource1;

    grid->setCurrentIndex(m->index(1, 2));   // NOTES, a memo, on another row
    EXPECT_EQ(grid->currentIndex(), m->index(1, 2));
    EXPECT_EQ(form->DBMemo1->dataField(), "NOTES");
    EXPECT_EQ(form->DBMemo1->toPlainText(), "memo of row 2");
    grid->setCurrentIndex(m->index(0, 2));
    EXPECT_EQ(form->DBMemo1->toPlainText(), "memo of row 1");
    EXPECT_TRUE(form->LoadFromFile1->isEnabled());
    EXPECT_TRUE(form->SaveToFile1->isEnabled());

    grid->setCurrentIndex(m->index(0, 0));   // NAME, a string
    EXPECT_FALSE(form->LoadFromFile1->isEnabled());
    EXPECT_FALSE(form->SaveToFile1->isEnabled());
    EXPECT_EQ(form->DBMemo1->dataField(), "NOTES");

    // The memo view follows the current row.
    grid->setCurrentIndex(m->index(1, 0));
    EXPECT_EQ(form->DBMemo1->toPlainText(), "memo of row 2");

    grid->setCurrentIndex(m->index(1, 3));   // PHOTO, a blob
    EXPECT_EQ(form->DBImage1->dataField(), "PHOTO");
    EXPECT_TRUE(form->LoadFromFile1->isEnabled());

    // Closing unbinds both views.
    form->CloseDBClick();
    EXPECT_EQ(form->DBMemo1->dataField(), "");
    EXPECT_EQ(form->DBImage1->dataField(), "");
    EXPECT_TRUE(form->LoadFromFile1->isEnabled());   // left as it was
}

TEST_F(FormTest, MemoAndImageLoadAndSaveThroughTheFileDialogs)
{
    MakeTable("a.dbf", 1);
    OpenThroughDialog("a.dbf");
    DataSetModel* m = form->DataSource1;

    const std::string text = dir.file("in.txt");
    {
        QFile f(QString::fromStdString(text));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Flowstone on the east wall.\n");
    }
    form->DBGrid1->setCurrentIndex(m->index(0, 2));

    // Not editing: the engine refuses and nothing is written.
    services->fileAnswer = QString::fromStdString(text);
    form->LoadFromFile1->trigger();
    EXPECT_EQ(errors.size(), 1);
    EXPECT_EQ(services->fileDialogTitles.value(0), "Open Memo (Text) File");
    EXPECT_EQ(form->DBMemo1->toPlainText(), "memo of row 1");

    EnableEditing(false);
    form->DBGrid1->setCurrentIndex(m->index(0, 2));
    form->DBNavigator1->BtnClick(NavButton::Edit);
    form->LoadFromFile1->trigger();
    EXPECT_EQ(errors.size(), 1) << errors.join("\n").toStdString();
    EXPECT_EQ(form->DBMemo1->toPlainText(), "Flowstone on the east wall.\n");
    form->DBNavigator1->BtnClick(NavButton::Post);

    services->fileAnswer = QString::fromStdString(dir.file("out.txt"));
    form->SaveToFile1->trigger();
    EXPECT_EQ(services->fileDialogTitles.last(), "Save Memo as Text");
    QFile out(services->fileAnswer);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll(), "Flowstone on the east wall.\n");

    // A picture loaded into the blob field shows in the image view.
    QImage picture(8, 4, QImage::Format_RGB32);
    picture.fill(Qt::red);
    const QString bmp = QString::fromStdString(dir.file("CAVE.BMP"));
    ASSERT_TRUE(picture.save(bmp, "BMP"));
    form->DBGrid1->setCurrentIndex(m->index(0, 3));
    form->DBNavigator1->BtnClick(NavButton::Edit);
    services->fileAnswer = bmp;
    form->LoadFromFile1->trigger();
    EXPECT_EQ(services->fileDialogTitles.last(), "Open Graphic File");
    form->DBNavigator1->BtnClick(NavButton::Post);
    ASSERT_FALSE(form->DBImage1->picture().isNull());
    EXPECT_EQ(form->DBImage1->picture().size(), QSize(8, 4));
    EXPECT_EQ(form->DBImage1->picture().pixelColor(0, 0), QColor(Qt::red));

    // Cancelled dialogs do nothing.
    services->fileAnswer.clear();
    form->SaveToFile1->trigger();
    EXPECT_EQ(services->fileDialogTitles.last(), "Save Image As BMP");
    EXPECT_EQ(errors.size(), 1);
}

TEST_F(FormTest, AFailedOpenLeavesTheWindowUsableWithNoTable)
{
    MakeTable("a.dbf", 2);
    OpenThroughDialog("a.dbf");
    services->added.clear();

    services->openTable = "missing.dbf";
    form->OpenDBFileMenu->trigger();   // through the guarded dispatch
    ASSERT_EQ(errors.size(), 1);
    EXPECT_FALSE(form->Table1.active());
    EXPECT_EQ(form->windowTitle(), "missing.dbf - Tarnel 32");
    EXPECT_EQ(form->CurrentTable.TableName, "missing.dbf");
    EXPECT_FALSE(form->TableEditChk->isEnabled());
    EXPECT_TRUE(form->CloseDB->isEnabled());   // keeps its state
    EXPECT_TRUE(services->added.isEmpty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // The window goes on working.
    OpenThroughDialog("a.dbf");
    EXPECT_TRUE(form->Table1.active());
    EXPECT_EQ(errors.size(), 1);
}

TEST_F(FormTest, DoQueryReadsTheCurrentTableEvenAfterAFailedOpen)
{
    MakeTable("a.dbf", 3);
    OpenThroughDialog("a.dbf");
    auto* doQuery = form->DoQueryPage->findChild<QPushButton*>("DoQueryBtn");
    auto* hits = form->DoQueryPage->findChild<QLabel*>("DisHitCount");
    ASSERT_TRUE(doQuery && hits);
    doQuery->click();
    EXPECT_EQ(hits->text(), "3");

    // The window now names missing.dbf: a query must not quietly read a.dbf.
    services->openTable = "missing.dbf";
    form->OpenDBFileMenu->trigger();
    errors.clear();
    doQuery->click();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("missing")) << errors[0].toStdString();
    EXPECT_EQ(hits->text(), "3");
}

TEST_F(FormTest, ReopenEntriesOpenTheirTableAndMoveToTheTop)
{
    MakeTable("a.dbf", 2);
    MakeTable("b.dbf", 3);
    OpenThroughDialog("a.dbf");
    OpenThroughDialog("b.dbf");
    ASSERT_EQ(form->ReopenMenu->actions().size(), 2);
    EXPECT_EQ(form->ReopenMenu->actions()[1]->text(), "&2 a.dbf");
    const QString entryA = "$:/" + QString::fromStdString(dir.path()) + "//a.dbf";

    form->ReopenMenu->actions()[1]->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    EXPECT_EQ(form->windowTitle(), "a.dbf - Tarnel 32");
    EXPECT_EQ(form->CurrentTable.DatabaseName, QString::fromStdString(dir.path()) + "/");
    EXPECT_EQ(form->RowDis->text(), "2");
    EXPECT_EQ(services->added.last(), entryA);
    EXPECT_EQ(form->ReopenMenu->actions()[0]->text(), "&1 a.dbf");
}

TEST_F(FormTest, RecentEntryOfAMissingFolderEndsBeforeTheOpen)
{
    MakeTable("a.dbf", 2);
    OpenThroughDialog("a.dbf");
    services->added.clear();
    EXPECT_ANY_THROW(form->ReopenMenuMenuClick("$://no/such/folder//t.dbf"));
    EXPECT_EQ(form->CurrentTable.DatabaseName, "/no/such/folder/");
    EXPECT_EQ(form->CurrentTable.TableName, "t.dbf");
    EXPECT_TRUE(form->Table1.active());
    EXPECT_EQ(form->windowTitle(), "a.dbf - Tarnel 32");
    EXPECT_TRUE(services->added.isEmpty());

    // An empty entry (a missing key in the settings file) names no table.
    EXPECT_ANY_THROW(form->ReopenMenuMenuClick(""));
    EXPECT_FALSE(form->Table1.active());
    EXPECT_TRUE(services->added.isEmpty());
}

TEST_F(FormTest, CommandLineTableOpensAtTheFirstActivationOnly)
{
    const std::string path = MakeTable("cmd.dbf", 5);
    form = std::make_unique<TForm1>(std::make_unique<FakeServices>(), QStringList{"tarnel", QString::fromStdString(path)});
    auto* fake = static_cast<FakeServices*>(&form->services());
    EXPECT_TRUE(form->FirstActivation);

    Activate(form.get());
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    EXPECT_TRUE(form->Table1.active());
    EXPECT_EQ(form->windowTitle(), "cmd.dbf - Tarnel 32");
    EXPECT_EQ(fake->added, QStringList({QString::fromStdString(path)}));
    EXPECT_EQ(fake->viewerPathReads, 1);
    EXPECT_EQ(fake->dialogFolders, QStringList({QString::fromStdString(dir.path()) + "/"}));

    form->CloseDBClick();
    Activate(form.get());
    EXPECT_FALSE(form->Table1.active());
    EXPECT_EQ(fake->viewerPathReads, 1);
}

TEST_F(FormTest, CommandLineRelativePathStillOpensAfterTheFolderChange)
{
    MakeTable("rel.dbf", 1);
    QDir::setCurrent(QString::fromStdString(dir.path()) + "/..");
    const QString relative = QDir().relativeFilePath(QString::fromStdString(dir.file("rel.dbf")));
    form = std::make_unique<TForm1>(std::make_unique<FakeServices>(), QStringList{"tarnel", relative});
    Activate(form.get());
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    EXPECT_TRUE(form->Table1.active());
}

TEST_F(FormTest, CommandLineThatNamesNoTable)
{
    // A missing file: nothing, silently.
    form = std::make_unique<TForm1>(std::make_unique<FakeServices>(),
                                    QStringList{"tarnel", QString::fromStdString(dir.file("none.dbf"))});
    Activate(form.get());
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_FALSE(form->Table1.active());
    EXPECT_EQ(form->windowTitle(), "Tarnel32");

    // A file that is not a table: one error, and no table open.
    const std::string junk = dir.file("junk.dbf");
    {
        QFile f(QString::fromStdString(junk));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is not a table");
    }
    form = std::make_unique<TForm1>(std::make_unique<FakeServices>(),
                                    QStringList{"tarnel", QString::fromStdString(junk)});
    Activate(form.get());
    Activate(form.get());
    EXPECT_EQ(errors.size(), 1);
    EXPECT_FALSE(form->Table1.active());
    EXPECT_FALSE(form->TableEditChk->isEnabled());
}

TEST_F(FormTest, AValueLeftInACellEditorIsSavedByPostAndByClose)
{
    MakeTable("a.dbf", 2);
    OpenThroughDialog("a.dbf");
    EnableEditing(false);
    QTableView* grid = form->DBGrid1;
    DataSetModel* m = form->DataSource1;
    form->DBNavigator1->BtnClick(NavButton::Edit);

    auto typeIntoCell = [&](int row, const QString& text) {
        grid->setCurrentIndex(m->index(row, 1));
        grid->edit(m->index(row, 1));
        QLineEdit* editor = nullptr;
        for (auto* e : grid->viewport()->findChildren<QLineEdit*>())
            if (e->isVisibleTo(grid)) editor = e;
        ASSERT_NE(editor, nullptr);
        editor->setText(text);
    };
    typeIntoCell(0, "7.5");
    form->DBNavigator1->button(NavButton::Post)->click();
    EXPECT_FALSE(m->editing());
    EXPECT_EQ(m->data(m->index(0, 1)).toString(), "7.5");

    form->DBNavigator1->BtnClick(NavButton::Edit);
    typeIntoCell(0, "9");
    form->CloseDB->trigger();
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("a.dbf");
    t.open();
    EXPECT_EQ(t.asFloat(1), 9.0);
}

TEST_F(FormTest, ClosingTheWindowSavesAChangedRow)
{
    MakeTable("a.dbf", 2);
    OpenThroughDialog("a.dbf");
    EnableEditing(true);
    form->DataSource1->moveCurrentTo(0);
    ASSERT_TRUE(form->DataSource1->setData(form->DataSource1->index(0, 0), "Gour"));
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->Table1.active());

    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("a.dbf");
    t.open();
    EXPECT_EQ(t.asText(0), "Gour");
}

TEST_F(FormTest, EditingAMemoKeepsItsLineBreaks)
{
    MakeTable("a.dbf", 2);
    {
        Table t;
        t.setDatabaseName(dir.path());
        t.setTableName("a.dbf");
        t.open();
        t.edit();
        t.setValue(2, Value::text("Line one\r\nLine two\r\n"));
        t.post();
    }
    OpenThroughDialog("a.dbf");
    EnableEditing(true);
    DataSetModel* m = form->DataSource1;
    form->DBGrid1->setCurrentIndex(m->index(0, 2));
    ASSERT_EQ(form->DBMemo1->toPlainText(), "Line one\nLine two\n");

    // Typing into the view stores the text with the memo's own line breaks.
    form->DBMemo1->moveCursor(QTextCursor::End);
    QTest::keyClicks(form->DBMemo1, "Line three");
    form->DBGrid1->setCurrentIndex(m->index(1, 2));
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    form->CloseDBClick();

    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("a.dbf");
    t.open();
    EXPECT_EQ(t.asText(2), "Line one\r\nLine two\r\nLine three");
    t.moveTo(1);
    EXPECT_EQ(t.asText(2), "memo of row 2");   // the other row is untouched
}
