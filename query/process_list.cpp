// Looking for a running program by its executable's name in /proc.
#include "query/process_list.h"

#include <QString>
#include <dirent.h>
#include <fstream>
#include <limits.h>
#include <unistd.h>

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

std::string ProcessName(const std::string& procDir)
{
    char target[PATH_MAX];
    ssize_t n = readlink((procDir + "/exe").c_str(), target, sizeof target - 1);
    if (n > 0) {
        std::string exe(target, static_cast<size_t>(n));
        // A binary replaced or removed while running.
        static const std::string deleted = " (deleted)";
        if (exe.size() > deleted.size()
            && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
            exe.resize(exe.size() - deleted.size());
        return FileNamePart(exe);
    }
    return ReadFirstLine(procDir + "/comm");
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
        std::string name = ProcessName(dir);
        if (name.empty()) continue;
        if (EndsWithExe(name)) name.resize(name.size() - 4);
        if (QString::fromStdString(name).compare(wanted, Qt::CaseInsensitive) != 0) continue;
        if (ProcessState(dir) == 'Z') continue;   // ended, not yet collected
        found = true;
        break;
    }
    closedir(proc);
    return found;
}

} // namespace tarnel::query
