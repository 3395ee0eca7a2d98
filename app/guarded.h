#pragma once
// The one place where a failing command is caught: every handler of the main
// window runs through RunGuarded, which ends the command and shows the
// error's message in an error box. Whatever the command changed before the
// error stays changed.
#include <QString>
#include <exception>
#include <functional>

class QWidget;

namespace tarnel::app {

// How an error reaches the user. The default shows a modal error box;
// tests install a recorder.
using ErrorReporter = std::function<void(QWidget* parent, const QString& message)>;
void SetErrorReporter(ErrorReporter reporter);   // empty: the default box
void ReportError(QWidget* parent, const QString& message);

template <class F>
bool RunGuarded(QWidget* parent, F&& f)
{
    try {
        f();
        return true;
    } catch (const std::exception& e) {
        ReportError(parent, QString::fromUtf8(e.what()));
    } catch (...) {
        ReportError(parent, QStringLiteral("Unknown error"));
    }
    return false;
}

// A slot for connect(): runs f guarded, whatever arguments the signal carries.
template <class F>
auto Guarded(QWidget* parent, F f)
{
    return [parent, f](auto&&...) { RunGuarded(parent, f); };
}

// The hourglass for a command that may take long; restored on every path.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace tarnel::app
