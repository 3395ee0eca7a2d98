#include "cli/export_program.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

namespace tarnel::cli {

namespace {
constexpr const char* kProgram = "tarnel-cli-export";
}

std::string ExportProgramPath(const std::string& exePath)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(exePath).parent_path();
    std::error_code ec;
    for (const fs::path& candidate : {folder / kProgram, folder / ".." / TARNEL_HELPER_DIR / kProgram})
        if (fs::is_regular_file(candidate, ec)) return candidate.lexically_normal().string();
    return {};
}

int RunExportProgram(char** argv, std::ostream& err)
{
    std::error_code ec;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    const std::string program = ExportProgramPath(self);
    if (program.empty()) {
        err << "tarnel-cli export: the helper program " << kProgram << " is not installed beside "
            << (self.empty() ? std::string("tarnel-cli") : self) << '\n';
        return 1;
    }
    std::cout.flush();
    execv(program.c_str(), argv);
    err << "tarnel-cli export: cannot run " << program << ": " << std::strerror(errno) << '\n';
    return 1;
}

} // namespace tarnel::cli
