// Looking a few rows up in an indexed table as whole tarnel-cli query
// processes, beside the same select answered by reading every record.
//
// The feature table (feature_table.h) of ROWS rows is reached as t.dbf, with
// a compact single-tag index t.idx on STATION (ten rows share each value)
// written once beside it. The lookup selects every field of the rows of one
// station; the full scan writes the field as +STATION, which no index
// answers. Both must print the same rows. Best of five runs, warm cache.
//
//   build/bench/index_lookup_bench [ROWS] [FOLDER] [TARNEL-CLI]
//       (defaults: 1000000, /tmp/tarnel-lookup-bench, the tarnel-cli of this build)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/feature_table.h"
#include "engine/dbf/dbf_table.h"
#include "engine/dbf/index/index_key.h"
#include "engine/error.h"
#include "tests/support/compact_index_writer.h"

using namespace tarnel;
using namespace tarnel::bench;
using namespace tarnel::bench::proc;

namespace {

void WriteStationIndex(const std::string& dbfPath, const std::string& indexPath)
{
    std::printf("writing %s...\n", indexPath.c_str());
    DbfTable dbf(dbfPath, TableType::dBASE, true);
    auto expression = KeyExpression::compile("STATION", dbf.header(), KeyStyle::FoxPro);
    if (!expression) throw EngineError("no STATION field in " + dbfPath);
    std::vector<test::CompactEntry> entries;
    entries.reserve(static_cast<size_t>(dbf.physicalCount()));
    for (std::int64_t r = 0; r < dbf.physicalCount(); ++r)
        entries.push_back({expression->evaluate(dbf.rawRecord(r)), static_cast<std::uint32_t>(r + 1)});
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.key != b.key ? a.key < b.key : a.record < b.record;
    });
    test::WriteCompactIndex(indexPath + ".part", "STATION", 12, entries);
    std::filesystem::rename(indexPath + ".part", indexPath);
}

} // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    const std::int64_t rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
    const std::string folder = argc > 2 ? argv[2] : "/tmp/tarnel-lookup-bench";
    const std::string cli = argc > 3 ? std::string(argv[3])
                                     : (fs::read_symlink("/proc/self/exe").parent_path().parent_path() /
                                        "bin" / "tarnel-cli").string();
    try {
        if (!fs::exists(cli)) throw EngineError("tarnel-cli not found at " + cli);
        const std::string target = EnsureFeatureTable(folder, rows);
        const fs::path link = fs::path(folder) / "t.dbf";
        const std::string index = folder + "/t.idx";
        std::error_code ec;
        if (!(fs::is_symlink(link, ec) && fs::read_symlink(link, ec) == fs::path(target)) || !fs::exists(index)) {
            fs::remove(link, ec);
            fs::remove(index, ec);
            fs::create_symlink(target, link);
            WriteStationIndex(target, index);
        }
        const std::string station = "A" + std::to_string(rows / 20);
        const std::string lookup = "Select * From t Where STATION = '" + station + "'";
        const std::string scan = "Select * From t Where +STATION = '" + station + "'";
        std::printf("%s: %lld rows, index %s (%.1f MB); best of %d runs, whole processes\n\n",
                    link.c_str(), static_cast<long long>(rows), index.c_str(),
                    static_cast<double>(fs::file_size(index)) / 1e6, kRuns);

        Measure({"cat", target, index});   // warm the cache
        std::string found, scanned;
        const Run byIndex = Measure({cli, "query", folder, lookup}, &found);
        const Run byScan = Measure({cli, "query", folder, scan}, &scanned);
        const long lines = static_cast<long>(std::count(found.begin(), found.end(), '\n'));
        Line("tarnel-cli query, index lookup", byIndex, std::to_string(lines) + " lines");
        Line("tarnel-cli query, full scan", byScan);
        Ratio("full scan / lookup", byScan, byIndex, "lookup under 10 ms");
        if (found != scanned) {
            std::printf("  the lookup and the full scan printed different rows\n");
            return 1;
        }
        return byIndex.ok && byScan.ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "index_lookup_bench: %s\n", e.what());
        return 1;
    }
}
