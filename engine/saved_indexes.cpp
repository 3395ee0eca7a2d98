#include "engine/saved_indexes.h"

#include "engine/dbf/index/index_file.h"
#include "engine/fileio/companion_files.h"
#include "engine/fileio/file.h"

namespace tarnel {

SavedTableIndexes SaveIndexesBeside(const std::string& path)
{
    SavedTableIndexes saved;
    if (!fileio::FileExists(path)) return saved;
    const std::string ext = IndexExtension(path);
    if (ext == ".dbf") saved.files = SaveTableIndexes(path);
    else if (ext == ".db") saved.secondary = paradox::SaveSecondaryIndexes(path);
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
