#include "workspace/open_db_dlg.h"

#include "shell/help_request.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "controls/error_guard.h"
#include "engine/aliases.h"
#include "engine/pg/pg_connection.h"
#include "shell/system_support.h"
#include "workspace/folder_widgets.h"

namespace tarnel {

namespace {

// Description and pattern list of each choice of "List Files Of Type".
const char* const Filters =
    "All Database Files|*.DBF;*.DB;*.TXT|DBase Files|*.DBF|Paradox Files|*.DB|"
    "ASCII File|*.TXT|All files (*.*)|*.*";

QStringList ToQt(const std::vector<std::string>& names)
{
    QStringList list;
    for (const auto& n : names) list << QString::fromStdString(n);
    return list;
}

} // namespace

TOpenDBDlg::TOpenDBDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Select Database File/Alias"));

    // "Files" page.
    auto* filesPage = new QWidget;
    auto* filesBox = new QGroupBox(QStringLiteral("Data Base Files"));
    auto* fileNameLabel = new QLabel(QStringLiteral("File Name"));
    FileEdit1 = new QLineEdit(QStringLiteral("*.*"));
    FileList1 = new TFileList;
    auto* typeLabel = new QLabel(QStringLiteral("List Files Of Type"));
    Filter1 = new QComboBox;
    auto* dirLabel = new QLabel(QStringLiteral("Directories:"));
    PathLabel = new QLabel;
    PathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    PathLabel->setMinimumWidth(200);
    PathLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    DirList1 = new TFolderList;
    auto* driveLabel = new QLabel(QStringLiteral("Drives"));
    DriveCombo1 = new TDriveCombo;
    fileNameLabel->setBuddy(FileEdit1);
    typeLabel->setBuddy(Filter1);
    dirLabel->setBuddy(DirList1);
    driveLabel->setBuddy(DriveCombo1);

    const QStringList parts = QString::fromLatin1(Filters).split('|');
    for (int i = 0; i + 1 < parts.size(); i += 2) Filter1->addItem(parts[i], parts[i + 1]);

    auto* filesGrid = new QGridLayout(filesBox);
    filesGrid->addWidget(fileNameLabel, 0, 0);
    filesGrid->addWidget(FileEdit1, 1, 0);
    filesGrid->addWidget(FileList1, 2, 0);
    filesGrid->addWidget(typeLabel, 3, 0);
    filesGrid->addWidget(Filter1, 4, 0);
    filesGrid->addWidget(dirLabel, 0, 1);
    filesGrid->addWidget(PathLabel, 1, 1);
    filesGrid->addWidget(DirList1, 2, 1);
    filesGrid->addWidget(driveLabel, 3, 1);
    filesGrid->addWidget(DriveCombo1, 4, 1);
    filesGrid->setColumnStretch(0, 1);
    filesGrid->setColumnStretch(1, 1);
    filesGrid->setRowStretch(2, 1);
    (new QVBoxLayout(filesPage))->addWidget(filesBox);

    // "Aliases" page.
    auto* aliasPage = new QWidget;
    auto* aliasBox = new QGroupBox(QStringLiteral("Alias/Tables"));
    auto* aliasLabel = new QLabel(QStringLiteral("Alias List"));
    AliasList = new QListWidget;
    auto* aliasHint = new QLabel(QStringLiteral("1. Select Alias"));
    auto* tableLabel = new QLabel(QStringLiteral("Table List"));
    TableList = new QListWidget;
    auto* tableHint = new QLabel(QStringLiteral("2. Select Table"));
    aliasLabel->setBuddy(AliasList);
    tableLabel->setBuddy(TableList);
    auto* aliasGrid = new QGridLayout(aliasBox);
    aliasGrid->addWidget(aliasLabel, 0, 0);
    aliasGrid->addWidget(AliasList, 1, 0);
    aliasGrid->addWidget(aliasHint, 2, 0);
    aliasGrid->addWidget(tableLabel, 0, 1);
    aliasGrid->addWidget(TableList, 1, 1);
    aliasGrid->addWidget(tableHint, 2, 1);
    aliasGrid->setRowStretch(1, 1);
    (new QVBoxLayout(aliasPage))->addWidget(aliasBox);

    PageControl1 = new QTabWidget;
    PageControl1->addTab(filesPage, QStringLiteral("Files"));
    PageControl1->addTab(aliasPage, QStringLiteral("Aliases"));

