#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include "tables/field_types.h"

using namespace tarnel;

namespace {
QString DesignName(int type, QString start = {}) { FieldTypeName(type, start); return start; }
QString DisplayName(int type, QString start = {}) { FieldTypeDisplayName(type, start); return start; }
} // namespace

TEST(FieldTypeNames, TheTwoTablesDifferOnlyForSmallintAndUnknown)
{
    EXPECT_EQ(DesignName(ftSmallint), "Small Integer");
    EXPECT_EQ(DisplayName(ftSmallint), "Smallint");
    EXPECT_EQ(DesignName(ftUnknown), "");
    EXPECT_EQ(DisplayName(ftUnknown), "Unknown");
    for (int t = ftString; t <= ftGraphic; ++t) {
        if (t == ftSmallint || t == ftAutoInc) continue;
        EXPECT_EQ(DesignName(t), DisplayName(t)) << t;
        EXPECT_FALSE(DesignName(t).isEmpty()) << t;
    }
    EXPECT_EQ(DisplayName(ftDateTime), "DateTime");
    EXPECT_EQ(DisplayName(ftVarBytes), "VarBytes");
}

TEST(FieldTypeNames, TypesWithoutANameLeaveTheTextAlone)
{
    for (int t : {int(ftAutoInc), int(ftFmtMemo), int(ftFMTBcd), 38, 255, -1}) {
        EXPECT_EQ(DesignName(t, "keep"), "keep") << t;
        EXPECT_EQ(DisplayName(t, "keep"), "keep") << t;
    }
    EXPECT_EQ(DesignName(ftUnknown, "keep"), "keep");
}

TEST(FieldTypeRows, RowsSkipAutoInc)
{
    for (int r = 0; r <= 12; ++r) EXPECT_EQ(FieldTypeOfRow(r), r + 1);
    EXPECT_EQ(FieldTypeOfRow(12), ftVarBytes);
    EXPECT_EQ(FieldTypeOfRow(13), ftBlob);
    EXPECT_EQ(FieldTypeOfRow(14), ftMemo);
    EXPECT_EQ(FieldTypeOfRow(15), ftGraphic);
    // Every row has a design-list name.
    for (int r = 0; r < kFieldTypeRows; ++r) EXPECT_FALSE(DesignName(FieldTypeOfRow(r)).isEmpty());
}

TEST(FieldTypeSizes, DefaultsAreValidForCreatableTypes)
{
    EXPECT_EQ(DefaultFieldSize(ftString), 16);
    EXPECT_EQ(DefaultFieldSize(ftBCD), 4);
    EXPECT_EQ(DefaultFieldSize(ftBytes), 8);
    EXPECT_EQ(DefaultFieldSize(ftVarBytes), 8);
    EXPECT_EQ(DefaultFieldSize(ftFloat), 0);
    EXPECT_EQ(DefaultFieldSize(ftFMTBcd), 0);
    for (int r = 0; r < kFieldTypeRows; ++r) {
        int t = FieldTypeOfRow(r);
        EXPECT_TRUE(IsValidFieldSize(t, DefaultFieldSize(t))) << t;
    }
}

TEST(FieldTypeSizes, SizeRule)
{
    EXPECT_FALSE(IsValidFieldSize(ftString, 0));
    EXPECT_TRUE(IsValidFieldSize(ftString, 1));
    EXPECT_TRUE(IsValidFieldSize(ftString, 255));
    EXPECT_FALSE(IsValidFieldSize(ftString, 256));
    EXPECT_FALSE(IsValidFieldSize(ftString, 65537));   // would wrap to 1 in 16 bits
    EXPECT_FALSE(IsValidFieldSize(ftString, -1));

    EXPECT_TRUE(IsValidFieldSize(ftBCD, 0));
    EXPECT_TRUE(IsValidFieldSize(ftBCD, 32));
    EXPECT_FALSE(IsValidFieldSize(ftBCD, 33));
    EXPECT_FALSE(IsValidFieldSize(ftBCD, -4));

    for (int t : {int(ftBytes), int(ftVarBytes)}) {
        EXPECT_FALSE(IsValidFieldSize(t, 0));
        EXPECT_TRUE(IsValidFieldSize(t, 1));
        EXPECT_TRUE(IsValidFieldSize(t, 100000000));
    }
    for (int t : {int(ftBlob), int(ftMemo), int(ftGraphic)})
        for (int size : {-5, 0, 1, 1 << 30}) EXPECT_TRUE(IsValidFieldSize(t, size));

    for (int t : {int(ftUnknown), int(ftInteger), int(ftAutoInc), int(ftFmtMemo), int(ftFMTBcd)}) {
        EXPECT_TRUE(IsValidFieldSize(t, 0)) << t;
        EXPECT_FALSE(IsValidFieldSize(t, 1)) << t;
    }
}

TEST(FieldTypeSizes, NumberEntryTypes)
{
    std::vector<int> yes;
    for (int t = 0; t < kFieldTypeCount; ++t)
        if (IsNumberEntryType(t)) yes.push_back(t);
    EXPECT_EQ(yes, (std::vector<int>{ftSmallint, ftInteger, ftWord, ftFloat, ftCurrency, ftBCD,
                                     ftDate, ftTime, ftDateTime}));
}

