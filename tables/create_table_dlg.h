#pragma once
// TCreateTableDlg, "Create New Data Base": defines a new, empty table - its
// name, table type, folder or alias and an ordered list of fields - and has
// the engine create it. Made once and reused: everything typed stays in the
// dialog from one use to the next, also after a failed creation.
#include <QDialog>

#include "tables/field_list_editor.h"
#include <QString>
#include <functional>

#include "engine/table.h"
#include "tables/table_reference.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tarnel {


class TCreateTableDlg : public QDialog, public TFieldControls {
    Q_OBJECT
public:
    explicit TCreateTableDlg(QWidget* parent = nullptr);

    // Shows the dialog modally. True, with the new table, when the user
    // confirmed and the table was created; false on Cancel, on a missing path
    // or name (after a warning), or when the user would not replace an
    // existing table. Engine errors are thrown to the caller's error guard.
    bool ExecuteCreateTableDlg(TableReference& created);

    // The choosers the dialog calls on (the path/alias chooser and the Open
    // Database dialog); unset, the buttons do nothing.
    std::function<bool(QString& pathOrAlias)> ChoosePathAlias;
    std::function<bool(QString& pathOrAlias, QString& tableName)> ChooseTable;

    static constexpr int HelpTopic = 2;

    // Controls, named as in the window description (the field controls
    // come with TFieldControls).
    QLineEdit* TableNameEdit;
    QComboBox* TableTypeCombo;
    QLineEdit* PathEdit;
    QPushButton* BrowseBtn;
    QPushButton* ClearBtn;
    QPushButton* UseExistingBtn;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QPushButton* HelpBtn;

signals:
    void helpRequested(int topic);

private:
    void FormCreate();
    void ClearBtnClick();
    void BrowseBtnClick();
    void UseExistingBtnClick();
    void warn(const QString& text);

    TFieldListEditor* fields_;   // the field list and the controls that edit it

    Table table_;   // reads an existing table's fields and creates the new one
};

} // namespace tarnel
