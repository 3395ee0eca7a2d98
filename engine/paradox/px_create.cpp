// Creating Paradox tables, and the module's entry points for the registry.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <dirent.h>
#include <set>
#include <strings.h>

#include "engine/error.h"
#include "engine/paradox/px_table.h"

namespace tarnel::paradox {

namespace {
constexpr int kDefaultCodePage = 1252;
constexpr size_t kMaxNameLength = 25;

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// A file of the table besides its data file: blob file, primary and
// secondary indexes, validity checks.
bool IsCompanion(const std::string& stem, const std::string& name)
{
    if (name.size() <= stem.size() + 1 || strncasecmp(name.c_str(), stem.c_str(), stem.size()) != 0 ||
        name[stem.size()] != '.')
        return false;
    std::string ext = name.substr(stem.size() + 1);
    for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "px" || ext == "val" || ext == "mb") return true;
    if (ext.size() == 3 && (ext[0] == 'x' || ext[0] == 'y'))
        return (IsHexDigit(ext[1]) && IsHexDigit(ext[2])) || (ext[1] == 'g' && IsHexDigit(ext[2]));
    return false;
}

} // namespace

std::vector<std::string> CompanionFiles(const std::string& path)
{
    auto slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string base = BaseName(path);
    auto dot = base.find_last_of('.');
    std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return {};
    std::vector<std::string> found;
    while (dirent* e = ::readdir(d))
        if (IsCompanion(stem, e->d_name)) found.push_back(dir + e->d_name);
    ::closedir(d);
    std::sort(found.begin(), found.end());
    return found;
}

void CreateParadoxFiles(const std::string& path, const std::vector<FieldDef>& defs, int codePage)
{
    const std::string table = BaseName(path);
    if (defs.empty()) throw EngineError(table + ": a table needs at least one field");
    if (defs.size() > 255) throw EngineError(table + ": a Paradox table has at most 255 fields");
    if (codePage == 0) codePage = kDefaultCodePage;
    auto cp = CodePage::get(codePage);
    std::vector<PxField> fields;
    std::set<std::string> seen;
    int recordSize = 0;
    int keyFields = 0;
    bool anyBlob = false;
    for (const auto& def : defs) {
        std::string upper = def.name;
        for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (def.name.empty()) throw EngineError(table + ": a field has no name");
        if (def.name.size() > kMaxNameLength)
            throw EngineError(table + ": the field name '" + def.name + "' is longer than 25 characters");
        if (!seen.insert(upper).second) throw EngineError(table + ": the field name '" + def.name + "' is used twice");
        PxField f = FieldForDef(def, table);
        if (def.key) {
            // The primary key is the leading fields: a key field after another field cannot be.
            if (keyFields != static_cast<int>(fields.size()))
                throw EngineError(table + ": the key field '" + def.name + "' must come before the fields outside the key");
            if (f.isBlob())
                throw EngineError(table + ": the field '" + def.name + "' cannot be a key field, it is a blob field");
            ++keyFields;
        }
        f.offset = recordSize;
        f.def.number = static_cast<int>(fields.size()) + 1;
        recordSize += f.width;
        anyBlob = anyBlob || f.isBlob();
        fields.push_back(f);
    }
    int blockCode = 4;
    while (blockCode < 32 && recordSize > blockCode * 1024 - 6) blockCode *= 2;
    if (recordSize > blockCode * 1024 - 6)
        throw EngineError(table + ": a record of " + std::to_string(recordSize) + " bytes is too long for a Paradox table");
    std::string header = BuildHeader(fields, keyFields, codePage, blockCode, BaseName(path), *cp);

    // The registry has us write into a fresh folder and moves the files into place.
    auto f = File::create(path);
    f.writeAt(0, header.data(), header.size());
    f.sync();
    f.close();
    if (anyBlob) BlobFile::create(fileio::WithExtension(path, ".mb"));
    if (keyFields > 0) ParadoxTable(path, false).rebuildIndex();   // the empty primary index
}

} // namespace tarnel::paradox

namespace tarnel {

std::unique_ptr<TableFormat> OpenParadoxTable(const std::string& path, TableType, bool readOnly)
{
    return std::make_unique<paradox::ParadoxTable>(path, readOnly);
}

void CreateParadoxTable(const std::string& path, const std::vector<FieldDef>& fields, const CreateOptions& options)
{
    paradox::CreateParadoxFiles(path, fields, options.codePage);
}

} // namespace tarnel
