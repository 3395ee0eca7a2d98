// The marked-locations stream of a large result: range walk plus one line per
// row, then the bytes of the poke. Goal: under a second for 1,000,000 rows.
//
//   marked_locations_bench [ROWS]
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "query/core/viewer_export.h"
#include "query/core/viewer_link.h"
#include "tests/support/memory_dataset.h"

using namespace tarnel;
using namespace tarnel::query;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv)
{
    long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
    test::MemoryDataSet result({test::Field("STATION", ftString), test::Field("SUFFIX", ftString),
                                test::Field("DEPTH", ftFloat)});
    result.reserve(static_cast<size_t>(rows));
    for (long k = 0; k < rows; ++k)
        result.addRow({Value::text("A" + std::to_string(k % 5000)), Value::text(std::to_string(k % 7)),
                       Value::real(static_cast<double>(k % 1000) / 8.0 + 0.1)});

    auto start = Clock::now();
    TLineList lines;
    lines.reserve(static_cast<size_t>(rows) + 1);
    WriteMarkedLocations(result, "Pools", TExportFields{1, 2, 3}, lines);
    auto written = Clock::now();
    std::string data = ViewerPokeData(lines);
    auto done = Clock::now();

    auto ms = [](auto a, auto b) { return std::chrono::duration<double, std::milli>(b - a).count(); };
    std::printf("rows %ld: lines %.0f ms, poke data %.0f ms, total %.0f ms (%zu lines, %.1f MB)\n", rows,
                ms(start, written), ms(written, done), ms(start, done), lines.size(),
                static_cast<double>(data.size()) / 1e6);
    std::printf("first lines: %s | %s\n", lines[0].c_str(), lines.size() > 1 ? lines[1].c_str() : "");
    return ms(start, done) < 1000.0 ? 0 : 1;
}
