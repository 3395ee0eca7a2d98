// Reading a large feature table: open-to-first-rows, a full scan of every
// field through the table object, and the floors beside it (cat of the file,
// a bare memory-mapped decode loop) and GDAL's CSV export of the same file.
//
//   build/bench/table_bench [ROWS] [FOLDER]     (defaults: 1000000, /tmp/tarnel-table-bench)
#include <algorithm>
#include <functional>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "bench/feature_table.h"
#include "engine/table.h"

using namespace tarnel;
using namespace tarnel::bench;

namespace {

double Best(int runs, const std::function<double()>& run)
{
    double best = 1e9;
    for (int k = 0; k < runs; ++k) best = std::min(best, run());
    return best;
}

// The floor: the records straight from a memory map, each field trimmed into
// a string. Knows this one table's layout and nothing else.
double BareDecode(const std::string& path, std::size_t& checksum)
{
    auto start = std::chrono::steady_clock::now();
    int fd = open(path.c_str(), O_RDONLY);
    struct stat st {};
    fstat(fd, &st);
    auto* base = static_cast<const char*>(mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0));
    std::uint32_t count;
    std::uint16_t header, length;
    std::memcpy(&count, base + 4, 4);
    std::memcpy(&header, base + 8, 2);
    std::memcpy(&length, base + 10, 2);
    const int widths[] = {12, 4, 10, 40, 8, 1};
    std::string text;
    for (std::uint32_t r = 0; r < count; ++r) {
        const char* rec = base + header + static_cast<size_t>(r) * length;
        if (rec[0] == '*') continue;
        const char* p = rec + 1;
        for (int w : widths) {
            std::string_view v(p, static_cast<size_t>(w));
            while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
            while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
            text.assign(v);
            checksum += text.size();
            p += w;
        }
    }
    munmap(const_cast<char*>(base), static_cast<size_t>(st.st_size));
    close(fd);
    return Since(start);
}

} // namespace

int main(int argc, char** argv)
{
    std::int64_t rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
    std::string folder = argc > 2 ? argv[2] : "/tmp/tarnel-table-bench";
    std::string path = EnsureFeatureTable(folder, rows);
    struct stat st {};
    stat(path.c_str(), &st);
    std::printf("table: %s, %lld rows, %.1f MB\n", path.c_str(), static_cast<long long>(rows), st.st_size / 1e6);
    TimeCommand("cat '" + path + "' > /dev/null");   // warm the page cache

    double open50 = Best(20, [&] {
        auto start = std::chrono::steady_clock::now();
        Table t;
        t.setTableName(path);
        t.setReadOnly(true);
        t.open();
        std::size_t n = 0;
        for (t.moveTo(0); !t.eof() && t.row() < 50; t.next())
            for (int f = 0; f < t.fieldCount(); ++f) n += t.asText(f).size();
        return Since(start);
    });

    std::int64_t counted = 0;
    double scan = Best(3, [&] {
        auto start = std::chrono::steady_clock::now();
        Table t;
        t.setTableName(path);
        t.setReadOnly(true);
        t.open();
        std::size_t n = 0;
        counted = 0;
        std::string text;
        const int fields = t.fieldCount();
        for (t.first(); !t.eof(); t.next(), ++counted)
            for (int f = 0; f < fields; ++f) {
                text.clear();
                t.appendText(f, text);
                n += text.size();
            }
        return Since(start);
    });

    std::size_t checksum = 0;
    double bare = Best(3, [&] { return BareDecode(path, checksum); });
    double cat = Best(3, [&] { return TimeCommand("cat '" + path + "' > /dev/null"); });
    double ogr = TimeCommand("ogr2ogr -f CSV /vsistdout/ '" + path + "' > /dev/null 2>&1");

    std::printf("rows read in the full scan: %lld\n", static_cast<long long>(counted));
    std::printf("%-44s %9.3f ms\n", "open and read the first 50 rows", open50 * 1000);
    std::printf("%-44s %9.4f s\n", "full scan, text of every field (Table)", scan);
    std::printf("%-44s %9.4f s\n", "bare memory-mapped decode loop", bare);
    std::printf("%-44s %9.4f s\n", "cat of the file", cat);
    if (ogr >= 0) std::printf("%-44s %9.4f s\n", "ogr2ogr -f CSV /vsistdout/", ogr);
    else std::printf("%-44s %9s\n", "ogr2ogr -f CSV /vsistdout/", "(not run)");
    if (ogr > 0) std::printf("full scan vs ogr2ogr: %.1fx faster\n", ogr / scan);
    std::printf("full scan vs bare decode: %.2fx\n", scan / bare);
    return 0;
}
