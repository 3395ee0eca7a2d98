// Copy of the feature table into a new table (tarnel-cli copy --mode copy)
// beside cp of its files and the engine's own full scan (tarnel-cli dump),
// each as a whole process, warm cache.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/feature_table.h"

using namespace tarnel::bench;

int main(int argc, char** argv)
{
    std::int64_t rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
    std::string folder = argc > 2 ? argv[2] : "/tmp/tarnel-copy-bench";
    std::string path = EnsureFeatureTable(folder, rows);
    std::string name = std::filesystem::path(path).filename().string();
    std::string cli = (std::filesystem::path(argv[0]).parent_path() / "../bin/tarnel-cli").string();

    TimeCommand("cat '" + path + "' > /dev/null");   // warm the cache
    double cp = TimeCommand("cp '" + path + "' '" + folder + "/cp-copy.dbf'");
    double scan = TimeCommand("'" + cli + "' dump '" + folder + "' '" + name + "' > /dev/null");
    double copy = TimeCommand("'" + cli + "' copy '" + folder + "' '" + name + "' '" + folder +
                              "' engine-copy.dbf --mode copy > /dev/null");
    double toParadox = TimeCommand("'" + cli + "' copy '" + folder + "' '" + name + "' '" + folder +
                                   "' engine-copy.db --mode copy > /dev/null");
    if (cp < 0 || scan < 0 || copy < 0 || toParadox < 0) {
        std::fprintf(stderr, "a command failed\n");
        return 1;
    }
    std::printf("rows                      %lld\n", static_cast<long long>(rows));
    std::printf("cp of the table           %.3f s\n", cp);
    std::printf("full scan (dump)          %.3f s\n", scan);
    std::printf("Copy dBASE -> dBASE       %.3f s   %.2fx of cp + scan (goal: within 3x)\n", copy, copy / (cp + scan));
    std::printf("Copy dBASE -> Paradox     %.3f s   %.2fx of cp + scan\n", toParadox, toParadox / (cp + scan));
    return 0;
}
