#include "engine/fileio/companion_files.h"

#include <cctype>
#include <sys/stat.h>

#include "engine/database.h"
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
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
    std::string found = FindFileInFolder(folder, name);
    return found.empty() ? JoinPath(folder, name) : found;
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