TEST(FieldEntries, AddReadAndBuildFromFields)
{
    QListWidget list;
    EXPECT_EQ(AddFieldEntry(&list, "NAME", ftString, 30), 0);
    EXPECT_EQ(AddFieldEntry(&list, "DEPTH", ftFloat, 0), 1);

    FieldEntryFromField(&list, FieldDef{"LONG", ftString, 255, 3});
    FieldEntryFromField(&list, FieldDef{"SHORT", ftString, 20, 4});
    FieldEntryFromField(&list, FieldDef{"NUM", ftBCD, 40, 5});       // too big: default
    FieldEntryFromField(&list, FieldDef{"ID", ftAutoInc, 4, 6});     // fixed size: 0
    FieldEntryFromField(&list, FieldDef{"BIG", ftLargeint, 8, 7});

    ASSERT_EQ(list.count(), 7);
    auto e = GetFieldEntry(&list, 0);
    EXPECT_EQ(e.Name, "NAME");
    EXPECT_EQ(e.DataType, ftString);
    EXPECT_EQ(e.Size, 30);
    EXPECT_EQ(GetFieldEntry(&list, 2).Size, 255);
    EXPECT_EQ(GetFieldEntry(&list, 3).Size, 20);
    EXPECT_EQ(GetFieldEntry(&list, 4).Size, 4);
    EXPECT_EQ(GetFieldEntry(&list, 5).DataType, ftAutoInc);
    EXPECT_EQ(GetFieldEntry(&list, 5).Size, 0);
    EXPECT_EQ(GetFieldEntry(&list, 6).DataType, ftLargeint);
    EXPECT_EQ(DesignName(GetFieldEntry(&list, 6).DataType), "");

    // Records travel with their rows.
    QListWidgetItem* moved = list.takeItem(0);
    list.insertItem(1, moved);
    EXPECT_EQ(GetFieldEntry(&list, 1).Name, "NAME");
    EXPECT_EQ(GetFieldEntry(&list, 1).Size, 30);
    EXPECT_EQ(GetFieldEntry(&list, 0).DataType, ftFloat);
}

namespace {

// Renders row `row` of the list into an image as the list would.
QImage RenderRow(QListWidget& list, int row, bool selected)
{
    TFieldEntryDelegate delegate;
    QStyleOptionViewItem option;
    option.initFrom(&list);
    option.font = list.font();
    option.palette.setColor(QPalette::Base, Qt::white);
    QModelIndex index = list.model()->index(row, 0);
    QSize size = delegate.sizeHint(option, index);
    option.rect = QRect(QPoint(0, 0), QSize(400, size.height()));
    option.state = selected ? QStyle::State_Selected | QStyle::State_Enabled : QStyle::State_Enabled;
    QImage image(option.rect.size(), QImage::Format_RGB32);
    image.fill(Qt::green);
    QPainter painter(&image);
    delegate.paint(&painter, option, index);
    return image;
}

struct InkColumns { int firstBlue = -1, lastBlue = -1, firstRed = -1, lastRed = -1; };

// Where mostly-blue and mostly-red ink lies, by column.
InkColumns FindInk(const QImage& image)
{
    InkColumns ink;
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y) {
            QColor c = image.pixelColor(x, y);
            bool blue = c.blue() > 200 && c.red() < 120 && c.green() < 120;
            bool red = c.red() > 200 && c.blue() < 120 && c.green() < 120;
            if (blue) { if (ink.firstBlue < 0) ink.firstBlue = x; ink.lastBlue = x; }
            if (red) { if (ink.firstRed < 0) ink.firstRed = x; ink.lastRed = x; }
        }
    return ink;
}

} // namespace

TEST(FieldEntryDrawing, NameInBlueThenTypeAndSizeInRed)
{
    QListWidget list;
    AddFieldEntry(&list, "NAME", ftString, 30);
    for (bool selected : {false, true}) {
        QImage image = RenderRow(list, 0, selected);
        // The whole row is filled: no pixel of the green underlay is left.
        QColor corner = image.pixelColor(image.width() - 1, 0);
        EXPECT_EQ(corner, selected ? QColor(192, 192, 192) : QColor(Qt::white));
        EXPECT_EQ(image.pixelColor(0, image.height() - 1), corner);

        InkColumns ink = FindInk(image);
        ASSERT_GE(ink.firstBlue, 2) << selected;
        ASSERT_GT(ink.firstRed, ink.lastBlue) << selected;
        EXPECT_LT(ink.firstBlue, 10);
        // The red part starts where the name and " - " end.
        QFontMetrics metrics(list.font());
        int split = 2 + metrics.horizontalAdvance("NAME - ");
        EXPECT_NEAR(ink.firstRed, split, 3);
    }
}

TEST(FieldEntryDrawing, TypeWithoutNameStillShowsSize)
{
    QListWidget list;
    AddFieldEntry(&list, "ID", ftAutoInc, 0);
    InkColumns ink = FindInk(RenderRow(list, 0, false));
    ASSERT_GE(ink.firstRed, 0);
    QFontMetrics metrics(list.font());
    // " - 0" only: the red ink is narrower than a type name would make it.
    EXPECT_LT(ink.lastRed - ink.firstRed, metrics.horizontalAdvance("String - 0"));
}
