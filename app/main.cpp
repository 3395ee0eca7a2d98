// tarnel [TABLE]: the main window; a table named on the command line is
// opened when the window first becomes active.
#include <QApplication>

#include "controls/guarded_application.h"

#include "app/form_services.h"
#include "app/main_form.h"
#include "app/startup.h"
#include "shell/version_info.h"

int main(int argc, char** argv)
{
    // The About box's texts, from the executable's date and version data.
    tarnel::shell::BuildVersionTexts();
    tarnel::TGuardedApplication app(argc, argv);
    auto services = std::make_unique<tarnel::app::TMainFormServices>();
    services->InitSettings();
    tarnel::app::InitApplication(app);

    tarnel::app::TMainFormServices& shared = *services;
    tarnel::app::TForm1 form(std::move(services), QApplication::arguments());
    shared.CreateDialogs(&form);

    form.show();
    form.activateWindow();
    const int status = app.exec();
    tarnel::shell::ClearVersionTexts();
    return status;
}
