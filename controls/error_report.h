#pragma once
// Errors raised while a control handles a click or a key (a date past 9999, a
// step past the 64-bit range) end that handling and are shown to the user
// here, so that no exception has to cross the window system's event
// dispatch. The host program may route them to its own error box.
#include <QString>
#include <exception>
#include <functional>

class QWidget;

namespace tarnel {

using ControlErrorReporter = std::function<void(QWidget* where, const QString& message)>;

// Replaces the reporter; an empty one restores the default error box.
void SetControlErrorReporter(ControlErrorReporter reporter);
void ReportControlError(QWidget* where, const std::exception& error);

// Runs `action`; a std::exception it raises is reported instead of passed on.
// Returns false when it failed.
template <class Action>
bool RunGuarded(QWidget* where, Action&& action)
{
    try {
        action();
        return true;
    } catch (const std::exception& error) {
        ReportControlError(where, error);
        return false;
    }
}

} // namespace tarnel
