// Filling the two field lists and reading the selected field's use.
#include "query/field_lists.h"

#include "tables/field_types.h"

namespace tarnel::query {

int SelectedRow(const QListWidget* list)
{
    if (!list) return -1;
    const QListWidgetItem* current = list->currentItem();
    if (current && current->isSelected()) return list->row(current);
    const auto selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.front());
}

void FillFieldListBoxes(QListWidget* fieldList1, QListWidget* fieldList2,
                        const std::vector<FieldDef>& fields)
{
    if (fieldList1) fieldList1->clear();
    if (fieldList2) fieldList2->clear();
    for (const auto& field : fields) {
        const QString name = QString::fromStdString(field.name);
        if (fieldList1) fieldList1->addItem(name);
        if (fieldList2) fieldList2->addItem(name);
    }
    if (fields.empty()) return;
    if (fieldList1) fieldList1->setCurrentRow(0);
    if (fieldList2) fieldList2->setCurrentRow(0);
}

TCaveFieldChoice CaveFieldChoice(const QListWidget* fieldList2, const std::vector<FieldDef>& fields)
{
    TCaveFieldChoice choice;
    const int row = SelectedRow(fieldList2);
    if (row < 0 || row >= static_cast<int>(fields.size())) return choice;
    const int type = fields[static_cast<size_t>(row)].type;
    choice.Selected = true;
    FieldTypeDisplayName(type, choice.TypeName);
    choice.NumberField = IsNumberEntryType(type);
    choice.StationField = type == ftString;
    return choice;
}

} // namespace tarnel::query
