#include "query/interim_grid_model.h"

#include <exception>

TInterimGridModel::TInterimGridModel(tarnel::DataSet& dataSet, QObject* parent)
    : QAbstractTableModel(parent), dataSet_(dataSet)
{
    dataSet_.addObserver(this);
}

TInterimGridModel::~TInterimGridModel() { dataSet_.removeObserver(this); }

int TInterimGridModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !dataSet_.active()) return 0;
    return static_cast<int>(dataSet_.recordCount());
}

int TInterimGridModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !dataSet_.active()) return 0;
    return dataSet_.fieldCount();
}

QVariant TInterimGridModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || !dataSet_.active()) return {};
    try {
        if (dataSet_.eof() || dataSet_.row() != index.row()) dataSet_.moveTo(index.row());
        if (dataSet_.eof()) return {};
        return QString::fromStdString(dataSet_.asText(index.column()));
    } catch (const std::exception&) {
        return {};
    }
}

QVariant TInterimGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    if (!dataSet_.active() || section >= dataSet_.fieldCount()) return {};
    return QString::fromStdString(dataSet_.field(section).name);
}

void TInterimGridModel::dataSetChanged(tarnel::DataSet&, tarnel::ChangeKind kind)
{
    if (kind == tarnel::ChangeKind::Reset) {
        beginResetModel();
        endResetModel();
    }
}
