#include "engine/fileio/companion_files.h"

#include <cctype>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include "engine/fileio/file.h"

namespace tarnel::fileio {

bool FileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string SiblingPath(const std::string& path, const std::string& name)
{
    auto slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string exact = dir + name;
    if (FileExists(exact)) return exact;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return exact;
    std::string found;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n.size() == name.size() && strncasecmp(n.c_str(), name.c_str(), n.size()) == 0) {
            found = dir + n;
            break;
        }
    }
    ::closedir(d);
    return found.empty() ? exact : found;
}

std::string WithExtension(const std::string& path, const std::string& ext)
{
    std::string base = BaseName(path);
    auto dot = base.find_last_of('.');
    std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    std::string e = ext;
    if (dot != std::string::npos && dot + 1 < base.size() && std::isupper(static_cast<unsigned char>(base[dot + 1])))
        for (auto& c : e) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return SiblingPath(path, stem + e);
}

} // namespace tarnel::fileio
