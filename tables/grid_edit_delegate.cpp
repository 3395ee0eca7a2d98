#include "tables/grid_edit_delegate.h"

#include <QLineEdit>
#include <exception>

#include "controls/dataset_model.h"

namespace tarnel {

namespace {
const char* const kTyped = "tarnelTyped";
}

GridEditDelegate::GridEditDelegate(DataSetModel* model, QObject* parent)
    : QStyledItemDelegate(parent), model_(model)
{
}

QWidget* GridEditDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const
{
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        const QPersistentModelIndex cell(index);
        connect(line, &QLineEdit::textEdited, this, [this, line, cell] {
            line->setProperty(kTyped, true);
            cellChanged(cell);
        });
    }
    return editor;
}

void GridEditDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    if (editor->property(kTyped).toBool()) return;
    QStyledItemDelegate::setEditorData(editor, index);
}

void GridEditDelegate::cellChanged(const QPersistentModelIndex& index) const
{
    if (!model_ || !index.isValid() || model_->editing() || !model_->autoEdit()) return;
    try {
        if (index.row() != model_->currentRow()) model_->moveCurrentTo(index.row());
        model_->ensureEditing();
    } catch (const std::exception& e) {
        emit model_->errorRaised(QString::fromUtf8(e.what()));
    }
}

} // namespace tarnel
