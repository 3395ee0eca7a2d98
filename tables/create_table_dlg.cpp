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
#include "controls/integer_spin.h"
#include "tables/field_types.h"

namespace tarnel {

namespace {

QLabel* Caption(const QString& text, QWidget* buddy)
{
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

} // namespace

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
    tableGrid->addWidget(Caption(QStringLiteral("Table Name"), TableNameEdit), 0, 0);
    tableGrid->addWidget(TableNameEdit, 1, 0);
    tableGrid->addWidget(Caption(QStringLiteral("Table Type"), TableTypeCombo), 0, 1);
    tableGrid->addWidget(TableTypeCombo, 1, 1);
    tableGrid->addWidget(Caption(QStringLiteral("Path/Alias"), PathEdit), 2, 0);
    tableGrid->addWidget(PathEdit, 3, 0);
    tableGrid->addWidget(BrowseBtn, 3, 1);

    FieldList = new QListWidget;
    InstallFieldEntryDrawing(FieldList);
    InsertBtn = new QPushButton(QStringLiteral("Add"));
    DeleteBtn = new QPushButton(QStringLiteral("Delete"));
    MoveUpBtn = new QToolButton;
    MoveUpBtn->setArrowType(Qt::UpArrow);
    MoveUpBtn->setToolTip(QStringLiteral("Move Up"));
    MoveDownBtn = new QToolButton;
    MoveDownBtn->setArrowType(Qt::DownArrow);
    MoveDownBtn->setToolTip(QStringLiteral("Move Down"));
    ClearBtn = new QPushButton(QStringLiteral("Clear"));
    FieldNameEdit = new QLineEdit;
    FieldTypesList = new QListWidget;
    FieldSizeSpin = new TIntegerSpin;
    FieldSizeSpin->setMinValue(0);
    FieldSizeSpin->setMaxValue(100000000);
    FieldSizeSpin->setIncrement(1);
    UseExistingBtn = new QPushButton(QStringLiteral("Use Existing DB Fields"));

