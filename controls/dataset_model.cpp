#include "controls/dataset_model.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "engine/error.h"
#include "engine/table.h"

namespace tarnel {

namespace {
// Rows kept as text; the cache starts over when it grows past this.
constexpr std::size_t kCacheLimit = 4096;
// Rows added at a time while the row count is not known.
constexpr std::int64_t kFetchRows = 200;

bool IsOutsideRecord(TFieldType type)
{
    switch (type) {
    case ftMemo: case ftFmtMemo: case ftGraphic: case ftBlob: case ftParadoxOle:
    case ftDBaseOle: case ftTypedBinary: case ftOraBlob: case ftOraClob:
        return true;
    default:
        return false;
    }
}
} // namespace

QString BlobMarkerText(const FieldDef& field, bool isNull)
{
    QString word;
    switch (field.type) {
    case ftMemo: case ftFmtMemo: case ftOraClob: word = QStringLiteral("Memo"); break;
    case ftGraphic: word = QStringLiteral("Graphic"); break;
    case ftParadoxOle: case ftDBaseOle: word = QStringLiteral("Ole"); break;
    case ftBlob: case ftTypedBinary: case ftOraBlob: word = QStringLiteral("Blob"); break;
    default: return {};
    }
    return QLatin1Char('(') + (isNull ? word : word.toUpper()) + QLatin1Char(')');
}

DataSetModel::DataSetModel(QObject* parent) : QAbstractTableModel(parent) {}

DataSetModel::~DataSetModel()
{
    if (dataSet_) dataSet_->removeObserver(this);
    // A count still running has a connection of its own; it ends before the model does.
    for (const QPointer<QThread>& thread : counters_)
        if (thread) thread->wait();
}

void DataSetModel::setDataSet(DataSet* dataSet)
{
    if (dataSet == dataSet_) return;
    if (dataSet_) dataSet_->removeObserver(this);
    dataSet_ = dataSet;
    if (dataSet_) dataSet_->addObserver(this);
    wasActive_ = active();
    resetAll();
}

Table* DataSetModel::table() const { return dynamic_cast<Table*>(dataSet_); }

void DataSetModel::setReadOnly(bool readOnly)
{
    if (readOnly_ == readOnly) return;
    readOnly_ = readOnly;
    emit stateChanged();
}

void DataSetModel::setAutoEdit(bool autoEdit)
{
    if (autoEdit_ == autoEdit) return;
    autoEdit_ = autoEdit;
    emit stateChanged();
}

bool DataSetModel::active() const { return dataSet_ && dataSet_->active(); }

bool DataSetModel::editing() const
{
    Table* t = table();
    return t && t->active() && (t->state() == DataSetState::Edit || t->state() == DataSetState::Insert);
}

bool DataSetModel::inserting() const
{
    Table* t = table();
    return t && t->active() && t->state() == DataSetState::Insert;
}

bool DataSetModel::canModify() const
{
    Table* t = table();
    return t && t->active() && !t->readOnly() && !readOnly_;
}

std::int64_t DataSetModel::currentRow() const
{
    if (!active()) return -1;
    try {
        // A row being inserted is shown after the last row until it is posted.
        if (inserting()) return dataSet_->recordCount();
    } catch (const std::exception&) {
        return -1;
    }
    if (dataSet_->eof()) return -1;
    return dataSet_->row();
}

std::int64_t DataSetModel::computeRowCount() const
{
    if (!active()) return 0;
    try {
        // Not counted yet: the first rows, and those up to the cursor.
        if (!inserting() && countPending())
            return table()->rowsUpTo(std::max(kFetchRows, dataSet_->row() + 1));
        return dataSet_->recordCount() + (inserting() ? 1 : 0);
    } catch (const std::exception& e) {
        reportReadError(e);
        return 0;
    }
}

void DataSetModel::resetAll()
{
    readErrorReported_ = false;
    beginResetModel();
    cache_.clear();
    rowCount_ = computeRowCount();
    provisional_ = countPending();
    lastRow_ = currentRow();
    endResetModel();
    ++countRequest_;
    if (provisional_) startCount();
}

bool DataSetModel::countPending() const
{
    Table* t = table();
    return t && t->active() && !inserting() && t->knownRecordCount() < 0;
}

std::int64_t DataSetModel::knownRowCount() const
{
    if (!active()) return 0;
    if (Table* t = table()) return t->knownRecordCount();
    return dataSet_->recordCount();
}

void DataSetModel::startCount()
{
    std::function<std::int64_t()> count;
    try {
        count = table()->backgroundCount();
    } catch (const std::exception& e) {
        reportReadError(e);
        return;
    }
    if (!count) return;
    struct Outcome {
        std::int64_t count = -1;
        QString failure;
    };
    auto outcome = std::make_shared<Outcome>();
    QThread* thread = QThread::create([count = std::move(count), outcome] {
        try {
            outcome->count = count();
        } catch (const std::exception& e) {
            outcome->failure = QString::fromStdString(e.what());
        } catch (...) {
            outcome->failure = QStringLiteral("The rows could not be counted");
        }
    });
    const std::uint64_t request = countRequest_;
    connect(thread, &QThread::finished, this,
            [this, request, outcome] { countArrived(request, outcome->count, outcome->failure); });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    std::erase_if(counters_, [](const QPointer<QThread>& t) { return t.isNull(); });
    counters_.emplace_back(thread);
    thread->start();
}

void DataSetModel::countArrived(std::uint64_t request, std::int64_t count, const QString& failure)
{
    // The data set was read afresh, closed or changed meanwhile: a newer request counts.
    if (request != countRequest_ || !provisional_) return;
    Table* t = table();
    if (!t || !t->active()) return;
    if (failure.isEmpty()) {
        t->takeCount(count);
    } else {
        // The count's own connection failed: the browse's connection counts, or tells why it cannot.
        try {
            t->recordCount();
        } catch (const std::exception& e) {
            reportReadError(e);
            return;
        }
    }
    settleCount();
}

// Once the count is known (counted, or learnt by reading to the end), the
// rows shown become exactly the table's.
void DataSetModel::settleCount()
{
    if (!provisional_ || countPending()) return;
    provisional_ = false;
    resizeRows(computeRowCount());
    emit rowCountKnown();
}

void DataSetModel::resizeRows(std::int64_t count)
{
    changingRows_ = true;
    if (count > rowCount_) {
        beginInsertRows({}, int(rowCount_), int(count - 1));
        rowCount_ = count;
        endInsertRows();
    } else if (count < rowCount_) {
        beginRemoveRows({}, int(count), int(rowCount_ - 1));
        rowCount_ = count;
        endRemoveRows();
    }
    changingRows_ = false;
}

bool DataSetModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && provisional_;
}

void DataSetModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent)) return;
    try {
        const std::int64_t rows = table()->rowsUpTo(rowCount_ + kFetchRows);
        if (countPending()) resizeRows(rows);
    } catch (const std::exception& e) {
        reportReadError(e);
        return;
    }
    settleCount();
}

void DataSetModel::reportReadError(const std::exception& error) const
{
    // Views read while they paint, so the message goes out once the paint is
    // over; the first failure is enough until the data set is read afresh.
    if (readErrorReported_) return;
    readErrorReported_ = true;
    auto* self = const_cast<DataSetModel*>(this);
    const QString message = QString::fromStdString(error.what());
    QMetaObject::invokeMethod(self, [self, message] { emit self->errorRaised(message); }, Qt::QueuedConnection);
}

int DataSetModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid()) return 0;
    // Views count rows in int; larger tables show their first 2^31-1 rows.
    return rowCount_ > INT32_MAX ? INT32_MAX : static_cast<int>(rowCount_);
}

int DataSetModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !active()) return 0;
    return dataSet_->fieldCount();
}

const FieldDef* DataSetModel::fieldAt(int column) const
{
    if (!active() || column < 0 || column >= dataSet_->fieldCount()) return nullptr;
    return &dataSet_->fields()[static_cast<std::size_t>(column)];
}

