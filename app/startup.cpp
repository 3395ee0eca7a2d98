#include "app/startup.h"

#include <QApplication>

#include "app/guarded.h"
#include "controls/error_report.h"

namespace tarnel::app {

void InitApplication(QApplication& app)
{
    app.setApplicationName(QStringLiteral("Tarnel"));
    app.setProperty(kHelpFileProperty, QStringLiteral("TARNEL32.chm"));
    // Errors inside the input controls reach the same error box as every command's.
    SetControlErrorReporter([](QWidget* where, const QString& message) { ReportError(where, message); });
}

} // namespace tarnel::app
