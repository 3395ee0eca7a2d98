#pragma once
// The benchmark feature table: STATION C(12), SUFFIX C(4), DEPTH N(10,2),
// NOTE C(40), SURVEYED D, FLAG L; every 1000th row deleted.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace tarnel::bench {

// Writes the table (unless a table of that row count is there already) and returns its path.
std::string EnsureFeatureTable(const std::string& folder, std::int64_t rows);

// The survey table: the feature table's six fields and PASSAGE C(16) (mixed
// letter case), every 997th row deleted; written once like the feature table.
std::string EnsureSurveyTable(const std::string& folder, std::int64_t rows);

// The live rows of FOLDER/t.dbf copied into a native SQLite table t of
// FOLDER/t.sqlite, with the column types local SQL shows.
void MakeNativeTable(const std::string& folder);

// Seconds since a start point.
inline double Since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs a shell command and returns its wall time in seconds (negative when it failed).
double TimeCommand(const std::string& command);

// Whole processes timed (cli_bench, index_lookup_bench).
namespace proc {

// A whole process run kRuns times: its best wall and processor times.
constexpr int kRuns = 5;
struct Run {
    double seconds = 1e9;   // best wall time
    double cpu = 1e9;       // best processor time (user and system): steadier on a busy machine
    double peakMb = 0;      // peak resident memory of that kind of run (largest seen)
    bool ok = true;
};
// Runs argv with stdout into /dev/null (or captured into *output), best of
// kRuns (one when a run takes over 3 s); peak memory from wait4().
Run Measure(const std::vector<std::string>& argv, std::string* output = nullptr);
bool Have(const char* tool);
// One figure line, and a ratio of two runs by wall and processor time.
void Line(const char* what, const Run& run, const std::string& note = {});
void Ratio(const char* what, const Run& a, const Run& b, const char* goal);

} // namespace proc

} // namespace tarnel::bench
