// The memo and image fields of the main window: load and save through the
// file dialogs, and the clipboard commands.
#include <QApplication>
#include <QFileDialog>
#include <QMetaObject>

#include "app/db_views.h"
#include "controls/error_guard.h"
#include "app/main_form.h"
#include "app/session_paths.h"

namespace tarnel::app {

namespace {
enum class FieldKind { Other, Memo, Image };

FieldKind KindOf(const FieldDef& field)
{
    if (field.type == ftMemo) return FieldKind::Memo;
    if (field.type == ftGraphic || field.type == ftBlob) return FieldKind::Image;
    return FieldKind::Other;
}

// Sets a dialog's filter list, keeping the position of the filter chosen last time.
void SetFilters(QFileDialog& dialog, const QString& filterText)
{
    const int chosen = static_cast<int>(dialog.nameFilters().indexOf(dialog.selectedNameFilter()));
    const QStringList filters = NameFiltersFromFilterText(filterText);
    dialog.setNameFilters(filters);
    if (chosen >= 0 && chosen < filters.size()) dialog.selectNameFilter(filters[chosen]);
}

void PrepareOpen(QFileDialog& dialog, const QString& title, const QString& filterText)
{
    dialog.setWindowTitle(title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QString());
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setOption(QFileDialog::ReadOnly, false);
    SetFilters(dialog, filterText);
}

void PrepareSave(QFileDialog& dialog, const QString& title, const QString& suffix, const QString& filterText)
{
    dialog.setWindowTitle(title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(suffix);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    SetFilters(dialog, filterText);
}
} // namespace

int TForm1::fieldIndex(const FieldDef& field) const
{
    return FieldIndexOf(DataSource1, QString::fromStdString(field.name));
}

void TForm1::LoadFromFile1Click()
{
    const FieldDef* field = SelectedField();
    if (!field) return;
    closeGridEditor(true);
    const FieldDef f = *field;
    switch (KindOf(f)) {
    case FieldKind::Memo: LoadMemoFromFile(f); break;
    case FieldKind::Image: LoadImageFromFile(f); break;
    case FieldKind::Other: break;
    }
}

void TForm1::SaveToFile1Click()
{
    const FieldDef* field = SelectedField();
    if (!field) return;
    closeGridEditor(true);
    const FieldDef f = *field;
    switch (KindOf(f)) {
    case FieldKind::Memo: SaveMemoToFile(f); break;
    case FieldKind::Image: SaveImageToFile(f); break;
    case FieldKind::Other: break;
    }
}

void TForm1::LoadMemoFromFile(const FieldDef& field)
{
    PrepareOpen(*OpenDialog1, QStringLiteral("Open Memo (Text) File"),
                QStringLiteral("Text Files (*.TXT,)|*.TXT;|All Files(*.*)|*.*"));
    const QString file = services_->ExecFileDialog(*OpenDialog1);
    if (file.isEmpty()) return;
    WaitCursor wait;
    Table1.loadFromFile(fieldIndex(field), QFile::encodeName(file).toStdString());
}

void TForm1::LoadImageFromFile(const FieldDef& field)
{
    PrepareOpen(*OpenDialog1, QStringLiteral("Open Graphic File"),
                QStringLiteral("Graphic Files (*.BMP,)|*.BMP;|All Files(*.*)|*.*"));
    const QString file = services_->ExecFileDialog(*OpenDialog1);
    if (file.isEmpty()) return;
    WaitCursor wait;
    Table1.loadFromFile(fieldIndex(field), QFile::encodeName(file).toStdString());
}

void TForm1::SaveMemoToFile(const FieldDef& field)
{
    PrepareSave(*SaveDialog1, QStringLiteral("Save Memo as Text"), QStringLiteral("TXT"),
                QStringLiteral("Text Files (*.TXT)|*.TXT|All Files (*.*)|*.*"));
    const QString file = services_->ExecFileDialog(*SaveDialog1);
    if (file.isEmpty()) return;
    WaitCursor wait;
    Table1.saveToFile(fieldIndex(field), QFile::encodeName(file).toStdString());
}

void TForm1::SaveImageToFile(const FieldDef& field)
{
    PrepareSave(*SaveDialog1, QStringLiteral("Save Image As BMP"), QStringLiteral("BMP"),
                QStringLiteral("Bitmap Files (*.BMP)|*.BMP|All Files (*.*)|*.*"));
    const QString file = services_->ExecFileDialog(*SaveDialog1);
    if (file.isEmpty()) return;
    WaitCursor wait;
    Table1.saveToFile(fieldIndex(field), QFile::encodeName(file).toStdString());
}

// --- clipboard ---

namespace {
// The focused widget's own clipboard command, when it has one.
void SendToFocus(const char* command)
{
    QWidget* focus = QApplication::focusWidget();
    if (!focus) return;
    const QMetaObject* meta = focus->metaObject();
    const QByteArray signature = QByteArray(command) + "()";
    if (meta->indexOfMethod(signature.constData()) >= 0)
        QMetaObject::invokeMethod(focus, command, Qt::DirectConnection);
}
} // namespace

void TForm1::Cut1Click()
{
    QWidget* focus = QApplication::focusWidget();
    if (focus == DBMemo1)
        DBMemo1->cut();
    else if (focus == DBImage1)
        DBImage1->CutToClipboard();
    else
        SendToFocus("cut");
}

void TForm1::Copy1Click()
{
    QWidget* focus = QApplication::focusWidget();
    if (focus == DBMemo1)
        DBMemo1->copy();
    else if (focus == DBImage1)
        DBImage1->CopyToClipboard();
    else
        SendToFocus("copy");
}

void TForm1::Paste1Click()
{
    QWidget* focus = QApplication::focusWidget();
    if (focus == DBMemo1)
        DBMemo1->paste();
    else if (focus == DBImage1)
        DBImage1->PasteFromClipboard();
    else
        SendToFocus("paste");
}

} // namespace tarnel::app
