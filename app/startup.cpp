#include "app/startup.h"

#include <QApplication>

#include "controls/error_guard.h"

namespace tarnel::app {

void InitApplication(QApplication& app)
{
    app.setApplicationName(QStringLiteral("Tarnel"));
    SetApplicationTitle(QStringLiteral("Tarnel"));
    app.setProperty(kHelpFileProperty, QStringLiteral("TARNEL32.chm"));
}

} // namespace tarnel::app
