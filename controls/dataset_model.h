#pragma once
// A grid model over any DataSet. It reads only the rows a view asks for, by
// row number and without moving the data set's cursor, so a table of a
// million rows opens at once. It also plays the part of the data link between
// a table and its views: the AutoEdit and read-only flags, the editing
// commands, and signals for the views bound to the current row.
#include <QAbstractTableModel>
#include <QPointer>
#include <QThread>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <exception>
#include <memory>
#include <unordered_map>
#include <vector>

#include "engine/dataset.h"

namespace tarnel {

class Table;

class DataSetModel : public QAbstractTableModel, private DataSetObserver {
    Q_OBJECT
public:
    explicit DataSetModel(QObject* parent = nullptr);
    ~DataSetModel() override;

    // The data set shown; nullptr detaches. The model does not own it.
    void setDataSet(DataSet* dataSet);
    DataSet* dataSet() const { return dataSet_; }
    Table* table() const;   // the data set when it is a table, else nullptr

    // The views' own read-only flag (a writable table can still be shown read-only).
    void setReadOnly(bool readOnly);
    bool readOnly() const { return readOnly_; }
    // When set, changing a value through a view puts the current row into editing.
    void setAutoEdit(bool autoEdit);
    bool autoEdit() const { return autoEdit_; }

    // A table that does not know its row count yet (a server table counts
    // with a query of its own) shows the rows read so far and more as the
    // view reaches them, while the count runs on a thread of its own;
    // rowCountKnown() follows when it arrives and the rows are made exact.
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    // The data set's row count, or -1 while it is being counted.
    std::int64_t knownRowCount() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // The field shown in a column (nullptr when there is none).
    const FieldDef* fieldAt(int column) const;

    // The data set's current row; -1 when it has none (closed or empty).
    std::int64_t currentRow() const;
    bool active() const;
    bool editing() const;      // the table is in Edit or Insert state
    bool inserting() const;
    bool canModify() const;    // a writable table behind views that are not read-only
    bool canStartEdit() const { return canModify() && (autoEdit_ || editing()); }

    // Commands of the data link. Each throws EngineError when the data set refuses.
    void moveCurrentTo(std::int64_t row);   // a changed row is posted first
    bool ensureEditing();                   // edits when it may; false when it may not
    void setFieldValue(int field, const Value& value);   // through ensureEditing
    void edit();
    void insert();
    void post();
    void cancel();
    void deleteCurrent();
    void refresh();
    // Posts a changed row, or leaves editing of an unchanged one.
    void finishEditing();
    // True while rows are being added or dropped for a row being inserted; a
    // view's current cell moved meanwhile is not a move of the cursor.
    bool changingRows() const { return changingRows_; }

signals:
    void opened();
    void closed();
    void posted();
    void deleted();
    void currentRowChanged(qint64 row);
    void currentValuesChanged();   // the current row's values, or which row is current
    void stateChanged();
    // An error inside a view's call into the model, which cannot throw. A
    // row that cannot be read is told once per reset, after the call returns.
    void errorRaised(const QString& message);
    // The row count became known after the rows were shown without it.
    void rowCountKnown();

private:
    void dataSetChanged(DataSet& source, ChangeKind kind) override;
    void resetAll();
    QString cellText(std::int64_t row, int column) const;
    const QStringList* cachedRow(std::int64_t row) const;
    QString readCell(std::int64_t row, int column) const;
    std::int64_t computeRowCount() const;
    void reportReadError(const std::exception& error) const;
    bool countPending() const;
    void startCount();
    void countArrived(std::uint64_t request, std::int64_t count, const QString& failure);
    void settleCount();
    void resizeRows(std::int64_t count);

    DataSet* dataSet_ = nullptr;
    bool readOnly_ = true;
    bool autoEdit_ = false;
    bool wasActive_ = false;
    std::int64_t rowCount_ = 0;
    std::int64_t lastRow_ = -1;
    bool changingRows_ = false;
    mutable std::unordered_map<std::int64_t, QStringList> cache_;
    mutable bool readErrorReported_ = false;
    // Each reset asks for a count afresh; an answer to an older request is dropped.
    std::uint64_t countRequest_ = 0;
    bool provisional_ = false;   // rowCount_ holds the rows read so far, not the count
    std::vector<QPointer<QThread>> counters_;
};

// The grid's text for a field whose value is kept outside the record:
// "(MEMO)", "(GRAPHIC)", "(BLOB)"; in lower case when the field is empty.
// Empty text for other types.
QString BlobMarkerText(const FieldDef& field, bool isNull);

} // namespace tarnel
