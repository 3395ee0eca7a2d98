#include <QApplication>
#include <QSignalSpy>
#include <QTableView>
#include <gtest/gtest.h>
#include <set>

#include "engine/error.h"
#include "engine/table.h"
#include "controls/dataset_model.h"
#include "tests/support/test_paths.h"

using namespace tarnel;

namespace {
// A read-only data set of `count` rows that records which rows were read.
class CountingDataSet : public DataSet {
public:
    explicit CountingDataSet(std::int64_t count) : count_(count)
    {
        fields_.push_back(FieldDef{"ID", ftInteger, 0, 1, 0, false});
        fields_.push_back(FieldDef{"NOTES", ftMemo, 0, 2, 0, false});
        setCursor(0, count == 0);
    }
    bool active() const override { return true; }
    const std::vector<FieldDef>& fields() const override { return fields_; }
    std::int64_t recordCount() const override { return count_; }
    void moveTo(std::int64_t row) override
    {
        ++moves;
        if (row >= count_) setCursor(count_, true);
        else setCursor(row, false);
        notify(ChangeKind::Cursor);
    }
    Value value(int field) const override
    {
        requireRow();
        return valueAt(row(), field);
    }
    Value valueAt(std::int64_t row, int field) const override
    {
        rowsRead.insert(row);
        ++reads;
        if (row == badRow) throw EngineError("record damaged");
        if (field == 0) return Value::integer(row + 1);
        return row % 2 ? Value::text("memo") : Value::null();
    }
    void reset() { notify(ChangeKind::Reset); }

    mutable std::set<std::int64_t> rowsRead;
    mutable int reads = 0;
    int moves = 0;
    std::int64_t badRow = -1;

private:
    std::int64_t count_;
    std::vector<FieldDef> fields_;
};
} // namespace

TEST(DataSetModel, AMillionRowsOpenAtOnceAndOnlyShownRowsAreRead)
{
    CountingDataSet ds(1'000'000);
    DataSetModel model;
    model.setDataSet(&ds);
    EXPECT_EQ(model.rowCount(), 1'000'000);
    EXPECT_EQ(model.columnCount(), 2);
    EXPECT_TRUE(ds.rowsRead.empty());

    QTableView view;
    view.resize(400, 300);
    view.setModel(&model);
    view.show();
    view.scrollTo(model.index(765'432, 0));
    QApplication::processEvents();
    view.grab();   // paints the visible rows
    ASSERT_FALSE(ds.rowsRead.empty());
    EXPECT_LT(ds.rowsRead.size(), 100u);
    EXPECT_GE(*ds.rowsRead.begin(), 765'000);

    EXPECT_EQ(model.data(model.index(765'432, 0)).toString(), "765433");
    // Rows are read by number: the cursor never moved.
    EXPECT_EQ(ds.moves, 0);
    EXPECT_EQ(ds.row(), 0);
    EXPECT_FALSE(ds.eof());
}

TEST(DataSetModel, RowsAreCachedUntilTheDataSetResets)
{
    CountingDataSet ds(10);
    DataSetModel model;
    model.setDataSet(&ds);
    QSignalSpy cursorMoves(&model, &DataSetModel::currentRowChanged);

    EXPECT_EQ(model.data(model.index(5, 0)).toString(), "6");
    const int reads = ds.reads;
    EXPECT_EQ(model.data(model.index(5, 0)).toString(), "6");
    EXPECT_EQ(ds.reads, reads);
    // The model's own reads are not cursor moves for the views.
    EXPECT_EQ(cursorMoves.count(), 0);

    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    ds.reset();
    EXPECT_EQ(resets.count(), 1);
    model.data(model.index(5, 0));
    EXPECT_GT(ds.reads, reads);
}

TEST(DataSetModel, BlobColumnsShowMarkersAndBadRowsShowNothing)
{
    CountingDataSet ds(4);
    ds.badRow = 2;
    DataSetModel model;
    model.setDataSet(&ds);
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), "(Memo)");
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), "(MEMO)");
    EXPECT_EQ(model.data(model.index(2, 0)).toString(), "");
    EXPECT_EQ(model.data(model.index(3, 0)).toString(), "4");
    // A data set that is not a table is never editable.
    model.setReadOnly(false);
    model.setAutoEdit(true);
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
}

TEST(DataSetModel, EditedRowShowsItsBufferAndOtherRowsStayVisible)
{
    test::ScratchDir dir;
    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("e.dbf");
    t.addFieldDef("NAME", ftString, 10);
    t.createTable();
    t.open();
    for (const char* name : {"one", "two", "three"}) {
        t.append();
        t.setText(0, name);
        t.post();
    }
    t.first();

    DataSetModel model;
    model.setDataSet(&t);
    model.setReadOnly(false);
    for (int r = 0; r < 3; ++r) model.data(model.index(r, 0));   // as painted

    model.moveCurrentTo(1);
    model.edit();
    t.setText(0, "TWO");
    EXPECT_EQ(model.data(model.index(1, 0)).toString(), "TWO");
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "one");
    EXPECT_EQ(model.data(model.index(2, 0)).toString(), "three");
    EXPECT_TRUE(model.editing());   // reading the other rows did not post

    // Insert: a new row after the last, then dropped by Cancel.
    model.cancel();
    model.insert();
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.currentRow(), 3);
    EXPECT_EQ(model.headerData(3, Qt::Vertical).toString(), "*");
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "one");
    model.cancel();
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.data(model.index(1, 0)).toString(), "two");

    // Rows never shown before the edit began are read all the same.
    model.refresh();
    model.insert();
    EXPECT_EQ(model.data(model.index(2, 0)).toString(), "three");
    t.setText(0, "four");
    model.post();
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.data(model.index(3, 0)).toString(), "four");
}

TEST(DataSetModel, ARowThatCannotBeReadIsReportedOnceAfterThePaint)
{
    CountingDataSet ds(6);
    ds.badRow = 2;
    DataSetModel model;
    model.setDataSet(&ds);
    QSignalSpy errors(&model, &DataSetModel::errorRaised);
    QTableView view;
    view.setModel(&model);
    view.show();
    view.grab();
    EXPECT_EQ(model.data(model.index(2, 1)).toString(), "");
    EXPECT_EQ(errors.count(), 0);   // not from inside the view's call
    QApplication::processEvents();
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.first().first().toString(), "record damaged");
    // Read afresh, a failure is told again.
    ds.reset();
    model.data(model.index(2, 0));
    QApplication::processEvents();
    EXPECT_EQ(errors.count(), 2);
}