QString DataSetModel::readCell(std::int64_t row, int column) const
{
    const FieldDef& f = dataSet_->fields()[static_cast<std::size_t>(column)];
    if (IsOutsideRecord(f.type)) return BlobMarkerText(f, dataSet_->isNullAt(row, column));
    std::string text;
    dataSet_->appendTextAt(row, column, text);
    return QString::fromStdString(text);
}

const QStringList* DataSetModel::cachedRow(std::int64_t row) const
{
    auto it = cache_.find(row);
    if (it != cache_.end()) return &it->second;
    if (cache_.size() >= kCacheLimit) cache_.clear();
    QStringList texts;
    const int n = dataSet_->fieldCount();
    texts.reserve(n);
    try {
        for (int c = 0; c < n; ++c) texts << readCell(row, c);
    } catch (const std::exception& e) {
        reportReadError(e);
        return nullptr;
    }
    return &cache_.emplace(row, std::move(texts)).first->second;
}

QString DataSetModel::cellText(std::int64_t row, int column) const
{
    // The row being edited shows its edit buffer, read afresh each time; the
    // other rows come from the file, through the cache.
    if (editing() && row == currentRow()) {
        try {
            return readCell(row, column);
        } catch (const std::exception& e) {
            reportReadError(e);
            return {};
        }
    }
    const QStringList* texts = cachedRow(row);
    return texts ? texts->at(column) : QString();
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !active() || index.column() >= dataSet_->fieldCount()) return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return cellText(index.row(), index.column());
    if (role == Qt::TextAlignmentRole) {
        const FieldDef& f = dataSet_->fields()[static_cast<std::size_t>(index.column())];
        if (IsIntegerType(f.type) && f.type != ftBoolean) return int(Qt::AlignRight | Qt::AlignVCenter);
        if (IsFloatType(f.type)) return int(Qt::AlignRight | Qt::AlignVCenter);
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) {
        const FieldDef* f = fieldAt(section);
        return f ? QString::fromStdString(f->name) : QVariant();
    }
    // The row indicator: where the cursor is, and whether that row is being edited.
    if (section != currentRow()) return QString();
    if (inserting()) return QStringLiteral("*");
    if (editing()) return QStringLiteral("I");
    return QStringLiteral("\u25B6");
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    const FieldDef* field = fieldAt(index.column());
    if (field && canStartEdit() && !IsOutsideRecord(field->type) && !IsBinaryType(field->type)
        && field->type != ftAutoInc)
        f |= Qt::ItemIsEditable;
    return f;
}

bool DataSetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable)) return false;
    try {
        if (index.row() != currentRow()) moveCurrentTo(index.row());
        if (!ensureEditing()) return false;
        // An unchanged text leaves the row as it was.
        if (value.toString() == cellText(index.row(), index.column())) return true;
        table()->setText(index.column(), value.toString().toStdString());
        return true;
    } catch (const std::exception& e) {
        emit errorRaised(QString::fromStdString(e.what()));
        return false;
    }
}

void DataSetModel::moveCurrentTo(std::int64_t row)
{
    if (!active() || row == currentRow()) return;
    finishEditing();
    dataSet_->moveTo(row);
}

bool DataSetModel::ensureEditing()
{
    if (editing()) return true;
    if (!canModify() || !autoEdit_ || currentRow() < 0) return false;
    table()->edit();
    return true;
}

void DataSetModel::setFieldValue(int field, const Value& value)
{
    if (!ensureEditing())
        throw EngineError("Cannot modify a read-only dataset or a row that is not being edited");
    table()->setValue(field, value);
}

void DataSetModel::edit()
{
    if (!canModify()) throw EngineError("Cannot modify a read-only dataset");
    if (!editing()) table()->edit();
}

