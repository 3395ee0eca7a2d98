#include "app/guarded.h"

#include <QApplication>
#include <QMessageBox>

#include "app/startup.h"

namespace tarnel::app {

namespace {
ErrorReporter& Reporter()
{
    static ErrorReporter reporter;
    return reporter;
}
} // namespace

void SetErrorReporter(ErrorReporter reporter) { Reporter() = std::move(reporter); }

void ReportError(QWidget* parent, const QString& message)
{
    // The box must show the normal pointer even when the failing command
    // had put up the hourglass.
    int restored = 0;
    while (QApplication::overrideCursor()) {
        QApplication::restoreOverrideCursor();
        ++restored;
    }
    if (Reporter())
        Reporter()(parent, message);
    else
        QMessageBox::critical(parent, ApplicationTitle(), message);
    while (restored-- > 0) QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

} // namespace tarnel::app
