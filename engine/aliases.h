#pragma once
// Database aliases: a name for a folder of tables.
#include <string>
#include <vector>

namespace tarnel {

// The folder of an alias, found without regard to letter case; false when no such alias.
bool LookupAlias(const std::string& name, std::string& folder);
// All alias names, sorted.
std::vector<std::string> AliasNames();

} // namespace tarnel
