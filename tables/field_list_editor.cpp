#include "tables/field_list_editor.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "controls/error_guard.h"
#include "controls/integer_spin.h"
#include "tables/field_types.h"

namespace tarnel {

QLabel* BuddyCaption(const QString& text, QWidget* buddy)
{
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

namespace {

// The size an entry shows for an existing field (see FieldEntryFromField).
std::int32_t ListedSize(const FieldDef& field)
{
    return IsValidFieldSize(field.type, field.size) ? field.size : DefaultFieldSize(field.type);
}

} // namespace

TFieldListEditor::TFieldListEditor(QWidget* owner) : QObject(owner), owner_(owner)
{
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
    FieldNameEdit = new QLineEdit;
    FieldTypesList = new QListWidget;
    FieldSizeSpin = new TIntegerSpin;
    FieldSizeSpin->setMinValue(0);
    FieldSizeSpin->setMaxValue(100000000);
    FieldSizeSpin->setIncrement(1);

    Group = new QGroupBox(QStringLiteral("Field Parameters"));
    grid_ = new QGridLayout(Group);
    grid_->addWidget(BuddyCaption(QStringLiteral("Field List"), FieldList), 0, 0);
    grid_->addWidget(FieldList, 1, 0, 6, 1);
    listButtons_ = new QVBoxLayout;
    listButtons_->addWidget(InsertBtn);
    listButtons_->addWidget(DeleteBtn);
    auto* arrows = new QHBoxLayout;
    arrows->addWidget(MoveUpBtn);
    arrows->addWidget(MoveDownBtn);
    listButtons_->addLayout(arrows);
    listButtons_->addStretch();
    grid_->addLayout(listButtons_, 1, 1, 6, 1);
    grid_->addWidget(BuddyCaption(QStringLiteral("Field Name"), FieldNameEdit), 0, 2);
    grid_->addWidget(FieldNameEdit, 1, 2);
    grid_->addWidget(BuddyCaption(QStringLiteral("Field Types"), FieldTypesList), 2, 2);
    grid_->addWidget(FieldTypesList, 3, 2);
    grid_->addWidget(BuddyCaption(QStringLiteral("Field Size"), FieldSizeSpin), 4, 2);
    grid_->addWidget(FieldSizeSpin, 5, 2);
    grid_->setColumnStretch(0, 2);
    grid_->setColumnStretch(2, 1);

    for (int row = 0; row < kFieldTypeRows; ++row) {
        QString name;
        FieldTypeName(FieldTypeOfRow(row), name);
        FieldTypesList->addItem(name);
    }
    FieldTypesList->setCurrentRow(0);
    FieldTypesListClick();

    connect(InsertBtn, &QPushButton::clicked, this, Guarded(owner, [this] { InsertBtnClick(); }));
    connect(DeleteBtn, &QPushButton::clicked, this, Guarded(owner, [this] { DeleteBtnClick(); }));
    connect(MoveUpBtn, &QToolButton::clicked, this, Guarded(owner, [this] { MoveUpBtnClick(); }));
    connect(MoveDownBtn, &QToolButton::clicked, this, Guarded(owner, [this] { MoveDownBtnClick(); }));
    connect(FieldTypesList, &QListWidget::currentRowChanged, this, Guarded(owner, [this] { FieldTypesListClick(); }));
}

void TFieldListEditor::addListButton(QWidget* button) { listButtons_->insertWidget(listButtons_->count() - 1, button); }

void TFieldListEditor::addEntryControl(QWidget* control) { grid_->addWidget(control, 6, 2); }

void TFieldListEditor::warn(const QString& text) { ShowWarningBox(owner_, owner_->windowTitle(), text); }

void TFieldListEditor::InsertBtnClick()
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

void TFieldListEditor::DeleteBtnClick()
{
    const int row = FieldList->currentRow();
    if (row < 0 || !FieldList->currentItem()->isSelected()) return;
    delete FieldList->takeItem(row);
    FieldList->setCurrentRow(-1);
    FieldList->clearSelection();
}

void TFieldListEditor::moveSelected(int to)
{
    // The entry takes its record along and stays selected at its new place.
    QListWidgetItem* moved = FieldList->takeItem(FieldList->currentRow());
    FieldList->insertItem(to, moved);
    FieldList->setCurrentRow(to);
}

void TFieldListEditor::MoveUpBtnClick()
{
    const int row = FieldList->currentRow();
    if (row >= 1 && FieldList->currentItem()->isSelected()) moveSelected(row - 1);
}

void TFieldListEditor::MoveDownBtnClick()
{
    const int row = FieldList->currentRow();
    if (row >= 0 && row + 1 < FieldList->count() && FieldList->currentItem()->isSelected()) moveSelected(row + 1);
}

void TFieldListEditor::FieldTypesListClick()
{
    const int row = FieldTypesList->currentRow();
    if (row < 0) return;
    FieldSizeSpin->setValue(DefaultFieldSize(FieldTypeOfRow(row)));
}

void TFieldListEditor::LoadFields(const std::vector<FieldDef>& fields)
{
    FieldList->clear();
    for (const FieldDef& field : fields) FieldEntryFromField(FieldList, field);
}

std::vector<FieldDef> TFieldListEditor::Fields(const std::vector<FieldDef>& existing) const
{
    std::vector<FieldDef> defs;
    for (int i = 0; i < FieldList->count(); ++i) {
        const TFieldEntry entry = GetFieldEntry(FieldList, i);
        FieldDef def;
        def.name = entry.Name.toStdString();
        def.type = static_cast<TFieldType>(entry.DataType);
        def.size = entry.Size;
        for (const FieldDef& old : existing)
            if (SameText(old.name, def.name) && old.type == def.type && ListedSize(old) == def.size) {
                def.size = old.size;
                def.decimals = old.decimals;
                break;
            }
        def.number = i + 1;
        defs.push_back(def);
    }
    return defs;
}

} // namespace tarnel
