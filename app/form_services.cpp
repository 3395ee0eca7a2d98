#include "app/form_services.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QStandardPaths>

#include "app/session_paths.h"
#include "controls/error_guard.h"
#include "app/startup.h"
#include "engine/codepage.h"
#include "shell/about_box.h"
#include "shell/help_request.h"
#include "shell/suite_settings.h"
#include "shell/system_support.h"
#include "tables/create_table_dlg.h"
#include "tables/table_edit_dlg.h"
#include "workspace/copy_db_dlg.h"
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
    createTableDlg_ = new TCreateTableDlg(mainWindow);
    createTableDlg_->ChooseTable = [this, mainWindow](QString& pathOrAlias, QString& tableName) {
        return ExecuteOpenDBDlg(mainWindow, pathOrAlias, tableName);
    };
    createTableDlg_->ChoosePathAlias = [this](QString& pathOrAlias) {
        return pathAliasDlg_ && pathAliasDlg_->ExecutePathAliasDlg(pathOrAlias);
    };
    pathAliasDlg_ = new TPathAliasDlg(mainWindow);
    copyDBDlg_ = new TCopyDBDlg(mainWindow);
    copyDBDlg_->ChooseTable = createTableDlg_->ChooseTable;
    // Then the About box and the restructure dialog.
    aboutBox_ = new shell::TAboutBox(mainWindow);
    tableEditDlg_ = new TTableEditDlg(mainWindow);
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

bool TMainFormServices::ChooseCodePage(QWidget* parent, const QString& table, int& chosen)
{
    QStringList names;
    int current = 0;
    const auto pages = ChoosableCodePages();
    for (const auto& [number, name] : pages) {
        if (number == chosen) current = static_cast<int>(names.size());
        names << QString::fromStdString(name);
    }
    bool ok = false;
    const QString picked = QInputDialog::getItem(parent, QStringLiteral("Code Page"),
                                                 QStringLiteral("Read %1 in the code page:").arg(table), names,
                                                 current, false, &ok);
    if (!ok) return false;
    chosen = pages[static_cast<size_t>(std::max<qsizetype>(0, names.indexOf(picked)))].first;
    return true;
}

void TMainFormServices::ShowInformation(QWidget* parent, const QString& message)
{
    ShowInformationBox(parent, message);
}

bool TMainFormServices::ExecuteCreateTableDlg(QWidget*, TableReference& table)
{
    return createTableDlg_ && createTableDlg_->ExecuteCreateTableDlg(table);
}

void TMainFormServices::ExecuteTableEditDlg(QWidget*, Table& table)
{
    if (tableEditDlg_) tableEditDlg_->ExecuteTableEditDlg(table);
}

void TMainFormServices::ExecuteCopyDBDlg(QWidget*)
{
    if (copyDBDlg_) copyDBDlg_->exec();
}

void TMainFormServices::ShowAboutBox(QWidget*)
{
    if (aboutBox_) shell::ShowAboutBox(*aboutBox_);
}

void TMainFormServices::HelpContents(QWidget*) { ApplicationHelpCommand(HELP_CONTENTS, quintptr(0)); }

void TMainFormServices::HelpKeywordSearch(QWidget*) { ApplicationHelpCommand(HELP_PARTIALKEY, QString()); }

void TMainFormServices::SetWorkingFolderFrom(const QString& path)
{
    tarnel::SetWorkingFolderFrom(QFile::encodeName(path).toStdString());
}

bool TMainFormServices::ConfirmDelete(QWidget* parent)
{
    return AskOkCancel(parent, ApplicationTitle(), QStringLiteral("Delete record?"));
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
