#pragma once
// What is set up before the first window exists.
#include <QString>

class QApplication;

namespace tarnel::app {

inline constexpr const char* kHelpFileProperty = "helpFile";

// Application name and title "Tarnel", and help file "TARNEL32.chm" (kept as
// the application object's "helpFile" property, for the help system).
void InitApplication(QApplication& app);

} // namespace tarnel::app
