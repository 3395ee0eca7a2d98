#pragma once
// The code page a user chose for a table file that names none, kept per
// table file in section "CodePages" of the program's settings file.
#include <string>

namespace tarnel {

// 0 when none was chosen for the file (or the settings file holds nothing usable).
int RememberedCodePage(const std::string& settingsFile, const std::string& tablePath);
// Keeps the choice; throws ProfileError when the settings file cannot be written.
void RememberCodePage(const std::string& settingsFile, const std::string& tablePath, int codePage);

} // namespace tarnel
