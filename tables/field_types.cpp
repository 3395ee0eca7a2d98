#include "tables/field_types.h"

#include <QPainter>
#include <array>

using namespace tarnel;

namespace {

constexpr int kEntryRole = Qt::UserRole;

// Names for ordinals 0 to 17; nullptr where the type has none.
constexpr std::array<const char*, 18> kDesignNames = {
    nullptr, "String", "Small Integer", "Integer", "Word", "Boolean", "Float", "Currency",
    "BCD", "Date", "Time", "DateTime", "Bytes", "VarBytes", nullptr, "Blob", "Memo", "Graphic"};

constexpr std::array<const char*, 18> kDisplayNames = {
    "Unknown", "String", "Smallint", "Integer", "Word", "Boolean", "Float", "Currency",
    "BCD", "Date", "Time", "DateTime", "Bytes", "VarBytes", nullptr, "Blob", "Memo", "Graphic"};

void SetName(const std::array<const char*, 18>& names, int dataType, QString& text)
{
    if (dataType >= 0 && dataType < static_cast<int>(names.size()) && names[dataType])
        text = QString::fromLatin1(names[dataType]);
}

} // namespace

void FieldTypeName(int dataType, QString& text) { SetName(kDesignNames, dataType, text); }

void FieldTypeDisplayName(int dataType, QString& text) { SetName(kDisplayNames, dataType, text); }

bool IsNumberEntryType(int dataType)
{
    return (dataType >= ftSmallint && dataType <= ftWord) ||
           (dataType >= ftFloat && dataType <= ftDateTime);
}

std::uint8_t FieldTypeOfRow(int row)
{
    // Row 13 onward skips AutoInc, which cannot be created.
    return static_cast<std::uint8_t>(row <= 12 ? row + 1 : row + 2);
}

std::int32_t DefaultFieldSize(int dataType)
{
    switch (dataType) {
    case ftString: return 16;
    case ftBCD: return 4;
    case ftBytes:
    case ftVarBytes: return 8;
    default: return 0;
    }
}

bool IsValidFieldSize(int dataType, std::int32_t size)
{
    switch (dataType) {
    case ftString: return size >= 1 && size <= 255;
    case ftBCD: return size >= 0 && size <= 32;
    case ftBytes:
    case ftVarBytes: return size >= 1;
    case ftBlob:
    case ftMemo:
    case ftGraphic: return true;
    default: return size == 0;
    }
}

int AddFieldEntry(QListWidget* list, const QString& name, std::uint8_t dataType, std::int32_t size)
{
    auto* item = new QListWidgetItem(name);
    item->setData(kEntryRole, QVariant::fromValue(TFieldListID{dataType, size}));
    list->addItem(item);
    return list->count() - 1;
}

TFieldEntry GetFieldEntry(const QListWidget* list, int index)
{
    TFieldEntry entry;
    const QListWidgetItem* item = list->item(index);
    if (!item) return entry;
    entry.Name = item->text();
    auto id = item->data(kEntryRole).value<TFieldListID>();
    entry.DataType = id.DataType;
    entry.Size = id.Size;
    return entry;
}

void FieldEntryFromField(QListWidget* list, const FieldDef& field)
{
    std::int32_t size = IsValidFieldSize(field.type, field.size) ? field.size
                                                                 : DefaultFieldSize(field.type);
    AddFieldEntry(list, QString::fromStdString(field.name), field.type, size);
}

void TFieldEntryDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const
{
    const QRect r = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    const QColor background = selected ? QColor(192, 192, 192)
                                       : option.palette.color(QPalette::Active, QPalette::Base);

    const QString name = index.data(Qt::DisplayRole).toString();
    const auto id = index.data(kEntryRole).value<TFieldListID>();
    QString typeName;
    FieldTypeName(id.DataType, typeName);

    const QString head = name + QStringLiteral(" - ");
    const QString tail = typeName + QStringLiteral(" - ") + QString::number(id.Size);
    const QFontMetrics metrics(option.font);
    const int split = r.left() + 2 + metrics.horizontalAdvance(head);

    painter->save();
    painter->setFont(option.font);
    painter->fillRect(QRect(r.left(), r.top(), split - r.left(), r.height()), background);
    painter->fillRect(QRect(split, r.top(), r.right() - split + 1, r.height()), background);
    const int baseline = r.top() + (r.height() - metrics.height()) / 2 + metrics.ascent();
    painter->setPen(QColor(0, 0, 255));
    painter->drawText(QPoint(r.left() + 2, baseline), head);
    painter->setPen(QColor(255, 0, 0));
    painter->drawText(QPoint(split, baseline), tail);
    painter->restore();
}

QSize TFieldEntryDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return {kScrollExtent, QFontMetrics(option.font).height() + 2};
}

void InstallFieldEntryDrawing(QListWidget* list)
{
    list->setItemDelegate(new TFieldEntryDelegate(list));
    list->setUniformItemSizes(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}
