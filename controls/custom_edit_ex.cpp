#include "controls/custom_edit_ex.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

namespace tarnel {

char32_t KeyCharacter(const QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Backspace) return 8;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) return 13;
    if (key == Qt::Key_Delete) return 0;
    const auto mods = event->modifiers();
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && key >= Qt::Key_A &&
        key <= Qt::Key_Z)
        return static_cast<char32_t>(key - Qt::Key_A + 1);
    const QString text = event->text();
    if (text.isEmpty()) return 0;
    const uint code = text.toUcs4().value(0);
    return static_cast<char32_t>(code);
}

TCustomEditEx::TCustomEditEx(QWidget* parent) : QLineEdit(parent) {}

TUndoItem TCustomEditEx::currentState() const
{
    if (hasSelectedText()) return {text(), selectionStart(), selectionLength()};
    return {text(), cursorPosition(), 0};
}

void TCustomEditEx::applyState(const TUndoItem& item)
{
    setText(item.text);
    if (focusPolicy() != Qt::NoFocus && isEnabled() && isVisible()) setFocus(Qt::OtherFocusReason);
    update();
    if (item.selLength > 0) setSelection(item.selStart, item.selLength);
    else setCursorPosition(item.selStart);
}

void TCustomEditEx::recordUndo()
{
    undoer_.Record(currentState());
}

void TCustomEditEx::Undo()
{
    auto item = undoer_.Undo(currentState());
    if (!item) return;
    applyState(*item);
    emit OnUndo(this);
}

void TCustomEditEx::Redo()
{
    auto item = undoer_.Redo(currentState());
    if (!item) return;
    applyState(*item);
    emit OnReDo(this);
}

void TCustomEditEx::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete) {
        if (cursorPosition() < text().size() || hasSelectedText()) recordUndo();
        QLineEdit::keyPressEvent(event);
        return;
    }
    const char32_t ch = KeyCharacter(event);
    // Enter types nothing here; the line edit passes it on to the dialog.
    if (ch == 0 || ch == 13) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (shortcutMode_ == smStandard) {
        // Ctrl+Z / Ctrl+Y and the platform's own undo/redo keys go to this
        // control's history, never to the line edit's built-in one.
        if (ch == 1) {
            selectAll();
            event->accept();
            return;
        }
        if (ch == 26 || event->matches(QKeySequence::Undo)) {
            Undo();
            event->accept();
            return;
        }
        if (ch == 25 || event->matches(QKeySequence::Redo)) {
            Redo();
            event->accept();
            return;
        }
        if (ch == 8 && cursorPosition() == 0 && !hasSelectedText()) {
            event->accept();
            return;
        }
    }
    if ((event->matches(QKeySequence::Cut) || event->matches(QKeySequence::Paste)) &&
        !allowsCutPaste()) {
        event->accept();
        return;
    }
    recordUndo();
    QLineEdit::keyPressEvent(event);
}

void TCustomEditEx::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    emit OnKillFocus(this);
}

void TCustomEditEx::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = createStandardContextMenu();
    for (QAction* action : menu->actions()) {
        const QString name = action->objectName();
        if (name == QLatin1String("edit-undo") || name == QLatin1String("edit-redo")) {
            const bool undo = name == QLatin1String("edit-undo");
            action->disconnect();
            action->setEnabled(!isReadOnly() && (undo ? undoer_.canUndo() : undoer_.canRedo()));
            connect(action, &QAction::triggered, this, undo ? &TCustomEditEx::Undo : &TCustomEditEx::Redo);
        } else if (name == QLatin1String("edit-cut") || name == QLatin1String("edit-paste")) {
            const bool cutting = name == QLatin1String("edit-cut");
            if (!allowsCutPaste()) action->setEnabled(false);
            action->disconnect();
            connect(action, &QAction::triggered, this, [this, cutting] {
                recordUndo();
                if (cutting) cut();
                else paste();
            });
        }
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

} // namespace tarnel
