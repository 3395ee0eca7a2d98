#include "app/startup.h"

#include <QApplication>
#include <QIcon>

#include "controls/error_guard.h"

namespace tarnel::app {

void InitApplication(QApplication& app)
{
    app.setApplicationName(QStringLiteral("Tarnel"));
    SetApplicationTitle(QStringLiteral("Tarnel"));
    app.setProperty(kHelpFileProperty, QStringLiteral("TARNEL32.chm"));
    app.setWindowIcon(QIcon(QStringLiteral(":/icons/tarnel-256.png")));
}

} // namespace tarnel::app
