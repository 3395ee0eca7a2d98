#pragma once
// Typing and clicking into the field controls of the table-design dialogs.
#include <QLineEdit>
#include <QListWidget>
#include <QStringList>
#include <QTest>

#include "tables/field_types.h"

namespace tarnel::test {

inline void ClickRow(QListWidget* list, int row)
{
    list->scrollToItem(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

// The row of the "Field Types" list that shows a design-list name.
inline int RowOfType(const char* name)
{
    for (int row = 0; row < kFieldTypeRows; ++row) {
        QString text;
        FieldTypeName(FieldTypeOfRow(row), text);
        if (text == QLatin1String(name)) return row;
    }
    return -1;
}

// Replaces the text of an edit as the user would.
inline void Type(QLineEdit* edit, const QString& text)
{
    edit->selectAll();
    if (text.isEmpty()) QTest::keyClick(edit, Qt::Key_Delete);
    else QTest::keyClicks(edit, text);
}

inline QStringList EntryNames(const QListWidget* list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i) names << GetFieldEntry(list, i).Name;
    return names;
}

} // namespace tarnel::test
