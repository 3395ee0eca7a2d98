#pragma once
// The benchmark feature table: STATION C(12), SUFFIX C(4), DEPTH N(10,2),
// NOTE C(40), SURVEYED D, FLAG L; every 1000th row deleted.
#include <chrono>
#include <cstdint>
#include <string>

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

} // namespace tarnel::bench
