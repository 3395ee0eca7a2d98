// The index files beside a dBASE/FoxPro table, as seen from the table.
#include "engine/database.h"
#include "engine/dbf/dbf_table.h"
#include "engine/dbf/index/index_file.h"
#include "engine/dbf/index/index_keeper.h"
#include "engine/dbf/index/index_key.h"
#include "engine/error.h"

namespace tarnel {

DbfTable::~DbfTable() = default;

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

// Index files we cannot keep up to date would go stale under our writes, and
// another program would trust them; such a table is only read.
void DbfTable::findUnkeptIndex()
{
    const std::string& path = file_.path();
    std::string base = BaseName(path);
    std::string folder = base.size() < path.size() ? path.substr(0, path.size() - base.size() - 1) : std::string();
    auto dot = base.find_last_of('.');
    std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    std::string why, detail;
    if (header_.flavor != DbfFlavor::DBase2 && (header_.tableFlags & 0x01)) {
        std::string production = stem + (header_.isFoxPro() ? ".cdx" : ".mdx");
        if (FindFileInFolder(folder, production).empty()) why = "its production index " + production;
    }
    std::string clipper = FindFileInFolder(folder, stem + ".ntx");
    if (why.empty() && !clipper.empty()) why = "its index file " + BaseName(clipper);
    if (why.empty()) {
        auto files = indexFiles();
        if (!files.empty()) {
            indexes_ = std::make_unique<IndexKeeper>(files, header_);
            why = indexes_->blocked();
            if (!indexes_->damage().empty()) detail = " (" + indexes_->damage() + ")";
            if (!why.empty()) indexes_.reset();
        }
    }
    if (!why.empty())
        indexBlock_ = base + ": " + why + " cannot be kept up to date; the table is open read-only" + detail;
}

void DbfTable::updateIndexes(const std::function<void()>& undo)
{
    if (!indexes_ || indexes_->empty()) return;
    cacheCount_ = 0;
    try {
        indexes_->rebuild([this](std::int64_t r) { return record_(r); }, header_.recordCount);
    } catch (const EngineError& e) {
        std::string message = BaseName(file_.path()) + ": the change is undone, because the index files could not follow it: " + e.what();
        try {
            undo();
        } catch (const EngineError& again) {
            message = BaseName(file_.path()) + ": the index files could not follow a change (" + e.what() +
                      "), and the change could not be undone: " + again.what();
        }
        cacheCount_ = 0;
        throw EngineError(message);
    }
}

} // namespace tarnel