void DataSetModel::insert()
{
    if (!canModify()) throw EngineError("Cannot modify a read-only dataset");
    finishEditing();
    table()->insert();
}

void DataSetModel::post()
{
    if (!editing()) return;
    table()->post();
    emit posted();
}

void DataSetModel::cancel()
{
    if (editing()) table()->cancel();
}

void DataSetModel::deleteCurrent()
{
    if (!canModify()) throw EngineError("Cannot modify a read-only dataset");
    if (inserting()) {   // a row not yet posted is simply dropped
        table()->cancel();
        return;
    }
    if (currentRow() < 0) return;
    if (editing()) table()->cancel();
    table()->deleteRecord();
    emit deleted();
}

void DataSetModel::refresh()
{
    if (!active()) return;
    // A row in editing stays so: the table reads the others again around it,
    // and a later post checks the row against what the server holds by then.
    if (Table* t = table()) {
        t->refresh();   // its Reset notification resets the views
        return;
    }
    resetAll();
    emit currentRowChanged(currentRow());
    emit currentValuesChanged();
}

void DataSetModel::finishEditing()
{
    Table* t = table();
    if (!editing()) return;
    if (t->modified())
        post();
    else
        t->cancel();
}

void DataSetModel::dataSetChanged(DataSet& source, ChangeKind kind)
{
    if (&source != dataSet_) return;
    switch (kind) {
    case ChangeKind::Reset: {
        const bool nowActive = active();
        const bool wasActive = wasActive_;
        wasActive_ = nowActive;
        resetAll();
        if (wasActive && !nowActive) emit closed();
        if (!wasActive && nowActive) emit opened();
        emit currentRowChanged(currentRow());
        emit currentValuesChanged();
        break;
    }
    case ChangeKind::RowChanged: {
        std::int64_t row = currentRow();
        cache_.erase(row);
        if (row >= 0 && row < rowCount_ && columnCount() > 0)
            emit dataChanged(index(int(row), 0), index(int(row), columnCount() - 1));
        emit currentValuesChanged();
        break;
    }
    case ChangeKind::Cursor: {
        std::int64_t row = currentRow();
        // A move past the rows shown while the count is not known shows the rows up to it.
        if (provisional_ && row >= rowCount_) {
            try {
                const std::int64_t rows = table()->rowsUpTo(row + kFetchRows);
                if (countPending()) resizeRows(rows);
            } catch (const std::exception& e) {
                reportReadError(e);
            }
        }
        settleCount();
        std::int64_t old = lastRow_;
        lastRow_ = row;
        if (old >= 0 && old < rowCount_) emit headerDataChanged(Qt::Vertical, int(old), int(old));
        if (row >= 0 && row < rowCount_) emit headerDataChanged(Qt::Vertical, int(row), int(row));
        emit currentRowChanged(row);
        emit currentValuesChanged();
        break;
    }
    case ChangeKind::State: {
        // Entering Insert shows one more row; leaving it without a post drops
        // it again. The cached rows of the file stay valid.
        // While the count is not known the rows shown stay; an insert counts
        // them first, so from then on it is known.
        if (!countPending()) {
            resizeRows(computeRowCount());
            if (provisional_) {
                provisional_ = false;
                emit rowCountKnown();
            }
        }
        const std::int64_t row = currentRow();
        const std::int64_t old = lastRow_;
        lastRow_ = row;
        cache_.erase(row);
        if (old >= 0 && old < rowCount_) emit headerDataChanged(Qt::Vertical, int(old), int(old));
        if (row >= 0 && row < rowCount_) {
            emit headerDataChanged(Qt::Vertical, int(row), int(row));
            if (columnCount() > 0)
                emit dataChanged(index(int(row), 0), index(int(row), columnCount() - 1));
        }
        emit stateChanged();
        emit currentRowChanged(currentRow());
        emit currentValuesChanged();
        break;
    }
    }
}

} // namespace tarnel
