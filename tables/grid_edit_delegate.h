#pragma once
// The cell editors of a grid over a DataSetModel. With AutoEdit on, the row
// goes into editing at the first keystroke that changes a cell, so the row
// marker and the navigator show it while the user types, not only once the
// cell is committed.
#include <QStyledItemDelegate>

namespace tarnel {

class DataSetModel;

class GridEditDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    GridEditDelegate(DataSetModel* model, QObject* parent = nullptr);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    // An editor the user has typed into keeps the typed text when the row
    // is refreshed around it (entering editing re-reads the row).
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;

private:
    void cellChanged(const QPersistentModelIndex& index) const;

    DataSetModel* model_;
};

} // namespace tarnel
