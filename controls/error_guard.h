#pragma once
// The one place where a failing command is caught, and the program's message
// boxes. Every handler of a window, dialog or control - a click, a key, a
// timer, a model callback, work deferred to the event loop - runs through
// RunGuarded: an error it raises ends the command and is shown in the error
// box, titled with the application title, so that no exception crosses Qt's
// event dispatch. Whatever the command changed before the error stays
// changed. WaitCursor shows the hourglass for a command that may take long.
#include <QString>
#include <exception>
#include <functional>

class QWidget;

namespace tarnel {

// The application title: the program's name at start, then the caption of
// the main window once a table is opened; the error boxes carry it. It is
// kept apart from Qt's application display name, which the window system
// would append to the title of every other window.
void SetApplicationTitle(const QString& title);
QString ApplicationTitle();

// A message box about to be shown.
enum class BoxKind { Error, Warning, Question, Information };
struct ShownBox {
    QWidget* parent = nullptr;   // the window the box belongs to
    BoxKind kind = BoxKind::Error;
    QString title;
    QString text;
    bool yesNo = false;   // a question (or warning) answered Yes/No rather than OK/Cancel
};
// Takes every box the program shows instead of showing it (tests record them);
// its result answers a question (true: OK). Empty: real boxes again. Returns
// the hook it replaces.
using MessageBoxHook = std::function<bool(const ShownBox& box)>;
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// The error box. The normal pointer shows while it is up, even when the
// failing command had put up the hourglass.
void ShowErrorBox(QWidget* parent, const QString& message);
void ShowWarningBox(QWidget* parent, const QString& title, const QString& message);
// A note for the user, titled with the application title.
void ShowInformationBox(QWidget* parent, const QString& message);
// OK / Cancel, Cancel the default; true for OK.
bool AskOkCancel(QWidget* parent, const QString& title, const QString& question);
// Yes / No, No the default; true for Yes.
bool AskYesNo(QWidget* parent, const QString& title, const QString& question);
// The same as a warning box: for a step that may cost the user data.
bool AskYesNoWarning(QWidget* parent, const QString& title, const QString& question);

// Runs `command`; an error it raises is shown in the error box instead of
// passed on. Returns false when it failed.
template <class F>
bool RunGuarded(QWidget* parent, F&& command)
{
    try {
        command();
        return true;
    } catch (const std::exception& e) {
        ShowErrorBox(parent, QString::fromUtf8(e.what()));
    } catch (...) {
        ShowErrorBox(parent, QStringLiteral("Unknown error"));
    }
    return false;
}

// A slot for connect() that runs `command` guarded (the signal's arguments
// are not passed on).
template <class F>
auto Guarded(QWidget* parent, F command)
{
    return [parent, command] { RunGuarded(parent, command); };
}

// The hourglass for its lifetime.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace tarnel
