#include "app/form_services.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

#include "app/session_paths.h"

namespace tarnel::app {

TMainFormServices::~TMainFormServices() = default;

void TMainFormServices::InitSettings() {}

QString TMainFormServices::ProgramSettingsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
         + QStringLiteral("/vantor/Tarnel.ini");
}

void TMainFormServices::ReadViewerPath() {}

void TMainFormServices::CreateDialogs(QWidget*) {}

bool TMainFormServices::ExecuteOpenDBDlg(QWidget* parent, QString& pathOrAlias, QString& tableName)
{
    // A plain file chooser until the Open Database dialog is plugged in.
    const QString file = QFileDialog::getOpenFileName(
        parent, QStringLiteral("Open Database"), QString(),
        NameFiltersFromFilterText(QStringLiteral("Tables (*.dbf;*.db;*.txt)|*.dbf;*.db;*.txt|All Files (*.*)|*.*"))
            .join(QStringLiteral(";;")));
    if (file.isEmpty()) return false;
    pathOrAlias = FolderPart(file);
    tableName = file.mid(pathOrAlias.size());
    return true;
}

void TMainFormServices::SetOpenDBDlgFolder(const QString&) {}

bool TMainFormServices::ExecuteCreateTableDlg(QWidget*, TableReference&) { return false; }

void TMainFormServices::ExecuteTableEditDlg(QWidget*, Table&) {}

void TMainFormServices::ExecuteCopyDBDlg(QWidget*) {}

void TMainFormServices::ShowAboutBox(QWidget*) {}

void TMainFormServices::HelpContents(QWidget*) {}

void TMainFormServices::HelpKeywordSearch(QWidget*) {}

void TMainFormServices::SetWorkingFolderFrom(const QString& path)
{
    QString folder = FolderPart(path);
    if (folder.isEmpty()) return;
    if (folder.size() > 1) folder.chop(1);
    const QByteArray native = QFile::encodeName(folder);
    if (::chdir(native.constData()) != 0)
        throw std::runtime_error(folder.toStdString() + ": " + std::strerror(errno));
}

bool TMainFormServices::ConfirmDelete(QWidget* parent)
{
    return QMessageBox::question(parent, QGuiApplication::applicationDisplayName(),
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
    reopenMenu_ = menu;
    reopenClick_ = std::move(onClick);
    RebuildReopenMenu();
}

void TMainFormServices::SetReopenSettingsFile(const QString& fileName) { reopenSettingsFile_ = fileName; }

void TMainFormServices::LoadReopenEntries() { RebuildReopenMenu(); }

void TMainFormServices::AddReopenEntry(const QString& entry)
{
    for (qsizetype i = 0; i < reopenEntries_.size(); ++i)
        if (reopenEntries_[i].compare(entry, Qt::CaseInsensitive) == 0) reopenEntries_.removeAt(i--);
    reopenEntries_.prepend(entry);
    while (reopenEntries_.size() > 5) reopenEntries_.removeLast();
    RebuildReopenMenu();
}

void TMainFormServices::SaveReopenEntries() {}

void TMainFormServices::RebuildReopenMenu()
{
    if (!reopenMenu_) return;
    // The old items go later: this may run inside a click on one of them.
    for (QAction* old : reopenMenu_->actions()) {
        reopenMenu_->removeAction(old);
        old->deleteLater();
    }
    for (qsizetype i = 0; i < reopenEntries_.size(); ++i) {
        const QString entry = reopenEntries_[i];
        const QString name = entry.mid(FolderPart(entry).size());
        QAction* a = reopenMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(name));
        QObject::connect(a, &QAction::triggered, reopenMenu_, [this, entry] {
            const QString text = entry;
            if (reopenClick_) reopenClick_(text);
        });
    }
}

} // namespace tarnel::app
