#pragma once
// TTableEditDlg, "Edit/Restructure Table": changes the column layout of the
// main window's open table. The user adds, removes, reorders and retypes
// fields in the field list; "Commit Changes" rebuilds the table with them
// (tables/core/restructure.h), carrying columns over by name. Made once and
// reused: each opening lists the table's fields afresh.
#include <QDialog>

#include "tables/field_list_editor.h"

class QLineEdit;
class QPushButton;

namespace tarnel {

class Table;

class TTableEditDlg : public QDialog, public TFieldControls {
    Q_OBJECT
public:
    explicit TTableEditDlg(QWidget* parent = nullptr);

    // Lists the fields of `table` and shows the dialog modally. Every commit
    // is made on `table` itself, which is open again afterwards (unless even
    // putting the old table back failed; the error box then says where the
    // rows are kept).
    void ExecuteTableEditDlg(Table& table);

    // Where the temporary copy's private folder is made (empty: the system's
    // folder for temporary files).
    void setTemporaryFolder(const QString& folder) { tempParent_ = folder; }

    static constexpr int HelpTopic = 4;

    // Controls, named as in the window description (the field controls
    // come with TFieldControls).
    QPushButton* ResetBtn;
    QPushButton* CommitBtn;
    QPushButton* CancelBtn;
    QPushButton* HelpBtn;

signals:
    void helpRequested(int topic);

private:
    void ResetBtnClick();
    void CommitBtnClick();
    void loadList();

    TFieldListEditor* fields_;
    Table* table_ = nullptr;   // the main window's table, while shown
    QString tempParent_;
};

} // namespace tarnel
