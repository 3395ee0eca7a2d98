#pragma once
// Undo and redo of typing: snapshots of the text and its selection, taken
// before each change, on two unbounded stacks.
#include <QString>
#include <optional>
#include <vector>

namespace tarnel {

struct TUndoItem {
    QString text;
    int selStart = 0;
    int selLength = 0;
};

using TUndoArray = std::vector<TUndoItem>;

class TEditUndoer {
public:
    // Remembers `current` as the state to go back to; forgets what could be redone.
    void Record(const TUndoItem& current);
    // The state to show now, or nothing when there is nothing to undo/redo.
    // `current` goes onto the other stack.
    std::optional<TUndoItem> Undo(const TUndoItem& current);
    std::optional<TUndoItem> Redo(const TUndoItem& current);

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    void clear() { undo_.clear(); redo_.clear(); }

private:
    TUndoArray undo_;
    TUndoArray redo_;
};

} // namespace tarnel
