#include "app/startup.h"

#include <QApplication>

namespace tarnel::app {

void InitApplication(QApplication& app)
{
    app.setApplicationName(QStringLiteral("Tarnel"));
    app.setProperty(kHelpFileProperty, QStringLiteral("TARNEL32.chm"));
}

} // namespace tarnel::app
