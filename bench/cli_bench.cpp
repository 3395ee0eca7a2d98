// tarnel-cli as whole processes beside the tools it is measured against, on
// the survey table (feature_table.h) of ROWS rows, warm cache:
//   count    tarnel-cli query --count of a select with a condition; sqlite3
//            counting the same rows of a native table; ogrinfo's SQLite dialect
//   dump     tarnel-cli dump into /dev/null; sqlite3 -csv of the native table;
//            ogr2ogr -f CSV to stdout
//   export   tarnel-cli export --method marked --number DEPTH of every row:
//            time and peak memory
// Each figure is the best of five runs (one when a run takes over 3 s); peak
// memory comes from wait4().
//
//   build/bench/cli_bench [ROWS] [FOLDER] [TARNEL-CLI]
//       (defaults: 1000000, /tmp/tarnel-cli-bench, the tarnel-cli of this build)
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/feature_table.h"
#include "engine/error.h"
#include "engine/sql/query.h"

using namespace tarnel;
using namespace tarnel::bench;
using namespace tarnel::bench::proc;

namespace {

const char* kSelect = R"(Select "t"."STATION","t"."DEPTH" From "t" Where (DEPTH  > 10))";

std::string FirstLine(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

} // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    const std::int64_t rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
    const std::string folder = argc > 2 ? argv[2] : "/tmp/tarnel-cli-bench";
    const std::string cli = argc > 3 ? std::string(argv[3])
                                     : (fs::read_symlink("/proc/self/exe").parent_path().parent_path() /
                                        "bin" / "tarnel-cli").string();
    try {
        if (!fs::exists(cli)) throw EngineError("tarnel-cli not found at " + cli);
        const std::string target = EnsureSurveyTable(folder, rows);
        const fs::path link = fs::path(folder) / "t.dbf";
        std::error_code ec;
        if (!(fs::is_symlink(link, ec) && fs::read_symlink(link, ec) == fs::path(target)) ||
            !fs::exists(folder + "/t.sqlite")) {
            fs::remove(link, ec);
            fs::create_symlink(target, link);
            std::printf("making %s/t.sqlite...\n", folder.c_str());
            MakeNativeTable(folder);
        }
        const std::string dbf = folder + "/t.dbf";
        const std::string native = folder + "/t.sqlite";
        std::printf("%s: %lld rows, every 997th deleted; best of %d runs, whole processes\n\n",
                    dbf.c_str(), static_cast<long long>(rows), kRuns);

        // Warm the cache.
        Measure({"cat", dbf});
        Measure({"cat", native});

        std::string out;
        std::printf("count: %s\n", kSelect);
        const Run count = Measure({cli, "query", "--count", folder, kSelect}, &out);
        Line("tarnel-cli query --count", count, FirstLine(out) + " rows");
        if (Have("sqlite3")) {
            const Run peer = Measure({"sqlite3", native, "Select count(*) From (" + std::string(kSelect) + ")"}, &out);
            Line("sqlite3, native table, count(*)", peer, FirstLine(out) + " rows");
            Ratio("tarnel-cli / sqlite3", count, peer, "at most 2");
        }
        if (Have("ogrinfo")) {
            const Run peer = Measure({"ogrinfo", "-ro", "-so", "-dialect", "SQLite", "-sql", kSelect, dbf});
            Line("ogrinfo -ro -so -dialect SQLite", peer);
            Ratio("ogrinfo / tarnel-cli", peer, count, "at least 10");
        }

        std::printf("\ndump of every row into /dev/null\n");
        const Run dump = Measure({cli, "dump", dbf});
        Line("tarnel-cli dump", dump);
        if (Have("sqlite3")) {
            const Run peer = Measure({"sqlite3", "-csv", "-header", native, "Select * From t"});
            Line("sqlite3 -csv, native table", peer);
            Ratio("sqlite3 / tarnel-cli", peer, dump, "at least 3");
        }
        if (Have("ogr2ogr")) {
            const Run peer = Measure({"ogr2ogr", "-f", "CSV", "/vsistdout/", dbf});
            Line("ogr2ogr -f CSV /vsistdout/", peer);
            Ratio("ogr2ogr / tarnel-cli", peer, dump, "none");
        }

        std::printf("\nexport --method marked --number DEPTH of every row into /dev/null\n");
        const Run exported = Measure({cli, "export", folder, "t", "--feature", "Depths", "--method", "marked",
                                      "--station", "STATION", "--number", "DEPTH"});
        Line("tarnel-cli export", exported);
        std::printf("  %-34s %s   (goal: under 0.5 s and 64 MB)\n", "",
                    exported.seconds < 0.5 && exported.peakMb < 64 ? "met" : "not met");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cli_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
