#include "app/form_services.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QStandardPaths>

#include "app/session_paths.h"
#include "app/startup.h"
#include "shell/help_request.h"
#include "shell/suite_settings.h"
#include "shell/system_support.h"
#include "workspace/open_db_dlg.h"
#include "workspace/path_alias_dlg.h"
#include "workspace/reopen_menu.h"

namespace tarnel::app {

TMainFormServices::~TMainFormServices() = default;

void TMainFormServices::InitSettings() { InitSuiteSettings(); }

QString TMainFormServices::ProgramSettingsFile() { return QString::fromStdString(tarnel::ProgramSettingsFile()); }

void TMainFormServices::ReadViewerPath() { tarnel::ReadViewerPath(); }

void TMainFormServices::CreateDialogs(QWidget* mainWindow)
{
    openDBDlg_ = new TOpenDBDlg(mainWindow);
    // The create-table dialog comes here, between the Open Database dialog
    // and the path/alias chooser.
    pathAliasDlg_ = new TPathAliasDlg(mainWindow);
    // Then the copy dialog, the About box and the restructure dialog.
}

bool TMainFormServices::ExecuteOpenDBDlg(QWidget* parent, QString& pathOrAlias, QString& tableName)
{
    if (openDBDlg_) return openDBDlg_->ExecuteOpenDBDlg(pathOrAlias, tableName);
    // Without the dialog (a window made on its own): a plain file chooser.
    const QString file = QFileDialog::getOpenFileName(
        parent, QStringLiteral("Open Database"), QString(),
        NameFiltersFromFilterText(QStringLiteral("Tables (*.dbf;*.db;*.txt)|*.dbf;*.db;*.txt|All Files (*.*)|*.*"))
            .join(QStringLiteral(";;")));
    if (file.isEmpty()) return false;
    pathOrAlias = FolderPart(file);
    tableName = file.mid(pathOrAlias.size());
    return true;
}

void TMainFormServices::SetOpenDBDlgFolder(const QString& folder)
{
    if (openDBDlg_) openDBDlg_->setDirectory(folder);
}

bool TMainFormServices::ExecuteCreateTableDlg(QWidget*, TableReference&) { return false; }

void TMainFormServices::ExecuteTableEditDlg(QWidget*, Table&) {}

void TMainFormServices::ExecuteCopyDBDlg(QWidget*) {}

void TMainFormServices::ShowAboutBox(QWidget*) {}

void TMainFormServices::HelpContents(QWidget*) { ApplicationHelpCommand(HELP_CONTENTS, quintptr(0)); }

void TMainFormServices::HelpKeywordSearch(QWidget*) { ApplicationHelpCommand(HELP_PARTIALKEY, QString()); }

void TMainFormServices::SetWorkingFolderFrom(const QString& path)
{
    tarnel::SetWorkingFolderFrom(QFile::encodeName(path).toStdString());
}

bool TMainFormServices::ConfirmDelete(QWidget* parent)
{
    return QMessageBox::question(parent, ApplicationTitle(),
                                 QStringLiteral("Delete record?"),
                                 QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel)
        == QMessageBox::Ok;
}

QString TMainFormServices::ExecFileDialog(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles().value(0);
}

void TMainFormServices::AttachReopenMenu(QMenu* menu, std::function<void(const QString&)> onClick)
{
    reopenMenu_ = new TReopenMenu(menu);
    reopenMenu_->setIniSection(QStringLiteral("FileHistory"));
    reopenMenu_->setIniFile(QStringLiteral("tarnel.ini"));
    reopenMenu_->setMenuItem(menu);
    reopenMenu_->setOnMenuClick([onClick](TReopenMenu*, const QString& path) {
        // A copy: the clicked item may be rebuilt while the entry is opened.
        const QString entry = path;
        onClick(entry);
    });
}

void TMainFormServices::SetReopenSettingsFile(const QString& fileName)
{
    if (reopenMenu_) reopenMenu_->setIniFile(fileName);
}

void TMainFormServices::LoadReopenEntries()
{
    if (reopenMenu_) reopenMenu_->LoadEntries();
}

void TMainFormServices::AddReopenEntry(const QString& entry)
{
    if (reopenMenu_) reopenMenu_->AddEntry(entry);
}

void TMainFormServices::SaveReopenEntries()
{
    if (reopenMenu_) reopenMenu_->SaveEntries();
}

} // namespace tarnel::app