    // Right-hand column.
    UseFileChk = new QCheckBox(QStringLiteral("Use File"));
    UseAliasChk = new QCheckBox(QStringLiteral("Use Alias"));
    OKBtn = new QPushButton(QStringLiteral("OK"));
    CancelBtn = new QPushButton(QStringLiteral("Cancel"));
    HelpBtn = new QPushButton(QStringLiteral("Help"));
    OKBtn->setDefault(true);
    auto* right = new QVBoxLayout;
    right->addWidget(UseFileChk);
    right->addWidget(UseAliasChk);
    right->addStretch(1);
    right->addWidget(OKBtn);
    right->addWidget(CancelBtn);
    right->addWidget(HelpBtn);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(right);
    resize(620, 400);

    fileControls_ = {fileNameLabel, typeLabel, driveLabel, dirLabel, FileEdit1, FileList1,
                     Filter1,       DirList1,  DriveCombo1, PathLabel};
    aliasControls_ = {aliasLabel, tableLabel, AliasList, TableList};

    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    SetHelpContext(this, HelpTopic);
    ConnectHelpButton(HelpBtn, this, &TOpenDBDlg::helpRequested);
    connect(UseFileChk, &QCheckBox::toggled, this, Guarded(this, [this] { UseFileChkClick(); }));
    connect(UseAliasChk, &QCheckBox::toggled, this, Guarded(this, [this] { UseAliasChkClick(); }));
    connect(AliasList, &QListWidget::currentRowChanged, this, Guarded(this, [this] {
        if (!fillingAliases_) AliasListClick();
    }));
    // A click on the alias that is selected already must read its tables too.
    connect(AliasList, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        RunGuarded(this, [&] {
            if (item && item->text() != tableListAlias_) AliasListClick();
        });
    });
    connect(TableList, &QListWidget::itemActivated, this, Guarded(this, [this] { TableListDblClick(); }));
    connect(FileList1, &QListWidget::itemActivated, this, Guarded(this, [this] { TableListDblClick(); }));
    connect(FileList1, &TFileList::selectionChanged, this, Guarded(this, [this] { FileList1Change(); }));
    connect(Filter1, &QComboBox::currentIndexChanged, this, Guarded(this, [this] {
        FileList1->setMask(Filter1->currentData().toString());
        Filter1Change();
    }));
    connect(DriveCombo1, &TDriveCombo::driveChanged, this, [this](const QString& root) {
        RunGuarded(this, [&] {
            if (!RunGuarded(this, [&] { DirList1->setFolder(root); }))
                DriveCombo1->followFolder(DirList1->folder());
            DriveCombo1Change();
        });
    });
    connect(DirList1, &TFolderList::folderChanged, this, Guarded(this, [this] { DirList1Change(); }));

    FormCreate();
}

void TOpenDBDlg::FormCreate()
{
    FileList1->setMask(Filter1->currentData().toString());
    DriveCombo1->followFolder(DirList1->folder());
    PathLabel->setText(DirList1->folder());
    PageControl1->setCurrentIndex(0);
    UseFileChk->setChecked(true);
    UseAliasChk->setChecked(false);
    // The toggles only report changes: make sure the groups match the boxes.
    ApplySourceChoice();
}

void TOpenDBDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    OKBtn->setFocus();
}

// The folder the file list shows. The label names the files the list holds,
// which after a new use may lie in another folder than the tree shows.
QString TOpenDBDlg::listFolder() const
{
    return FileList1->directory();
}

bool TOpenDBDlg::ExecuteOpenDBDlg(QString& pathOrAlias, QString& tableName)
{
    FileList1->setDirectory(QString::fromStdString(CurrentFolder()));
    bool anyAlias = FillAliasList();
    UseAliasChk->setEnabled(anyAlias);
    ApplySourceChoice();

    if (exec() != QDialog::Accepted) return false;

    if (UseAliasChk->isChecked()) {
        QListWidgetItem* alias = AliasList->currentItem();
        QListWidgetItem* table = TableList->currentItem();
        if (TableList->count() == 0 || !alias || !table) {
            ShowWarningBox(this, QStringLiteral("Warning"), QStringLiteral("Invalid Alias"));
            return false;
        }
        pathOrAlias = alias->text();
        tableName = table->text();
        return true;
    }
    const QString path = FileList1->fullPath();
    if (path.isEmpty() || !QFileInfo(path).isFile()) return false;
    qsizetype slash = path.lastIndexOf('/');
    pathOrAlias = path.left(slash + 1);
    tableName = path.mid(slash + 1);
    return true;
}

bool TOpenDBDlg::FillAliasList()
{
    const QStringList names = ToQt(AliasNames());
    fillingAliases_ = true;
    AliasList->clear();
    AliasList->addItems(names);
    if (!names.isEmpty()) {
        // Keep the alias and its table list together: select the alias whose
        // tables are shown, when it is still there; else the first alias.
        int row = tableListAlias_.isEmpty() ? -1 : static_cast<int>(names.indexOf(tableListAlias_));
        if (row < 0 && !tableListAlias_.isEmpty()) {
            TableList->clear();
            tableListAlias_.clear();
        }
        AliasList->setCurrentRow(row < 0 ? 0 : row);
        AliasList->update();
    } else if (!tableListAlias_.isEmpty()) {
        TableList->clear();
        tableListAlias_.clear();
    }
    fillingAliases_ = false;
    return !names.isEmpty();
}

