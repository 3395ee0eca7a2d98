#pragma once
// The suite's per-user settings folder, shared by all programs of the suite.
#include <string>

namespace tarnel {

// The settings folder for a subfolder name, ending in "/": the name under
// $XDG_CONFIG_HOME, or under ~/.config when that is not set. The folder itself
// is created when missing (one level only); a failure to create it is ignored.
std::string SuiteSettingsFolder(const std::string& name);

// The subfolder every program of the suite uses.
inline constexpr const char* SuiteFolderName = "vantor";

} // namespace tarnel
