#pragma once
// A single-line edit with its own undo and redo of typing and, optionally,
// the standard Ctrl+A / Ctrl+Z / Ctrl+Y keys.
#include <QLineEdit>

#include "controls/edit_undoer.h"

namespace tarnel {

enum TShortcutMode { smNone, smStandard };

class TCustomEditEx : public QLineEdit {
    Q_OBJECT

public:
    explicit TCustomEditEx(QWidget* parent = nullptr);

    TShortcutMode ShortCutMode() const { return shortcutMode_; }
    void setShortCutMode(TShortcutMode mode) { shortcutMode_ = mode; }

    void Undo();
    void Redo();
    TEditUndoer& undoer() { return undoer_; }

signals:
    void OnKillFocus(QObject* sender);
    void OnUndo(QObject* sender);
    void OnReDo(QObject* sender);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

    // Snapshot of the text and selection before a change.
    void recordUndo();
    // Whether cut and paste may change the text (the spin refuses them when
    // typing is switched off).
    virtual bool allowsCutPaste() const { return !isReadOnly(); }

private:
    TUndoItem currentState() const;
    void applyState(const TUndoItem& item);

    TEditUndoer undoer_;
    TShortcutMode shortcutMode_ = smNone;
};

// The character a key press types, or 0 for keys that type none (arrows,
// Delete, function keys). Ctrl+letter gives its control character and
// Backspace 8, as a terminal would.
char32_t KeyCharacter(const QKeyEvent* event);

} // namespace tarnel
