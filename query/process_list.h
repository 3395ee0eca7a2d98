#pragma once
// Is a program running? Walks the process table (/proc).
#include <string>

namespace tarnel::query {

// True when any process's executable file name equals the file-name part of
// `executable` (after its last "/", blanks and control characters trimmed),
// ignoring letter case and a trailing ".exe" on either side. A process's
// name is the file name of /proc/PID/exe, or its command name when that
// cannot be read. Zombies do not count; unreadable processes are skipped; an
// unreadable process table gives false.
bool IsProgramRunning(const std::string& executable);

// The name IsProgramRunning compares: file-name part, trimmed, ".exe" dropped.
std::string ProgramMatchName(const std::string& executable);

} // namespace tarnel::query
