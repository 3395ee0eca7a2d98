#pragma once
// TCopyDBDlg, "Copy Database": moves rows from a source table into a
// destination table in one of the five batch-move modes. Made once and
// reused, so its boxes keep their texts; the user may copy several times
// before closing it. It never touches the browse table.
#include <QDialog>
#include <QString>
#include <functional>

#include "engine/table.h"

class QLineEdit;
class QPushButton;

namespace tarnel {

class TRadioGroup;

class TCopyDBDlg : public QDialog {
    Q_OBJECT
public:
    explicit TCopyDBDlg(QWidget* parent = nullptr);

    // The Open Database dialog the two Browse buttons run; unset, they do nothing.
    std::function<bool(QString& pathOrAlias, QString& tableName)> ChooseTable;

    static constexpr int HelpTopic = 3;

    QLineEdit* DestTableEdit;
    QLineEdit* DestPathEdit;
    QPushButton* BrowseDestBtn;
    QLineEdit* SourceTableEdit;
    QLineEdit* SourcePathEdit;
    QPushButton* BrowseSourceBtn;
    TRadioGroup* CopyModeRadio;
    QPushButton* CopyBtn;
    QPushButton* CancelBtn;
    QPushButton* HelpBtn;

    Table SourceTable;
    Table DestTable;

signals:
    void helpRequested(int topic);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BrowseSourceBtnClick();
    void BrowseDestBtnClick();
    void CopyBtnClick();
};

} // namespace tarnel
