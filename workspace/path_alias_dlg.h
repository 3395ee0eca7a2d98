#pragma once
// TPathAliasDlg, "Select Path/Alias": picks where a table is to live, a folder
// or a database alias, without picking a table. Made once and reused; the
// folder tree keeps the folder last chosen.
#include <QDialog>
#include <QString>

class QCheckBox;
class QListWidget;
class QPushButton;

namespace tarnel {

class TFolderList;
class TDriveCombo;

class TPathAliasDlg : public QDialog {
    Q_OBJECT
public:
    explicit TPathAliasDlg(QWidget* parent = nullptr);

    // Runs the dialog modally. True with the chosen path-or-alias on OK: the
    // selected alias, or the folder of the tree without a final "/" (except
    // the root). False, with the text untouched, otherwise. Listing the
    // aliases may throw EngineError before the dialog shows.
    bool ExecutePathAliasDlg(QString& pathOrAlias);

    // Neither the Help button nor the window has a help topic: Help asks for nothing.

    QListWidget* AliasList;
    TFolderList* DirectoryListBox1;
    TDriveCombo* DriveComboBox1;
    QCheckBox* PathChk;
    QCheckBox* AliasChk;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QPushButton* HelpBtn;

signals:
    void helpRequested(int topic);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void PathChkClick();
    void AliasChkClick();
};

} // namespace tarnel
