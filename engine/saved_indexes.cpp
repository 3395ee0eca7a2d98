#include "engine/saved_indexes.h"

#include <cctype>

#include "engine/fileio/companion_files.h"
#include "engine/fileio/file.h"

namespace tarnel {

namespace {

std::string LowerExtension(const std::string& path)
{
    std::string ext = path.size() > 4 ? path.substr(path.size() - 4) : std::string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

} // namespace

SavedTableIndexes SaveIndexesBeside(const std::string& path)
{
    SavedTableIndexes saved;
    if (!fileio::FileExists(path)) return saved;
    const std::string ext = LowerExtension(path);
    if (ext == ".dbf") saved.files = SaveTableIndexes(path);
    else if (ext.ends_with(".db")) saved.secondary = paradox::SaveSecondaryIndexes(path);
    return saved;
}

std::string UnreadIndex(const SavedTableIndexes& saved)
{
    for (const paradox::SavedSecondaryIndex& s : saved.secondary)
        if (!s.damage.empty()) return "the index file " + BaseName(s.index.path) + " could not be read (" + s.damage + ")";
    return {};
}

std::vector<std::string> RestoreIndexesBeside(const std::string& path, const SavedTableIndexes& saved)
{
    if (!saved.secondary.empty()) return paradox::RestoreSecondaryIndexes(path, saved.secondary);
    return RestoreTableIndexes(path, saved.files);
}

} // namespace tarnel
