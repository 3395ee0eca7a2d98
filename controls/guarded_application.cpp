#include "controls/guarded_application.h"

#include <QWidget>

#include "controls/error_guard.h"

namespace tarnel {

bool TGuardedApplication::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    // The event counts as handled when its handler failed.
    if (!RunGuarded(qobject_cast<QWidget*>(receiver), [&] { handled = QApplication::notify(receiver, event); }))
        return true;
    return handled;
}

} // namespace tarnel
