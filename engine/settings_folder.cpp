#include "engine/settings_folder.h"

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

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

} // namespace

std::string SuiteSettingsFolder(const std::string& name)
{
    std::string sub = name;
    if (!sub.empty()) {
        if (sub.front() != '/') sub.insert(sub.begin(), '/');
        if (sub.back() != '/') sub.push_back('/');
    }
    std::string base = ConfigBase();
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (sub.empty()) return base == "/" ? base : base + "/";
    std::string folder = (base == "/" ? std::string() : base) + sub;
    ::mkdir(folder.c_str(), 0777);   // one level; an existing folder or a failure is fine
    return folder;
}

} // namespace tarnel
