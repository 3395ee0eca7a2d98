// Writes into tables whose index files are kept up to date, as whole
// tarnel-cli processes, beside the same writes into the same tables without
// index files: one row appended to the feature table of ROWS rows, and all
// ROWS rows appended into an empty table.
//
// The indexed tables carry a .cdx with two tags (UPPER(STATION) and
// STR(DEPTH,10,2)+STATION), as a second table one .ndx on STATION, and as a
// third a .mdx with two tags (UPPER(STATION) and the number DEPTH).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "bench/feature_table.h"
#include "engine/bytes.h"
#include "engine/dbf/dbf_table.h"
#include "engine/dbf/index/index_keeper.h"
#include "engine/dbf/index/mdx_writer.h"
#include "engine/fileio/file.h"

using namespace tarnel;
using namespace tarnel::bench;

namespace {

std::string ReadAll(const std::string& path)
{
    File f = File::open(path, true);
    std::string bytes(static_cast<size_t>(f.size()), '\0');
    f.readExact(0, bytes.data(), bytes.size(), "the table");
    return bytes;
}

// The table at from cut down to its first `rows` records, written to to.
void FirstRows(const std::string& from, const std::string& to, std::uint32_t rows)
{
    std::string bytes = ReadAll(from);
    const size_t header = GetLe16(bytes.data() + 8), length = GetLe16(bytes.data() + 10);
    bytes.resize(header + rows * length);
    PutLe32(bytes.data() + 4, rows);
    WriteFileAtomically(to, bytes + '\x1A');
}

// The first live record of the table at from as a table of one row at to
// (the feature table marks some records deleted, and a copy skips them).
void OneLiveRow(const std::string& from, const std::string& to)
{
    std::string bytes = ReadAll(from);
    const size_t header = GetLe16(bytes.data() + 8), length = GetLe16(bytes.data() + 10);
    size_t at = header;
    while (at + length <= bytes.size() && bytes[at] == '*') at += length;
    if (at + length > bytes.size()) at = header;
    WriteFileAtomically(to, bytes.substr(0, header) + bytes.substr(at, length) + '\x1A');
    File f = File::open(to, false);
    const char one[4] = {1, 0, 0, 0};
    f.writeAt(4, one, 4);
}

enum class Kind { None, Cdx, Ndx, Mdx };

void AddIndex(const std::string& dbf, Kind kind)
{
    DbfTable table(dbf, TableType::Default, true);
    auto record = [&](std::int64_t r) { return table.rawRecord(r); };
    const std::string stem = dbf.substr(0, dbf.size() - 4);
    if (kind == Kind::Cdx)
        CreateCompoundIndex(stem + ".cdx", {{"STATION", "UPPER(STATION)", ""}, {"DEPTH", "STR(DEPTH,10,2)+STATION", ""}},
                            table.header(), record, table.physicalCount());
    if (kind == Kind::Ndx) CreateNdxIndex(stem + ".ndx", "STATION", table.header(), record, table.physicalCount());
    if (kind == Kind::Mdx) {
        std::vector<MdxTagLayout> tags{NewMdxTag("STATION", "UPPER(STATION)", "", 'C', 12, false, false, 1024),
                                       NewMdxTag("DEPTH", "DEPTH", "", 'N', 12, false, false, 1024)};
        ThreadMdxTags(tags);
        WriteFileAtomically(stem + ".mdx", BuildMdxIndex(MdxFileHeader(stem.substr(stem.find_last_of('/') + 1), 1024), tags));
        IndexKeeper(table.indexFiles(), table.header()).rebuild(record, table.physicalCount());
    }
}

// Best of three runs of an append by tarnel-cli; prepare() sets the destination up before each.
template <typename Prepare>
double Best(const std::string& command, Prepare prepare)
{
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        prepare();
        double t = TimeCommand(command);
        if (t < 0) return -1;
        best = std::min(best, t);
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    std::int64_t rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
    std::string folder = argc > 2 ? argv[2] : "/tmp/tarnel-index-bench";
    std::string cli = argc > 3 ? argv[3] : (std::filesystem::path(argv[0]).parent_path() / "../bin/tarnel-cli").string();
    const std::string source = EnsureFeatureTable(folder, rows);
    const std::string sourceName = std::filesystem::path(source).filename().string();
    OneLiveRow(source, folder + "/one.dbf");
    const std::string full = ReadAll(source);

    const char* names[] = {"plain", "cdx", "ndx", "mdx"};
    double single[4], batch[4];
    for (int k = 0; k < 4; ++k) {
        const std::string dest = folder + "/" + names[k] + ".dbf";
        for (const char* ext : {".cdx", ".ndx", ".mdx"}) std::filesystem::remove(folder + "/" + names[k] + ext);
        // One row into the full table (its indexes made once; the row is cut off again between runs).
        // The index files are put back too: the row's key was written into them.
        WriteFileAtomically(dest, full);
        AddIndex(dest, static_cast<Kind>(k));
        std::vector<std::pair<std::string, std::string>> indexes;
        for (const char* ext : {".cdx", ".ndx", ".mdx"})
            if (std::filesystem::exists(folder + "/" + names[k] + ext))
                indexes.emplace_back(folder + "/" + names[k] + ext, ReadAll(folder + "/" + names[k] + ext));
        single[k] = Best("'" + cli + "' copy '" + folder + "' one.dbf '" + folder + "' " + names[k] +
                             ".dbf --mode append > /dev/null",
                         [&] {
                             FirstRows(source, dest, static_cast<std::uint32_t>(rows));
                             for (const auto& [path, bytes] : indexes) WriteFileAtomically(path, bytes);
                         });
        // Every row into an empty table.
        batch[k] = Best("'" + cli + "' copy '" + folder + "' '" + sourceName + "' '" + folder + "' " + names[k] +
                            ".dbf --mode append > /dev/null",
                        [&] {
                            FirstRows(source, dest, 0);
                            AddIndex(dest, static_cast<Kind>(k));
                        });
        if (single[k] < 0 || batch[k] < 0) {
            std::fprintf(stderr, "a command failed\n");
            return 1;
        }
    }
    std::printf("rows                                   %lld\n", static_cast<long long>(rows));
    std::printf("one row appended, no index             %.3f s\n", single[0]);
    std::printf("one row appended, .cdx of two tags     %.3f s   %.1fx\n", single[1], single[1] / single[0]);
    std::printf("one row appended, .ndx                 %.3f s   %.1fx\n", single[2], single[2] / single[0]);
    std::printf("one row appended, .mdx of two tags     %.3f s   %.1fx\n", single[3], single[3] / single[0]);
    std::printf("all rows appended, no index            %.3f s\n", batch[0]);
    std::printf("all rows appended, .cdx of two tags    %.3f s   %.1fx\n", batch[1], batch[1] / batch[0]);
    std::printf("all rows appended, .ndx                %.3f s   %.1fx\n", batch[2], batch[2] / batch[0]);
    std::printf("all rows appended, .mdx of two tags    %.3f s   %.1fx\n", batch[3], batch[3] / batch[0]);
    return 0;
}
