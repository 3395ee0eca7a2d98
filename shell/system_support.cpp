#include "shell/system_support.h"

#include <cerrno>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "engine/daynum.h"
#include "engine/pg/pg_connection.h"

namespace tarnel {

InOutError InOutErrorFromErrno(int err)
{
    switch (err) {
    case ENOENT: return InOutError(2, "File not found");
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL: return InOutError(3, "Invalid filename");
    case EMFILE:
    case ENFILE: return InOutError(4, "Too many open files");
    case EACCES:
    case EPERM: return InOutError(5, "File access denied");
    default: return InOutError(err, "I/O error " + std::to_string(err));
    }
}

std::string FileStem(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

void SetWorkingFolderFrom(const std::string& path)
{
    if (pg::IsServerLocation(path)) return;   // a server's URI names no folder
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return;
    std::string folder = path.substr(0, slash + 1);
    // Drop the final "/", but the root stays the root.
    if (folder.size() > 1) folder.pop_back();
    if (::chdir(folder.c_str()) != 0) throw InOutErrorFromErrno(errno);
}

std::string CurrentFolder()
{
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return {};
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

double FileDateTime(const std::string& fileName)
{
    struct stat st {};
    if (fileName.empty() || ::stat(fileName.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        throw DateEncodeError();
    std::tm local {};
    if (!::localtime_r(&st.st_mtime, &local)) throw DateEncodeError();
    int year = local.tm_year + 1900;
    // Kept to the precision of the packed form: years 1980 to 2107, even seconds.
    if (year < 1980 || year > 2107) throw DateEncodeError();
    int seconds = local.tm_sec > 59 ? 58 : local.tm_sec & ~1;
    double time = (local.tm_hour * 3600 + local.tm_min * 60 + seconds) / 86400.0;
    return static_cast<double>(DayNumber(year, local.tm_mon + 1, local.tm_mday)) + time;
}

} // namespace tarnel
