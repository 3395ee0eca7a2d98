#pragma once
// tarnel-cli alias list | alias add NAME FOLDER | alias remove NAME
#include <ostream>
#include <string>
#include <vector>

namespace tarnel {

// Runs the alias command; args are the words after "alias". Returns the exit
// status: 0 done, 1 failed (message on err), 2 wrong usage (usage on err).
int AliasCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace tarnel
