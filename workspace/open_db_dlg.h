#pragma once
// TOpenDBDlg, "Select Database File/Alias": picks an existing table, either a
// file in a folder or a table of a database alias. Made once and reused; it
// keeps its page, check boxes, folder, filter and table list between uses.
#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;

namespace tarnel {

class TFileList;
class TFolderList;
class TDriveCombo;

class TOpenDBDlg : public QDialog {
    Q_OBJECT
public:
    explicit TOpenDBDlg(QWidget* parent = nullptr);

    // Runs the dialog modally. True with a path-or-alias and a table name when
    // the user chose a table; false, with both texts untouched, otherwise.
    // For a file the path is its folder with the final "/". Listing the
    // aliases may throw EngineError before the dialog shows.
    bool ExecuteOpenDBDlg(QString& pathOrAlias, QString& tableName);

    // Points the folder list at a folder, so the dialog next opens there.
    // Throws InOutError for a folder that does not exist. An alias name has no
    // folder in the file system: it leaves the folder list where it is.
    void setDirectory(const QString& folderOrAlias);
    QString directory() const;

    bool FillAliasList();
    void EnableFileControls(bool flag);
    void EnableAliasControls(bool flag);
    void ApplySourceChoice();

    // The help topic of this dialog.
    static constexpr int HelpTopic = 1;

    // Controls, named as in the window description (for the owner and the tests).
    QTabWidget* PageControl1;
    QLineEdit* FileEdit1;
    TFileList* FileList1;
    TFolderList* DirList1;
    QLabel* PathLabel;
    TDriveCombo* DriveCombo1;
    QComboBox* Filter1;
    QListWidget* AliasList;
    QListWidget* TableList;
    QCheckBox* UseFileChk;
    QCheckBox* UseAliasChk;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QPushButton* HelpBtn;

signals:
    // The Help button asks for its topic.
    void helpRequested(int topic);

protected:
    void done(int result) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    bool FormCloseQuery();
    void UseFileChkClick();
    void UseAliasChkClick();
    void AliasListClick();
    void ListServerTables(const QString& uri);
    void TableListDblClick();
    void FileList1Change();
    void Filter1Change();
    void DriveCombo1Change();
    void DirList1Change();
    QString listFolder() const;

    QList<QWidget*> fileControls_;
    QList<QWidget*> aliasControls_;
    QString tableListAlias_;     // the alias whose tables TableList shows
    bool fillingAliases_ = false;
};

} // namespace tarnel
