// Looking for a running program by its executable's name in /proc.
#include "query/process_list.h"

#include <QString>
#include <algorithm>
#include <dirent.h>
#include <fstream>
#include <limits.h>
#include <unistd.h>
#include <vector>

namespace tarnel::query {

namespace {

bool IsTrimmed(unsigned char c) { return c <= ' ' || c == 0x7f; }

bool EndsWithExe(const std::string& name)
{
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (auto& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".exe";
}

std::string FileNamePart(const std::string& path)
{
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ReadFirstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    if (in) std::getline(in, line);
    return line;
}

// The state letter of /proc/PID/stat: after the command name in parentheses.
char ProcessState(const std::string& procDir)
{
    std::string stat = ReadFirstLine(procDir + "/stat");
    auto close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) return '?';
    return stat[close + 2];
}

std::string ExecutableName(const std::string& procDir)
{
    char target[PATH_MAX];
    ssize_t n = readlink((procDir + "/exe").c_str(), target, sizeof target - 1);
    if (n <= 0) return {};
    std::string exe(target, static_cast<size_t>(n));
    // A binary replaced or removed while running.
    static const std::string deleted = " (deleted)";
    if (exe.size() > deleted.size()
        && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
        exe.resize(exe.size() - deleted.size());
    return FileNamePart(exe);
}

// argv[0] as the process was started, up to its zero byte.
std::string FirstArgument(const std::string& procDir)
{
    std::ifstream in(procDir + "/cmdline", std::ios::binary);
    std::string first;
    if (in) std::getline(in, first, '\0');
    return first;
}

// The command name: the file name run, which is the script's for a script.
// The kernel cuts it to 15 bytes; one that long may be cut and is not used.
std::string CommandName(const std::string& procDir)
{
    std::string comm = ReadFirstLine(procDir + "/comm");
    return comm.size() >= 15 ? std::string() : comm;
}

// The names a process goes by: the file name of its executable (a symbolic
// link resolved), the file name it was run as, and its command name.
std::vector<std::string> ProcessNames(const std::string& procDir)
{
    std::vector<std::string> names;
    for (std::string name : {ExecutableName(procDir), FileNamePart(FirstArgument(procDir)),
                             CommandName(procDir)}) {
        if (EndsWithExe(name)) name.resize(name.size() - 4);
        if (!name.empty()) names.push_back(std::move(name));
    }
    return names;
}

} // namespace

std::string ProgramMatchName(const std::string& executable)
{
    std::string name = FileNamePart(executable);
    size_t begin = 0, end = name.size();
    while (begin < end && IsTrimmed(static_cast<unsigned char>(name[begin]))) ++begin;
    while (end > begin && IsTrimmed(static_cast<unsigned char>(name[end - 1]))) --end;
    name = name.substr(begin, end - begin);
    if (EndsWithExe(name)) name.resize(name.size() - 4);
    return name;
}

bool IsProgramRunning(const std::string& executable)
{
    const QString wanted = QString::fromStdString(ProgramMatchName(executable));
    if (wanted.isEmpty()) return false;

    DIR* proc = opendir("/proc");
    if (!proc) return false;
    bool found = false;
    while (dirent* entry = readdir(proc)) {
        const char* id = entry->d_name;
        if (*id < '1' || *id > '9') continue;   // only the numbered entries are processes
        std::string dir = std::string("/proc/") + id;
        const std::vector<std::string> names = ProcessNames(dir);
        if (std::none_of(names.begin(), names.end(), [&](const std::string& name) {
                return QString::fromStdString(name).compare(wanted, Qt::CaseInsensitive) == 0;
            }))
            continue;
        if (ProcessState(dir) == 'Z') continue;   // ended, not yet collected
        found = true;
        break;
    }
    closedir(proc);
    return found;
}

} // namespace tarnel::query
