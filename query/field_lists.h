#pragma once
// The two field lists of the main window ("Fields" on the query builder,
// "Available Fields" on the query page): both hold the open table's field
// names in the table's order, so list index i is field descriptor i.
#include <QListWidget>
#include <QString>
#include <vector>

#include "engine/dataset.h"

namespace tarnel::query {

// The selected row of a single-choice list, or -1.
int SelectedRow(const QListWidget* list);

// Clears both lists, adds every field's name to each, and selects the first
// row of each when there is one. Either list may be null.
void FillFieldListBoxes(QListWidget* fieldList1, QListWidget* fieldList2,
                        const std::vector<FieldDef>& fields);

// What the field selected in "Available Fields" may be used as.
struct TCaveFieldChoice {
    bool Selected = false;
    QString TypeName;            // main-window name of its type; empty without selection
    bool NumberField = false;    // a number-entry type
    bool StationField = false;   // a String
};
TCaveFieldChoice CaveFieldChoice(const QListWidget* fieldList2, const std::vector<FieldDef>& fields);

} // namespace tarnel::query
