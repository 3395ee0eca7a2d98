#include "tables/core/saved_copy.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "engine/engine_types.h"
#include "engine/error.h"
#include "engine/fileio/file.h"

namespace tarnel::tables {

namespace {

constexpr std::int64_t kRowsPerReport = 512;     // as often as a batch move reports
constexpr std::size_t kChunk = 1 << 20;

std::string Extension(const std::string& path)
{
    const std::string base = BaseName(path);
    const auto dot = base.find_last_of('.');
    return dot == std::string::npos ? std::string() : base.substr(dot);
}

// Tells progress of the rows passed by `done` bytes of `total`, at each
// multiple of kRowsPerReport crossed since the last call.
class ByteProgress {
public:
    ByteProgress(const BatchProgress& progress, std::int64_t rows, std::int64_t bytes)
        : progress_(progress), rows_(rows), bytes_(std::max<std::int64_t>(bytes, 1)) {}

    bool advance(std::int64_t doneBytes)
    {
        if (!progress_) return true;
        const std::int64_t reached = static_cast<std::int64_t>(static_cast<long double>(rows_) * doneBytes / bytes_);
        while (told_ + kRowsPerReport <= reached) {
            told_ += kRowsPerReport;
            if (!progress_(told_, rows_)) return false;
        }
        return true;
    }
    bool finish() { return !progress_ || progress_(rows_, rows_); }

private:
    const BatchProgress& progress_;
    std::int64_t rows_, bytes_;
    std::int64_t told_ = 0;
};

} // namespace

bool SavesByFileCopy(const Table& table)
{
    const TableFormat* format = table.format();
    if (!format) return false;
    const TableType type = format->type();
    return type == TableType::dBASE || type == TableType::FoxPro || type == TableType::Paradox;
}

bool SaveTableFiles(const Table& table, const std::string& folder, const std::string& name, std::int64_t rows,
                    const BatchProgress& progress)
{
    // The data file first, then the memo or blob file (the format lists no index file).
    std::vector<std::string> files;
    for (const std::string& f : table.format()->files()) {
        std::string ext = Extension(f);
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (files.empty() || ext == ".dbt" || ext == ".fpt" || ext == ".mb") files.push_back(f);
    }
    const auto dot = name.find_last_of('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);

    std::vector<File> sources;
    std::int64_t total = 0;
    for (const std::string& f : files) {
        sources.push_back(File::open(f, true));
        total += sources.back().size();
    }
    ByteProgress told(progress, rows, total);
    std::vector<char> buffer(kChunk);
    std::int64_t done = 0;
    for (size_t k = 0; k < sources.size(); ++k) {
        const File& from = sources[k];
        const std::string path = folder + "/" + (k == 0 ? name : stem + Extension(files[k]));
        const std::int64_t size = from.size();
        // The table is only ever replaced by new files (never written over)
        // from here on, so a second name of its file is a copy; the bytes
        // are copied where it cannot be made.
        if (LinkFile(files[k], path)) {
            done += size;
            if (!told.advance(done)) return false;
            continue;
        }
        File to = File::create(path);
        for (std::int64_t at = 0; at < size;) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(kChunk, size - at));
            from.readExact(at, buffer.data(), want, "table");
            to.writeAt(at, buffer.data(), want);
            at += static_cast<std::int64_t>(want);
            if (!told.advance(done + at)) return false;
        }
        done += size;
        // The copy is the only one of the rows once the table is made anew.
        to.sync();
        to.close();
    }
    return told.finish();
}

void CheckMemosReadable(const Table& copy)
{
    std::vector<int> memos;
    const std::vector<FieldDef>& fields = copy.fields();
    for (size_t k = 0; k < fields.size(); ++k)
        if (IsBlobType(fields[k].type)) memos.push_back(static_cast<int>(k));
    if (memos.empty()) return;
    const std::int64_t rows = copy.recordCount();
    for (std::int64_t row = 0; row < rows; ++row)
        for (int field : memos) (void)copy.valueAt(row, field);
}

} // namespace tarnel::tables