void TOpenDBDlg::EnableFileControls(bool flag)
{
    for (QWidget* w : fileControls_) w->setEnabled(flag);
}

void TOpenDBDlg::EnableAliasControls(bool flag)
{
    for (QWidget* w : aliasControls_) w->setEnabled(flag);
}

void TOpenDBDlg::ApplySourceChoice()
{
    EnableAliasControls(UseAliasChk->isChecked());
    EnableFileControls(UseFileChk->isChecked());
}

void TOpenDBDlg::done(int result)
{
    if (result == QDialog::Accepted && !FormCloseQuery()) return;
    QDialog::done(result);
}

bool TOpenDBDlg::FormCloseQuery()
{
    if (!UseFileChk->isChecked()) return true;
    const QString typed = FileEdit1->text().trimmed();
    if (pg::IsServerLocation(typed.toStdString())) {
        ListServerTables(typed);
        return false;
    }
    const QString path = FileList1->fullPath();
    if (!path.isEmpty() && QFileInfo(path).isFile()) return true;
    // Nothing chosen: what was typed into "File Name" filters the list.
    FileList1->setMask(FileEdit1->text());
    return false;
}

void TOpenDBDlg::UseFileChkClick()
{
    UseAliasChk->setChecked(!UseFileChk->isChecked());
    ApplySourceChoice();
}

void TOpenDBDlg::UseAliasChkClick()
{
    UseFileChk->setChecked(!UseAliasChk->isChecked());
    ApplySourceChoice();
}

void TOpenDBDlg::AliasListClick()
{
    QListWidgetItem* alias = AliasList->currentItem();
    if (!alias) return;
    QStringList tables;
    try {
        tables = ToQt(AliasTableNames(alias->text().toStdString()));
    } catch (const std::exception& e) {
        ShowErrorBox(this, QString::fromStdString(e.what()));
        return;
    }
    TableList->clear();
    TableList->addItems(tables);
    tableListAlias_ = alias->text();
    if (!tables.isEmpty()) TableList->setCurrentRow(0);
}

// A server URI typed as the file name opens that database as an alias of it
// does: it joins the alias list, and its tables are listed to choose from.
void TOpenDBDlg::ListServerTables(const QString& uri)
{
    QStringList tables;
    try {
        tables = ToQt(AliasTableNames(uri.toStdString()));
    } catch (const std::exception& e) {
        ShowErrorBox(this, QString::fromStdString(e.what()));
        return;
    }
    fillingAliases_ = true;
    const QList<QListWidgetItem*> listed = AliasList->findItems(uri, Qt::MatchExactly);
    AliasList->setCurrentItem(listed.isEmpty() ? new QListWidgetItem(uri, AliasList) : listed.first());
    fillingAliases_ = false;
    TableList->clear();
    TableList->addItems(tables);
    tableListAlias_ = uri;
    if (!tables.isEmpty()) TableList->setCurrentRow(0);
    UseAliasChk->setEnabled(true);
    UseAliasChk->setChecked(true);
    PageControl1->setCurrentIndex(1);
    TableList->setFocus();
}

void TOpenDBDlg::TableListDblClick()
{
    accept();   // the same as OK, close check included
}

void TOpenDBDlg::FileList1Change()
{
    const QString name = FileList1->fileName();
    if (!name.isEmpty()) FileEdit1->setText(name);
    const QString folder = listFolder();
    const QString sep = folder.endsWith('/') ? QString() : QStringLiteral("/");
    PathLabel->setText(folder + sep + name);
}

void TOpenDBDlg::Filter1Change()
{
    FileEdit1->setText(FileList1->mask());
    PathLabel->setText(listFolder());
}

void TOpenDBDlg::DriveCombo1Change()
{
    PathLabel->setText(DirList1->folder());
}

void TOpenDBDlg::DirList1Change()
{
    FileList1->setDirectory(DirList1->folder());
    DriveCombo1->followFolder(DirList1->folder());
    PathLabel->setText(DirList1->folder());
}

void TOpenDBDlg::setDirectory(const QString& folderOrAlias)
{
    if (!folderOrAlias.contains('/')) {
        std::string folder;
        if (LookupAlias(folderOrAlias.toStdString(), folder)) return;
    }
    DirList1->setFolder(folderOrAlias);   // moves the file list, drive and label along
}

QString TOpenDBDlg::directory() const
{
    return DirList1->folder();
}

} // namespace tarnel
