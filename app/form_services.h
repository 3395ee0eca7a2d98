#pragma once
// What the main window asks of the rest of the program: the dialogs, the
// recent-files menu, the settings files, help and the working folder.
// Every call goes through this one class, so the window can be run with
// stand-ins (tests) and each piece plugs in here when it is built.
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

#include "tables/table_reference.h"

class QFileDialog;
class QMenu;
class QWidget;

namespace tarnel {
class Table;
class TOpenDBDlg;
class TCreateTableDlg;
class TTableEditDlg;
class TCopyDBDlg;
class TPathAliasDlg;
class TReopenMenu;
}
namespace tarnel::shell {
class TAboutBox;
}

namespace tarnel::app {

class TMainFormServices {
public:
    virtual ~TMainFormServices();

    // Start-up: the settings folder and file paths, before any window exists.
    virtual void InitSettings();
    // The program's own settings file (holds the recent-files list).
    virtual QString ProgramSettingsFile();
    // Reads the viewer's command line from the suite settings.
    virtual void ReadViewerPath();
    // Makes the dialogs, once, after the main window and in this order: the
    // Open Database dialog, the create-table dialog, the path/alias chooser,
    // the copy dialog, the About box, the restructure dialog.
    virtual void CreateDialogs(QWidget* mainWindow);

    // The Open Database dialog: false on cancel, else the path-or-alias and
    // the table name.
    virtual bool ExecuteOpenDBDlg(QWidget* parent, QString& pathOrAlias, QString& tableName);
    // Points the Open Database dialog's folder list at a folder.
    virtual void SetOpenDBDlgFolder(const QString& folder);
    // The create-table dialog: false on cancel; true with the new table, created.
    virtual bool ExecuteCreateTableDlg(QWidget* parent, TableReference& table);
    // The restructure dialog, on the browse table itself.
    virtual void ExecuteTableEditDlg(QWidget* parent, Table& table);
    // The copy dialog, modal.
    virtual void ExecuteCopyDBDlg(QWidget* parent);
    virtual void ShowAboutBox(QWidget* parent);
    virtual void HelpContents(QWidget* parent);
    virtual void HelpKeywordSearch(QWidget* parent);

    // Makes the folder part of a path (up to the last "/") the working
    // folder; an empty folder part changes nothing. Throws when the folder
    // cannot be entered.
    virtual void SetWorkingFolderFrom(const QString& path);

    // Lists the code pages for the table; false on cancel, else the chosen
    // one in chosen (which comes in as the one in use).
    virtual bool ChooseCodePage(QWidget* parent, const QString& table, int& chosen);
    // An information box.
    virtual void ShowInformation(QWidget* parent, const QString& message);

    // Asks before a row is deleted.
    virtual bool ConfirmDelete(QWidget* parent);
    // Runs a file dialog; the chosen file, or empty text on cancel.
    virtual QString ExecFileDialog(QFileDialog& dialog);

    // The recent-files menu, bound to the "Reopen" submenu.
    virtual void AttachReopenMenu(QMenu* menu, std::function<void(const QString&)> onClick);
    virtual void SetReopenSettingsFile(const QString& fileName);
    virtual void LoadReopenEntries();
    virtual void AddReopenEntry(const QString& entry);
    virtual void SaveReopenEntries();

protected:
    // The dialogs made by CreateDialogs (owned by the main window).
    QPointer<TOpenDBDlg> openDBDlg_;
    QPointer<TCreateTableDlg> createTableDlg_;
    QPointer<TPathAliasDlg> pathAliasDlg_;
    QPointer<TCopyDBDlg> copyDBDlg_;
    QPointer<shell::TAboutBox> aboutBox_;
    QPointer<TTableEditDlg> tableEditDlg_;
    // The recent-files menu component (owned by the "Reopen" submenu's window).
    QPointer<TReopenMenu> reopenMenu_;
};

} // namespace tarnel::app
