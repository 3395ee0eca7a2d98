#pragma once
// A bare read-only grid model over a DataSet, used by the query page until
// the shared data set grid model is in place; then this file goes.
#include <QAbstractTableModel>

#include "engine/dataset.h"

class TInterimGridModel : public QAbstractTableModel, private tarnel::DataSetObserver {
    Q_OBJECT
public:
    explicit TInterimGridModel(tarnel::DataSet& dataSet, QObject* parent = nullptr);
    ~TInterimGridModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void dataSetChanged(tarnel::DataSet& source, tarnel::ChangeKind kind) override;
    tarnel::DataSet& dataSet_;
};
