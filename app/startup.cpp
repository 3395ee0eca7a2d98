#include "app/startup.h"

#include <QApplication>
#include <QIcon>

#include "app/guarded.h"
#include "controls/error_report.h"

namespace tarnel::app {

void InitApplication(QApplication& app)
{
    app.setApplicationName(QStringLiteral("Tarnel"));
    SetApplicationTitle(QStringLiteral("Tarnel"));
    app.setProperty(kHelpFileProperty, QStringLiteral("TARNEL32.chm"));
    app.setWindowIcon(QIcon(QStringLiteral(":/icons/tarnel-256.png")));
    // Errors inside the input controls reach the same error box as every command's.
    SetControlErrorReporter([](QWidget* where, const QString& message) { ReportError(where, message); });
}

void SetApplicationTitle(const QString& title)
{
    if (qApp) qApp->setProperty(kTitleProperty, title);
}

QString ApplicationTitle()
{
    const QString title = qApp ? qApp->property(kTitleProperty).toString() : QString();
    return title.isEmpty() ? QApplication::applicationName() : title;
}

} // namespace tarnel::app
