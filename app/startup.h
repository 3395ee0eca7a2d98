#pragma once
// What is set up before the first window exists.
class QApplication;

namespace tarnel::app {

inline constexpr const char* kHelpFileProperty = "helpFile";

// Application name "Tarnel" and help file "TARNEL32.chm" (kept as the
// application object's "helpFile" property, for the help system); the
// input controls' errors go to the program's error box.
void InitApplication(QApplication& app);

} // namespace tarnel::app
