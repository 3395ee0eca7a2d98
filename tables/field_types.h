#pragma once
// The program's vocabulary of field data types: the two name tables, the
// default sizes and the size rule, the number-entry types, and the field
// entries that the table-design lists hold.
#include <QListWidget>
#include <QMetaType>
#include <QString>
#include <QStyledItemDelegate>
#include <cstdint>
#include <string>

#include "engine/dataset.h"
#include "engine/engine_types.h"

// The record attached to each row of a design field list.
struct TFieldListID {
    std::uint8_t DataType = tarnel::ftUnknown;   // ordinal of the engine's field type
    std::int32_t Size = 0;
};
Q_DECLARE_METATYPE(TFieldListID)

// One row of a design field list, as read back.
struct TFieldEntry {
    QString Name;
    std::uint8_t DataType = tarnel::ftUnknown;
    std::int32_t Size = 0;
};

// Number of rows of the "Field Types" list of the design dialogs.
inline constexpr int kFieldTypeRows = 16;

// The design-list name ("Small Integer", "String"...). Leaves text unchanged
// for the types that have none (Unknown, AutoInc, ordinals 18 and above).
void FieldTypeName(int dataType, QString& text);
// The main-window name ("Smallint", "Unknown"...). Leaves text unchanged for
// the types that have none (AutoInc, ordinals 18 and above).
void FieldTypeDisplayName(int dataType, QString& text);

// Smallint, Integer, Word, Float, Currency, BCD, Date, Time, DateTime.
bool IsNumberEntryType(int dataType);
// The data type of a row (0 to 15) of the "Field Types" list.
std::uint8_t FieldTypeOfRow(int row);
// 16 for String, 4 for BCD, 8 for Bytes and VarBytes, 0 otherwise.
std::int32_t DefaultFieldSize(int dataType);
// Whether a field of the type may be declared with this size.
bool IsValidFieldSize(int dataType, std::int32_t size);

// Appends a row with the name as its text and a TFieldListID holding type and
// size; returns its index. Checks nothing.
int AddFieldEntry(QListWidget* list, const QString& name, std::uint8_t dataType, std::int32_t size);
// The name, type and size of a row.
TFieldEntry GetFieldEntry(const QListWidget* list, int index);
// Appends a row for an existing field of an open table; a declared size that
// the size rule rejects becomes the type's default size.
void FieldEntryFromField(QListWidget* list, const tarnel::FieldDef& field);

// Draws a design field list's rows: the name and " - " in blue, then the type
// name, " - " and the size in red, on silver when the row is selected. Rows
// are one line high and 1000 pixels wide, so long lines can be scrolled to.
class TFieldEntryDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static constexpr int kScrollExtent = 1000;
};

// Gives a design field list the drawing above (the delegate is owned by the list).
void InstallFieldEntryDrawing(QListWidget* list);
