#include "shell/help_request.h"
#include "tables/create_table_dlg.h"

#include <QComboBox>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>
#include <filesystem>

#include "controls/error_guard.h"
#include "tables/field_list_editor.h"

namespace tarnel {

TCreateTableDlg::TCreateTableDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Create New Data Base"));
    QFont bold(QStringLiteral("Sans Serif"), 8);
    bold.setBold(true);
    setFont(bold);

    TableNameEdit = new QLineEdit;
    TableTypeCombo = new QComboBox;
    TableTypeCombo->addItems({QStringLiteral("Default"), QStringLiteral("Paradox"), QStringLiteral("DBase"),
                              QStringLiteral("Fox Pro"), QStringLiteral("ASCII")});
    PathEdit = new QLineEdit;
    BrowseBtn = new QPushButton(QStringLiteral("Browse Path/Alias"));

    auto* tableGroup = new QGroupBox(QStringLiteral("Table Parameter"));
    auto* tableGrid = new QGridLayout(tableGroup);
    tableGrid->addWidget(BuddyCaption(QStringLiteral("Table Name"), TableNameEdit), 0, 0);
    tableGrid->addWidget(TableNameEdit, 1, 0);
    tableGrid->addWidget(BuddyCaption(QStringLiteral("Table Type"), TableTypeCombo), 0, 1);
    tableGrid->addWidget(TableTypeCombo, 1, 1);
    tableGrid->addWidget(BuddyCaption(QStringLiteral("Path/Alias"), PathEdit), 2, 0);
    tableGrid->addWidget(PathEdit, 3, 0);
    tableGrid->addWidget(BrowseBtn, 3, 1);

    fields_ = new TFieldListEditor(this);
    static_cast<TFieldControls&>(*this) = *fields_;
    ClearBtn = new QPushButton(QStringLiteral("Clear"));
    fields_->addListButton(ClearBtn);
    UseExistingBtn = new QPushButton(QStringLiteral("Use Existing DB Fields"));
    fields_->addEntryControl(UseExistingBtn);

    OKBtn = new QPushButton(QStringLiteral("OK"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"));
    HelpBtn = new QPushButton(QStringLiteral("Help"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    buttons->addWidget(HelpBtn);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tableGroup);
    layout->addWidget(fields_->Group, 1);
    layout->addLayout(buttons);
    resize(640, 520);

    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    SetHelpContext(this, HelpTopic);
    ConnectHelpButton(HelpBtn, this, &TCreateTableDlg::helpRequested);
    connect(ClearBtn, &QPushButton::clicked, this, Guarded(this, [this] { ClearBtnClick(); }));
    connect(BrowseBtn, &QPushButton::clicked, this, Guarded(this, [this] { BrowseBtnClick(); }));
    connect(UseExistingBtn, &QPushButton::clicked, this, Guarded(this, [this] { UseExistingBtnClick(); }));
    FormCreate();
}

void TCreateTableDlg::FormCreate()
{
    // The field list and its type list set themselves up (row 0, "String",
    // size 16; rows 1000 pixels wide).
    TableTypeCombo->setCurrentIndex(0);
}

bool TCreateTableDlg::ExecuteCreateTableDlg(TableReference& created)
{
    if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
    if (exec() != QDialog::Accepted) return false;
    if (PathEdit->text().isEmpty()) {
        warn(QStringLiteral("No Path/Alias Specified"));
        return false;
    }
    if (TableNameEdit->text().isEmpty()) {
        warn(QStringLiteral("No Table Name Specified"));
        return false;
    }
    table_.close();
    table_.setDatabaseName(PathEdit->text().toStdString());
    table_.setTableName(TableNameEdit->text().toStdString());
    table_.setTableType(static_cast<TableType>(TableTypeCombo->currentIndex()));
    table_.clearFieldDefs();
    for (const FieldDef& f : fields_->Fields()) table_.addFieldDef(f.name, f.type, f.size, false);
    // A typing slip must not wipe out a table's rows: ask before replacing one.
    std::error_code ec;
    if (std::filesystem::exists(table_.resolvePath(), ec)
        && !AskYesNo(this, ApplicationTitle(),
                     QStringLiteral("Replace the existing table %1?").arg(TableNameEdit->text())))
        return false;
    table_.createTable();
    created.DatabaseName = QString::fromStdString(table_.databaseName());
    created.TableName = QString::fromStdString(table_.tableName());
    created.TableType = table_.tableType();
    return true;
}

void TCreateTableDlg::warn(const QString& text) { ShowWarningBox(this, windowTitle(), text); }

void TCreateTableDlg::ClearBtnClick() { FieldList->clear(); }

void TCreateTableDlg::BrowseBtnClick()
{
    if (!ChoosePathAlias) return;
    QString pathOrAlias = PathEdit->text();
    if (ChoosePathAlias(pathOrAlias)) PathEdit->setText(pathOrAlias);
}

void TCreateTableDlg::UseExistingBtnClick()
{
    if (!ChooseTable) return;
    QString pathOrAlias, tableName;
    if (!ChooseTable(pathOrAlias, tableName)) return;
    table_.close();
    table_.setDatabaseName(pathOrAlias.toStdString());
    table_.setTableName(tableName.toStdString());
    table_.open();
    fields_->LoadFields(table_.fields());
    table_.close();
}

} // namespace tarnel
