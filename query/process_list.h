#pragma once
// Is a program running? Walks the process table (/proc).
#include <string>

namespace tarnel::query {

// True when any process goes by the file-name part of `executable` (after
// its last "/", blanks and control characters trimmed), ignoring letter case
// and a trailing ".exe" on either side. A process goes by the file name of
// /proc/PID/exe, the file name of its argv[0] and its command name, so one
// run through a symbolic link or a wrapper script is seen. Zombies do not count; unreadable processes are skipped; an
// unreadable process table gives false.
bool IsProgramRunning(const std::string& executable);

// The name IsProgramRunning compares: file-name part, trimmed, ".exe" dropped.
std::string ProgramMatchName(const std::string& executable);

} // namespace tarnel::query
