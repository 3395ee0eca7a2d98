#include "controls/edit_undoer.h"

namespace tarnel {

void TEditUndoer::Record(const TUndoItem& current)
{
    undo_.push_back(current);
    redo_.clear();
}

namespace {
// The item on top of `from`, with `current` kept on `to` to go back to.
std::optional<TUndoItem> Step(TUndoArray& from, TUndoArray& to, const TUndoItem& current)
{
    if (from.empty()) return std::nullopt;
    to.push_back(current);
    TUndoItem item = std::move(from.back());
    from.pop_back();
    return item;
}
} // namespace

std::optional<TUndoItem> TEditUndoer::Undo(const TUndoItem& current) { return Step(undo_, redo_, current); }

std::optional<TUndoItem> TEditUndoer::Redo(const TUndoItem& current) { return Step(redo_, undo_, current); }

} // namespace tarnel
