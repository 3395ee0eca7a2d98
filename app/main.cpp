// tarnel [TABLE]: the main window; a table named on the command line is
// opened when the window first becomes active.
#include <QApplication>

#include "controls/guarded_application.h"

#include "app/form_services.h"
#include "app/main_form.h"
#include "app/startup.h"

int main(int argc, char** argv)
{
    tarnel::TGuardedApplication app(argc, argv);
    auto services = std::make_unique<tarnel::app::TMainFormServices>();
    services->InitSettings();
    tarnel::app::InitApplication(app);

    tarnel::app::TMainFormServices& shared = *services;
    tarnel::app::TForm1 form(std::move(services), QApplication::arguments());
    shared.CreateDialogs(&form);

    form.show();
    form.activateWindow();
    return app.exec();
}
