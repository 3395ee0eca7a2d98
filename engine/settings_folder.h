#pragma once
// The suite's per-user settings folder, shared by all programs of the suite.
#include <string>

namespace tarnel {

// The settings folder for a subfolder name, ending in "/": the name under
// $XDG_CONFIG_HOME, or under ~/.config when that is not set. The folder and
// any missing folders above it are made (new ones 0700); a failure to make
// them is ignored here: reading finds no files, saving reports it.
std::string SuiteSettingsFolder(const std::string& name);

// The same folder for a program about to save there: a folder that cannot be
// made is an EngineError naming it.
std::string MakeSuiteSettingsFolder(const std::string& name);

// The subfolder every program of the suite uses.
inline constexpr const char* SuiteFolderName = "vantor";

} // namespace tarnel
