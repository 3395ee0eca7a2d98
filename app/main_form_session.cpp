// The table session of the main window: opening, closing, the editing
// switches, the table hooks and the menus that follow them.
#include <QAbstractItemDelegate>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTableView>
#include <algorithm>

#include "app/db_navigator.h"
#include "app/db_views.h"
#include "app/main_form.h"
#include "app/session_paths.h"
#include "controls/error_guard.h"
#include "engine/pg/pg_connection.h"
#include "query/do_query_page.h"
#include "query/query_builder_page.h"
#include "app/startup.h"
#include "tables/code_page_memory.h"

namespace tarnel::app {

void TForm1::ResetSession()
{
    // A changed row is saved first, as moving off it would; when that
    // fails the command ends here with nothing else changed.
    closeGridEditor(true);
    DataSource1->finishEditing();
    Table1.close();
    DBImage1->setDataField(QString());
    DBMemo1->setDataField(QString());
    DataSource1->setReadOnly(true);
    Table1.setReadOnly(true);
    TableEditChk->setChecked(false);
    DataSource1->setAutoEdit(false);
    AutoEditChk->setChecked(false);
    QueryBuilderPage->resetSession();
    DoQueryPage->ResetSession();
}

void TForm1::OpenCurrentTable()
{
    WaitCursor wait;
    ResetSession();
    PageControl1->setCurrentWidget(DataBasePage);
    selectedColumn_ = 0;
    const QString caption = TableCaption(CurrentTable.TableName);
    setWindowTitle(caption);
    SetApplicationTitle(caption);
    Table1.close();
    Table1.setDatabaseName(CurrentTable.DatabaseName.toStdString());
    Table1.setTableName(CurrentTable.TableName.toStdString());
    Table1.setTableType(CurrentTable.TableType);
    Table1.setCodePage(0);
    Table1.open();
    // A code page chosen for this file before (the file's path is known only now).
    const int remembered = RememberedCodePage(services_->ProgramSettingsFile().toStdString(), Table1.filePath());
    if (remembered != 0 && remembered != Table1.codePage()) {
        Table1.close();
        Table1.setCodePage(remembered);
        Table1.open();
    }
    QueryBuilderPage->setFields(Table1.fields());
    DoQueryPage->FillFieldLists(Table1.fields());
    DoQueryPage->SetExportControlsEnabled(false);
    const std::string blocked = Table1.writeBlocked();
    if (!blocked.empty()) services_->ShowInformation(this, QString::fromStdString(blocked));
}

void TForm1::ReopenInCodePage(int codePage)
{
    WaitCursor wait;
    closeGridEditor(true);
    DataSource1->finishEditing();
    Table1.close();
    Table1.setCodePage(codePage);
    Table1.open();
    QueryBuilderPage->setFields(Table1.fields());
    DoQueryPage->FillFieldLists(Table1.fields());
}

void TForm1::CodePage1Click()
{
    if (!Table1.active()) return;
    int chosen = Table1.codePage();
    if (!services_->ChooseCodePage(this, CurrentTable.TableName, chosen)) return;
    ReopenInCodePage(chosen);
    if (Table1.codePage() != chosen) {
        services_->ShowInformation(
            this, QStringLiteral("%1 names its code page (%2) in its header; it is always read in that one.")
                      .arg(CurrentTable.TableName)
                      .arg(Table1.codePage()));
        return;
    }
    RememberCodePage(services_->ProgramSettingsFile().toStdString(), Table1.filePath(), chosen);
}

void TForm1::SetTableMenusEnabled(bool flag)
{
    CloseDB->setEnabled(flag);
    CodePage1->setEnabled(flag);
    // A table the program may not write (a server table, a damaged index)
    // cannot be rebuilt either.
    EditTableFieldsMnu->setEnabled(flag && Table1.active() && Table1.writeBlocked().empty());
}

void TForm1::SetBlobMenusEnabled(bool flag)
{
    LoadFromFile1->setEnabled(flag);
    SaveToFile1->setEnabled(flag);
}

// A server table shows its first rows before its count is in: "Rows:" says
// so until the count arrives.
void TForm1::ShowRowCount()
{
    const std::int64_t count = DataSource1->knownRowCount();
    RowDis->setText(count >= 0 ? QString::number(count) : QStringLiteral("counting"));
}

void TForm1::OpenDBFileMenuClick()
{
    QString pathOrAlias, tableName;
    if (!services_->ExecuteOpenDBDlg(this, pathOrAlias, tableName)) return;
    services_->SetWorkingFolderFrom(pathOrAlias);
    CurrentTable = TableReference{pathOrAlias, tableName, TableType::Default};
    OpenCurrentTable();
    SetTableMenusEnabled(true);
    // A server URI typed with its password stays out of the settings file.
    if (pg::UriHasPassword(pathOrAlias.toStdString())) return;
    services_->AddReopenEntry(MakeRecentEntry(pathOrAlias, tableName));
    services_->SaveReopenEntries();
}

void TForm1::CreateNewDataBase1Click()
{
    TableReference created;
    if (!services_->ExecuteCreateTableDlg(this, created)) return;
    CurrentTable = created;
    OpenCurrentTable();
    SetTableMenusEnabled(true);
}

void TForm1::CloseDBClick()
{
    ResetSession();
    SetTableMenusEnabled(false);
}

void TForm1::OpenRecentEntry(QString entry)
{
    const TableReference parsed = ParseRecentEntry(entry);
    CurrentTable.DatabaseName = parsed.DatabaseName;
    CurrentTable.TableName = parsed.TableName;
    services_->SetWorkingFolderFrom(CurrentTable.DatabaseName);
    // The folder list takes only a folder that exists; an alias is left out.
    if (!CurrentTable.DatabaseName.isEmpty() && QFileInfo(CurrentTable.DatabaseName).isDir())
        services_->SetOpenDBDlgFolder(CurrentTable.DatabaseName);
    CurrentTable.TableType = TableType::Default;
    OpenCurrentTable();
    SetTableMenusEnabled(true);
    services_->AddReopenEntry(entry);
    services_->SaveReopenEntries();
}

void TForm1::ReopenMenuMenuClick(const QString& entry) { OpenRecentEntry(entry); }

void TForm1::TableEditChkClick()
{
    if (!Table1.active()) return;
    WaitCursor wait;
    closeGridEditor(true);
    DataSource1->finishEditing();
    const bool editable = TableEditChk->isChecked();
    const std::string blocked = Table1.writeBlocked();
    if (editable && !blocked.empty()) {
        // The switch refuses: the table stays open for reading.
        const QSignalBlocker quiet(TableEditChk);
        TableEditChk->setChecked(false);
        services_->ShowInformation(this, QString::fromStdString(blocked));
        return;
    }
    Table1.close();
    DataSource1->setReadOnly(!editable);
    Table1.setReadOnly(!editable);
    Table1.open();
    AutoEditChk->setEnabled(editable);
}

void TForm1::AutoEditChkClick() { DataSource1->setAutoEdit(AutoEditChk->isChecked()); }

void TForm1::Table1AfterOpen()
{
    TableEditChk->setEnabled(true);
    ShowRowCount();
}

void TForm1::Table1AfterClose() { TableEditChk->setEnabled(false); }

void TForm1::Table1AfterPost() { ShowRowCount(); }

void TForm1::Table1AfterDelete() { ShowRowCount(); }

void TForm1::EditTableFieldsMnuClick()
{
    // A changed row is saved first: the rebuild copies the table as it is.
    closeGridEditor(true);
    DataSource1->finishEditing();
    const std::vector<FieldDef> before = Table1.fields();
    services_->ExecuteTableEditDlg(this, Table1);
    ShowRestructuredTable(before);
}

void TForm1::ShowRestructuredTable(const std::vector<FieldDef>& before)
{
    if (!Table1.active()) {
        // Not even the old table could be put back; the error box said where its rows are.
        CloseDBClick();
        return;
    }
    const std::vector<FieldDef>& now = Table1.fields();
    const bool same = std::equal(before.begin(), before.end(), now.begin(), now.end(),
                                 [](const FieldDef& a, const FieldDef& b) {
                                     return a.name == b.name && a.type == b.type && a.size == b.size;
                                 });
    if (same) return;
    // The memo and image panes may show a field that is gone.
    DBMemo1->setDataField(QString());
    DBImage1->setDataField(QString());
    SetBlobMenusEnabled(false);
    selectedColumn_ = 0;
    QueryBuilderPage->setFields(Table1.fields());
    DoQueryPage->FillFieldLists(Table1.fields());
    DoQueryPage->SetExportControlsEnabled(false);
    sizeColumns();
    ShowRowCount();
    DBGrid1ColEnter();
}

void TForm1::CopyDatabase1Click() { services_->ExecuteCopyDBDlg(this); }

void TForm1::Contents1Click() { services_->HelpContents(this); }

void TForm1::SearchforHelpOn1Click() { services_->HelpKeywordSearch(this); }

void TForm1::About1Click() { services_->ShowAboutBox(this); }

// --- the grid ---

const FieldDef* TForm1::SelectedField() const { return DataSource1->fieldAt(selectedColumn_); }

void TForm1::DBGrid1ColEnter()
{
    const FieldDef* field = SelectedField();
    if (!field) return;
    const QString name = QString::fromStdString(field->name);
    switch (field->type) {
    case ftGraphic:
    case ftBlob:
        DBImage1->setDataField(name);
        SetBlobMenusEnabled(true);
        break;
    case ftMemo:
        DBMemo1->setDataField(name);
        SetBlobMenusEnabled(true);
        break;
    default:
        SetBlobMenusEnabled(false);
        break;
    }
}

void TForm1::closeGridEditor(bool keepValue)
{
    // A cell editor is a child of the grid's viewport while it is open.
    const auto editors = DBGrid1->viewport()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* editor : editors) {
        if (!editor->isVisibleTo(DBGrid1)) continue;
        if (keepValue)
            QMetaObject::invokeMethod(DBGrid1, "commitData", Qt::DirectConnection, Q_ARG(QWidget*, editor));
        QMetaObject::invokeMethod(DBGrid1, "closeEditor", Qt::DirectConnection, Q_ARG(QWidget*, editor),
                                  Q_ARG(QAbstractItemDelegate::EndEditHint, QAbstractItemDelegate::NoHint));
    }
}

