#include "engine/settings_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/error.h"

namespace tarnel {

namespace {

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

std::string ConfigBase()
{
    // Only an absolute XDG_CONFIG_HOME counts; a relative one would move with
    // the working folder, which the program changes as tables are opened.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    return HomeFolder() + "/.config";
}

bool IsFolder(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Makes the folder and every missing folder above it, each new one private to
// the user (0700) as the XDG base-directory rules ask; existing folders are
// left as they are. Returns an empty text, or what failed and why.
std::string MakeFolderPath(const std::string& folder)
{
    if (folder.empty() || IsFolder(folder)) return {};
    std::size_t at = 0;
    while (at != std::string::npos) {
        at = folder.find('/', at + 1);
        const std::string part = folder.substr(0, at);
        if (part.empty() || part.back() == '/') continue;
        if (::mkdir(part.c_str(), 0700) == 0) continue;
        const int err = errno;
        if (err == EEXIST && IsFolder(part)) continue;
        return part + ": " + (err == EEXIST ? std::strerror(ENOTDIR) : std::strerror(err));
    }
    return {};
}

std::string FolderFor(const std::string& name)
{
    std::string sub = name;
    if (!sub.empty()) {
        if (sub.front() != '/') sub.insert(sub.begin(), '/');
        if (sub.back() != '/') sub.push_back('/');
    }
    std::string base = ConfigBase();
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (sub.empty()) return base == "/" ? base : base + "/";
    return (base == "/" ? std::string() : base) + sub;
}

std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

} // namespace

std::string SuiteSettingsFolder(const std::string& name)
{
    const std::string folder = FolderFor(name);
    MakeFolderPath(WithoutTrailingSlash(folder));   // a reader simply finds no files there
    return folder;
}

std::string MakeSuiteSettingsFolder(const std::string& name)
{
    const std::string folder = FolderFor(name);
    const std::string shown = WithoutTrailingSlash(folder);
    const std::string failure = MakeFolderPath(shown);
    if (!failure.empty())
        throw EngineError("Cannot make the settings folder " + shown + " (" + failure + ")");
    return folder;
}

} // namespace tarnel
