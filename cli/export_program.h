#pragma once
// tarnel-cli export runs in a program of its own, tarnel-cli-export: the
// viewer stream and its D-Bus send need Qt, and tarnel-cli starts faster
// without loading it for the commands that only read and write tables.
#include <ostream>
#include <string>

namespace tarnel::cli {

// The export program for the tarnel-cli at exePath: beside it (the build
// folder), else in the installed helper folder (PREFIX/libexec/tarnel for
// PREFIX/bin/tarnel-cli). Empty when neither exists.
std::string ExportProgramPath(const std::string& exePath);

// Replaces this process with the export program, given the same arguments
// (argv as main() has it). Returns only on failure: 1, after a message on err.
int RunExportProgram(char** argv, std::ostream& err);

} // namespace tarnel::cli
