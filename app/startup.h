#pragma once
// What is set up before the first window exists.
#include <QString>

class QApplication;

namespace tarnel::app {

inline constexpr const char* kHelpFileProperty = "helpFile";
inline constexpr const char* kTitleProperty = "applicationTitle";

// Application name "Tarnel" and help file "TARNEL32.chm" (kept as the
// application object's "helpFile" property, for the help system); the
// input controls' errors go to the program's error box.
void InitApplication(QApplication& app);

// The application title: "Tarnel" at start, then the caption of the main
// window once a table is opened; the program's error boxes carry it. It is
// kept apart from Qt's application display name, which the window system
// would append to the title of every other window.
void SetApplicationTitle(const QString& title);
QString ApplicationTitle();

} // namespace tarnel::app
