// Copy of the feature table into a new table (tarnel-cli copy --mode copy)
// beside cp of its files and the engine's own full scan (tarnel-cli dump),
// and the restructure of each copy (tarnel-cli restructure, the same fields
// and one new one) beside its Copy; each as a whole process, warm cache.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>

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
    const std::string fields = " --field STATION:String:12 --field SUFFIX:String:4 --field DEPTH:Float"
                               " --field NOTE:String:40 --field SURVEYED:Date --field FLAG:Boolean"
                               " --field CHECKED:Boolean > /dev/null";
    double restructure = TimeCommand("'" + cli + "' restructure '" + folder + "' engine-copy.dbf" + fields);
    double restructureParadox = TimeCommand("'" + cli + "' restructure '" + folder + "' engine-copy.db" + fields);
    // Where the temporary folder is on the table's file system the saved copy
    // is a second name of the table's file; elsewhere its bytes are copied.
    double restructureCopying = -1;
    struct stat here {}, shm {};
    if (::stat(folder.c_str(), &here) == 0 && ::stat("/dev/shm", &shm) == 0 && here.st_dev != shm.st_dev) {
        TimeCommand("'" + cli + "' copy '" + folder + "' '" + name + "' '" + folder + "' engine-copy.dbf --mode copy > /dev/null");
        restructureCopying = TimeCommand("TMPDIR=/dev/shm '" + cli + "' restructure '" + folder + "' engine-copy.dbf" + fields);
    }
    if (cp < 0 || scan < 0 || copy < 0 || toParadox < 0 || restructure < 0 || restructureParadox < 0) {
        std::fprintf(stderr, "a command failed\n");
        return 1;
    }
    std::printf("rows                      %lld\n", static_cast<long long>(rows));
    std::printf("cp of the table           %.3f s\n", cp);
    std::printf("full scan (dump)          %.3f s\n", scan);
    std::printf("Copy dBASE -> dBASE       %.3f s   %.2fx of cp + scan (goal: within 3x)\n", copy, copy / (cp + scan));
    std::printf("Copy dBASE -> Paradox     %.3f s   %.2fx of cp + scan (goal: within 3x)\n", toParadox,
                toParadox / (cp + scan));
    std::printf("restructure dBASE         %.3f s   %.2fx of its Copy (goal: within 2x)\n", restructure, restructure / copy);
    std::printf("restructure Paradox       %.3f s   %.2fx of its Copy (goal: within 2x)\n", restructureParadox,
                restructureParadox / toParadox);
    if (restructureCopying >= 0)
        std::printf("restructure dBASE, copy saved on another file system (TMPDIR=/dev/shm)\n"
                    "                          %.3f s   %.2fx of its Copy\n",
                    restructureCopying, restructureCopying / copy);
    return 0;
}