void TForm1::gridCurrentChanged(const QModelIndex& current)
{
    if (syncingGrid_ || !current.isValid() || DataSource1->changingRows()) return;
    run([this, current] {
        if (current.row() != DataSource1->currentRow()) {
            try {
                DataSource1->moveCurrentTo(current.row());
            } catch (...) {
                // The row could not be left: the grid goes back to it.
                syncGridToCursor();
                throw;
            }
        }
        if (current.column() != selectedColumn_) {
            selectedColumn_ = current.column();
            DBGrid1ColEnter();
        }
    });
}

void TForm1::syncGridToCursor()
{
    const std::int64_t row = DataSource1->currentRow();
    const int columns = DataSource1->columnCount();
    if (selectedColumn_ >= columns) selectedColumn_ = 0;
    // The grid's own column wins: a click moves row and column at once.
    int column = DBGrid1->currentIndex().isValid() ? DBGrid1->currentIndex().column() : selectedColumn_;
    if (column >= columns) column = selectedColumn_;
    syncingGrid_ = true;
    if (row >= 0 && row < DataSource1->rowCount() && columns > 0) {
        const QModelIndex index = DataSource1->index(int(row), column);
        if (DBGrid1->currentIndex() != index)
            DBGrid1->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        DBGrid1->scrollTo(index);
    } else {
        DBGrid1->selectionModel()->clearCurrentIndex();
    }
    syncingGrid_ = false;
    DBGrid1->viewport()->update();
}

void TForm1::sizeColumns()
{
    const QFontMetrics fm = DBGrid1->fontMetrics();
    const int charWidth = fm.averageCharWidth();
    for (int c = 0; c < DataSource1->columnCount(); ++c) {
        const FieldDef* f = DataSource1->fieldAt(c);
        int chars = 10;
        if (f->type == ftString || f->type == ftFixedChar || f->type == ftWideString) chars = f->size;
        else if (IsFloatType(f->type)) chars = 14;
        else if (f->type == ftDate) chars = 11;
        else if (f->type == ftDateTime || f->type == ftTimeStamp) chars = 19;
        chars = std::clamp(chars, static_cast<int>(f->name.size()) + 1, 40);
        DBGrid1->setColumnWidth(c, chars * charWidth + 12);
    }
}

} // namespace tarnel::app
