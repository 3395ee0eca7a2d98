#pragma once
// The suite's settings files: the suite's main file, which this program only
// reads (the viewer's command line), and the program's own file (the
// recent-files list). Both live in the suite settings folder.
#include <string>

#include "engine/settings_folder.h"   // SuiteSettingsFolder

namespace tarnel {

// Finds the settings folder and forms the two file paths. Run once while the
// program starts, before any window is made; the paths stay fixed afterwards.
void InitSuiteSettings();

// The suite's main settings file, "<folder>/Vantor32.ini" (empty before InitSuiteSettings).
const std::string& SuiteMainSettingsFile();
// The program's own settings file, "<folder>/Tarnel.ini" (empty before InitSuiteSettings).
const std::string& ProgramSettingsFile();

// Reads "ViewerPath" of section "Path" of the suite's main file into ViewerPath().
// A missing file, section or key gives empty text; nothing is ever reported.
void ReadViewerPath();
// The viewer's command line as last read; empty until ReadViewerPath.
const std::string& ViewerPath();

} // namespace tarnel
