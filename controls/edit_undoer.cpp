#include "controls/edit_undoer.h"

namespace tarnel {

void TEditUndoer::Record(const TUndoItem& current)
{
    undo_.push_back(current);
    redo_.clear();
}

std::optional<TUndoItem> TEditUndoer::Undo(const TUndoItem& current)
{
    if (undo_.empty()) return std::nullopt;
    redo_.push_back(current);
    TUndoItem item = std::move(undo_.back());
    undo_.pop_back();
    return item;
}

std::optional<TUndoItem> TEditUndoer::Redo(const TUndoItem& current)
{
    if (redo_.empty()) return std::nullopt;
    undo_.push_back(current);
    TUndoItem item = std::move(redo_.back());
    redo_.pop_back();
    return item;
}

} // namespace tarnel
