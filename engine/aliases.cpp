#include "engine/aliases.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <sys/stat.h>

#include "engine/dataset.h"
#include "engine/error.h"
#include "engine/format_registry.h"
#include "engine/pg/pg_connection.h"
#include "engine/profile_file.h"
#include "engine/settings_folder.h"

namespace tarnel {

namespace {

constexpr const char* Section = "Aliases";

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool LessNoCase(const std::string& a, const std::string& b)
{
    std::string la = Lower(a), lb = Lower(b);
    return la != lb ? la < lb : a < b;
}

ProfileFile ReadAliases()
{
    try {
        return ProfileFile(AliasesFile());
    } catch (const ProfileError& e) {
        throw EngineError(std::string("Cannot read the aliases: ") + e.what());
    }
}

void CheckAliasName(const std::string& name)
{
    if (name.empty()) throw EngineError("An alias needs a name");
    if (name.find_first_of("=[];\r\n\t/") != std::string::npos || name.front() == ' ' ||
        name.back() == ' ' || name.find('\0') != std::string::npos)
        throw EngineError("\"" + name + "\" cannot be an alias name: use letters, digits, "
                          "blanks inside, \"_\" or \"-\"");
}

std::string ExtensionOf(const std::string& name)
{
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {};
    return Lower(name.substr(dot));
}

bool IsRegularFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void StoreAlias(const std::string& name, const std::string& location)
{
    MakeSuiteSettingsFolder(SuiteFolderName);   // the error names a folder that cannot be made
    ProfileFile file = ReadAliases();
    try {
        file.deleteKey(Section, name);   // a new spelling of the name replaces the old one
        file.writeString(Section, name, ProfileFile::QuoteForReading(location));
        file.save();
    } catch (const ProfileError& e) {
        throw EngineError(std::string("Cannot save the alias ") + name + ": " + e.what());
    }
}

// A server alias keeps the URI as given: libpq reads it at every connection.
// Passwords stay out of the settings file, which anyone may read.
void AddServerAlias(const std::string& name, const std::string& uri)
{
    if (pg::UriHasPassword(uri))
        throw EngineError("Cannot add the alias " + name + ": the address holds a password, and aliases do not "
                          "store passwords (put it in ~/.pgpass instead)");
    if (uri.find_first_of("\r\n") != std::string::npos || uri.size() > ProfileValueLimit)
        throw EngineError("Cannot add the alias " + name + ": " + uri + " is not a usable server address");
    StoreAlias(name, uri);
}

} // namespace

bool IsServerAlias(const std::string& name)
{
    std::string location;
    return LookupAlias(name, location) && pg::IsServerLocation(location);
}

std::string AliasesFile()
{
    return SuiteSettingsFolder(SuiteFolderName) + "Aliases.ini";
}

bool LookupAlias(const std::string& name, std::string& folder)
{
    // A path is never an alias: no need to read the store (or fail on it) for one.
    if (name.empty() || name.find('/') != std::string::npos) return false;
    ProfileFile file = ReadAliases();
    if (!file.hasKey(Section, name)) return false;
    folder = file.readString(Section, name);
    return true;
}

std::vector<std::string> AliasNames()
{
    std::vector<std::string> names = ReadAliases().keys(Section);
    std::sort(names.begin(), names.end(), LessNoCase);
    return names;
}

void AddAlias(const std::string& name, const std::string& folder)
{
    CheckAliasName(name);
    if (folder.empty()) throw EngineError("The alias " + name + " needs a folder");
    if (pg::IsServerLocation(folder)) {
        AddServerAlias(name, folder);
        return;
    }
    namespace fs = std::filesystem;
    std::error_code ec;
    // Stored absolute: the program changes its working folder as tables are opened.
    fs::path absolute = fs::absolute(folder, ec).lexically_normal();
    if (ec || !fs::is_directory(absolute, ec))
        throw EngineError("Cannot add the alias " + name + ": " + folder + " is not an existing folder");
    std::string text = absolute.string();
    if (text.size() > 1 && text.back() == '/') text.pop_back();
    if (text.size() > ProfileValueLimit)
        throw EngineError("Cannot add the alias " + name + ": the folder path is too long");

    StoreAlias(name, text);
}

void RemoveAlias(const std::string& name)
{
    ProfileFile file = ReadAliases();
    if (name.empty() || !file.hasKey(Section, name)) throw EngineError("Unknown alias: " + name);
    try {
        file.deleteKey(Section, name);
        file.save();
    } catch (const ProfileError& e) {
        throw EngineError(std::string("Cannot remove the alias ") + name + ": " + e.what());
    }
}

std::vector<std::string> TableFilesInFolder(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        throw EngineError("Cannot list the tables of " + folder + ": " + std::strerror(errno));
    std::vector<std::string> all;
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name.empty() || name.front() == '.') continue;
        all.push_back(std::move(name));
    }
    ::closedir(dir);

    auto joined = [&](const std::string& n) {
        return folder.empty() || folder.back() == '/' ? folder + n : folder + "/" + n;
    };
    std::vector<std::string> tables;
    for (const std::string& name : all) {
        const TableFormatInfo* format = FormatOfFileName(name);
        bool table = format != nullptr;
        if (table && format->requiredCompanion) {
            // Some tables are a data file with a description beside it (ASCII: the schema).
            std::string stem = name.substr(0, name.size() - ExtensionOf(name).size());
            std::string wanted = Lower(stem) + format->requiredCompanion;
            table = std::any_of(all.begin(), all.end(), [&](const std::string& other) { return Lower(other) == wanted; });
        }
        if (table && IsRegularFile(joined(name))) tables.push_back(name);
    }
    std::sort(tables.begin(), tables.end(), LessNoCase);
    return tables;
}

std::vector<std::string> AliasTableNames(const std::string& alias)
{
    std::string folder;
    // A server URI stands for its database as an alias of it would.
    const bool uri = pg::IsServerLocation(alias);
    if (uri) folder = alias;
    else if (!LookupAlias(alias, folder)) throw EngineError("Unknown alias: " + alias);
    if (pg::IsServerLocation(folder)) {
        pg::Connection connection(folder, uri ? std::string() : alias);
        return pg::ServerTableNames(connection);
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw EngineError("The folder " + folder + " of the alias " + alias + " does not exist");
    return TableFilesInFolder(folder);
}

} // namespace tarnel
