// The index files beside a dBASE/FoxPro table, as seen from the table.
#include "engine/dbf/dbf_table.h"
#include "engine/dbf/index/index_file.h"
#include "engine/dbf/index/index_key.h"

namespace tarnel {

std::vector<std::string> DbfTable::indexFiles() const
{
    return FindTableIndexFiles(file_.path());
}

std::vector<IndexTag> DbfTable::indexTags()
{
    std::vector<IndexTag> out;
    for (const std::string& path : indexFiles()) {
        auto index = IndexFile::open(path);
        for (const IndexTag& t : index->tags()) out.push_back(t);
    }
    return out;
}

} // namespace tarnel
