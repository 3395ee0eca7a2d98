#include "engine/aliases.h"

namespace tarnel {

// No alias store yet: no name is an alias.
bool LookupAlias(const std::string&, std::string&) { return false; }
std::vector<std::string> AliasNames() { return {}; }

} // namespace tarnel