    auto* fieldGroup = new QGroupBox(QStringLiteral("Field Parameters"));
    auto* fieldGrid = new QGridLayout(fieldGroup);
    fieldGrid->addWidget(Caption(QStringLiteral("Field List"), FieldList), 0, 0);
    fieldGrid->addWidget(FieldList, 1, 0, 6, 1);
    auto* listButtons = new QVBoxLayout;
    listButtons->addWidget(InsertBtn);
    listButtons->addWidget(DeleteBtn);
    auto* arrows = new QHBoxLayout;
    arrows->addWidget(MoveUpBtn);
    arrows->addWidget(MoveDownBtn);
    listButtons->addLayout(arrows);
    listButtons->addWidget(ClearBtn);
    listButtons->addStretch();
    fieldGrid->addLayout(listButtons, 1, 1, 6, 1);
    fieldGrid->addWidget(Caption(QStringLiteral("Field Name"), FieldNameEdit), 0, 2);
    fieldGrid->addWidget(FieldNameEdit, 1, 2);
    fieldGrid->addWidget(Caption(QStringLiteral("Field Types"), FieldTypesList), 2, 2);
    fieldGrid->addWidget(FieldTypesList, 3, 2);
    fieldGrid->addWidget(Caption(QStringLiteral("Field Size"), FieldSizeSpin), 4, 2);
    fieldGrid->addWidget(FieldSizeSpin, 5, 2);
    fieldGrid->addWidget(UseExistingBtn, 6, 2);
    fieldGrid->setColumnStretch(0, 2);
    fieldGrid->setColumnStretch(2, 1);

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
    layout->addWidget(fieldGroup, 1);
    layout->addLayout(buttons);
    resize(640, 520);

    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    SetHelpContext(this, HelpTopic);
    // Through the program's one help door, like every Help button.
    connect(HelpBtn, &QPushButton::clicked, this, [this] {
        if (const int topic = HelpButtonClick(HelpBtn)) emit helpRequested(topic);
    });
    connect(InsertBtn, &QPushButton::clicked, this, Guarded(this, [this] { InsertBtnClick(); }));
    connect(DeleteBtn, &QPushButton::clicked, this, Guarded(this, [this] { DeleteBtnClick(); }));
    connect(MoveUpBtn, &QToolButton::clicked, this, Guarded(this, [this] { MoveUpBtnClick(); }));
    connect(MoveDownBtn, &QToolButton::clicked, this, Guarded(this, [this] { MoveDownBtnClick(); }));
    connect(ClearBtn, &QPushButton::clicked, this, Guarded(this, [this] { ClearBtnClick(); }));
    connect(BrowseBtn, &QPushButton::clicked, this, Guarded(this, [this] { BrowseBtnClick(); }));
    connect(UseExistingBtn, &QPushButton::clicked, this, Guarded(this, [this] { UseExistingBtnClick(); }));
    FormCreate();
    connect(FieldTypesList, &QListWidget::currentRowChanged, this, Guarded(this, [this] { FieldTypesListClick(); }));
}

void TCreateTableDlg::FormCreate()
{
    TableTypeCombo->setCurrentIndex(0);
    for (int row = 0; row < kFieldTypeRows; ++row) {
        QString name;
        FieldTypeName(FieldTypeOfRow(row), name);
        FieldTypesList->addItem(name);
    }
    FieldTypesList->setCurrentRow(0);
    FieldTypesListClick();
    // The delegate gives every row the 1000-pixel scroll extent.
    FieldList->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
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
    for (int i = 0; i < FieldList->count(); ++i) {
        const TFieldEntry entry = GetFieldEntry(FieldList, i);
        table_.addFieldDef(entry.Name.toStdString(), static_cast<TFieldType>(entry.DataType), entry.Size, false);
    }
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

void TCreateTableDlg::InsertBtnClick()
{
    const QString name = FieldNameEdit->text();
    if (name.isEmpty()) return warn(QStringLiteral("No Field Name Specified"));
    for (int i = 0; i < FieldList->count(); ++i)
        if (GetFieldEntry(FieldList, i).Name.compare(name, Qt::CaseInsensitive) == 0)
            return warn(QStringLiteral("Field Name Already Used"));
    const std::uint8_t type = FieldTypeOfRow(FieldTypesList->currentRow());
    const qint64 size = FieldSizeSpin->Value();
    if (!IsValidFieldSize(type, static_cast<std::int32_t>(size))) return warn(QStringLiteral("Invalid Field Size"));
    AddFieldEntry(FieldList, name, type, static_cast<std::int32_t>(size));
}

void TCreateTableDlg::DeleteBtnClick()
{
    const int row = FieldList->currentRow();
    if (row < 0 || !FieldList->currentItem()->isSelected()) return;
    delete FieldList->takeItem(row);
    FieldList->setCurrentRow(-1);
    FieldList->clearSelection();
}

void TCreateTableDlg::swapEntries(int a, int b)
{
    // b is the selected entry; it ends up at a, still selected.
    QListWidgetItem* moved = FieldList->takeItem(b);
    FieldList->insertItem(a, moved);
    FieldList->setCurrentRow(a);
}

void TCreateTableDlg::MoveUpBtnClick()
{
    const int row = FieldList->currentRow();
    if (row >= 1 && FieldList->currentItem()->isSelected()) swapEntries(row - 1, row);
}

void TCreateTableDlg::MoveDownBtnClick()
{
    const int row = FieldList->currentRow();
    if (row >= 0 && row + 1 < FieldList->count() && FieldList->currentItem()->isSelected()) swapEntries(row + 1, row);
}

void TCreateTableDlg::ClearBtnClick() { FieldList->clear(); }

void TCreateTableDlg::FieldTypesListClick()
{
    const int row = FieldTypesList->currentRow();
    if (row < 0) return;
    FieldSizeSpin->setValue(DefaultFieldSize(FieldTypeOfRow(row)));
}

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
    FieldList->clear();
    for (const FieldDef& field : table_.fields()) FieldEntryFromField(FieldList, field);
    table_.close();
}

} // namespace tarnel
