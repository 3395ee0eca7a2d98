// Local SQL speed: one select over a 1,000,000-row feature table, run through
// the engine (open, then every row counted), beside GDAL's ogrinfo with its
// SQLite dialect on the same file and beside SQLite's own shell on the same
// rows imported into a native SQLite table. Counting alone is timed too, for
// every tool: ogrinfo -so reports only the count, and count(*) lets SQLite
// skip the columns it would not show.
//
//   build/bench/sql_bench [ROWS] [FOLDER]     (defaults: 1000000, /tmp/tarnel-sql-bench)
//
// The feature table (feature_table.h) is made once and reached as t.dbf, a
// link beside it; t.sqlite holds its live rows in a native table t.
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>

#include "bench/feature_table.h"
#include "engine/database.h"
#include "engine/error.h"
#include "engine/sql/query.h"
#include "engine/table.h"

using namespace tarnel;
using namespace tarnel::bench;
using Clock = std::chrono::steady_clock;

namespace {

const char* kSql = R"(Select "t"."STATION","t"."DEPTH" From "t" Where (DEPTH  > 10))";
constexpr int kRuns = 3;

double Seconds(const std::function<void()>& work)
{
    auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Best(const std::function<void()>& work)
{
    double best = 1e9;
    for (int k = 0; k < kRuns; ++k) best = std::min(best, Seconds(work));
    return best;
}

bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// t.dbf, a link to the feature table of `rows` rows; true when it was (re)made.
bool EnsureLinkedTable(const std::string& folder, std::int64_t rows)
{
    namespace fs = std::filesystem;
    const std::string target = EnsureFeatureTable(folder, rows);
    const fs::path link = fs::path(folder) / "t.dbf";
    std::error_code ec;
    if (fs::is_symlink(link, ec) && fs::read_symlink(link, ec) == fs::path(target)) return false;
    fs::remove(link, ec);
    fs::create_symlink(target, link);
    return true;
}

std::string ShellQuote(const std::string& s)
{
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

// Runs a shell command, returns its first line of output matching `key` (or "").
std::string Run(const std::string& command, const std::string& key = {})
{
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {};
    std::string found;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe))
        if (!key.empty() && found.empty() && std::string(line).find(key) != std::string::npos) found = line;
    pclose(pipe);
    while (!found.empty() && (found.back() == '\n' || found.back() == '\r')) found.pop_back();
    return found;
}

void Report(const char* what, double seconds, double engine, const std::string& note)
{
    std::printf("%-46s %8.3f s  %7.2fx engine  %s\n", what, seconds, seconds / engine, note.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    const std::int64_t rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
    const std::string folder = argc > 2 ? argv[2] : "/tmp/tarnel-sql-bench";
    try {
        if (EnsureLinkedTable(folder, rows) || !Exists(JoinPath(folder, "t.sqlite"))) {
            std::printf("making %s/t.sqlite...\n", folder.c_str());
            std::printf("  %.1f s\n", Seconds([&] { MakeNativeTable(folder); }));
        }

        std::printf("statement: %s\nrows: %lld, every 1000th deleted; best of %d runs\n\n", kSql,
                    static_cast<long long>(rows), kRuns);

        std::int64_t hits = 0;
        const double engine = Best([&] { hits = QueryResult::Run(folder, kSql)->recordCount(); });
        Report("engine: open, every row counted", engine, engine, std::to_string(hits) + " hits");
        const std::string countSql = "Select count(*) From (" + std::string(kSql) + ")";
        std::string counted;
        const double engineCount = Best([&] { counted = QueryResult::Run(folder, countSql)->asText(0); });
        Report("engine: count(*) of the select", engineCount, engine, counted + " hits");

        const std::string dbf = ShellQuote(JoinPath(folder, "t.dbf"));
        const std::string sqlite = ShellQuote(JoinPath(folder, "t.sqlite"));
        const std::string sql = ShellQuote(kSql);

        if (!Run("command -v ogrinfo", "ogrinfo").empty()) {
            std::string count;
            double gdal = Best([&] {
                count = Run("ogrinfo -ro -so -dialect SQLite -sql " + sql + " " + dbf + " 2>&1", "Feature Count");
            });
            Report("ogrinfo -ro -so -dialect SQLite -sql", gdal, engine, count);
            double gdalAll = Best([&] {
                Run("ogrinfo -ro -dialect SQLite -sql " + sql + " " + dbf + " >/dev/null 2>&1");
            });
            Report("ogrinfo -ro -dialect SQLite -sql (every row)", gdalAll, engine, "rows listed to /dev/null");
        } else {
            std::printf("ogrinfo not found: GDAL skipped\n");
        }

        if (!Run("command -v sqlite3", "sqlite3").empty()) {
            std::string count;
            double native = Best([&] {
                Run("sqlite3 " + sqlite + " " + ShellQuote(std::string(kSql)) + " >/dev/null");
            });
            Report("sqlite3 native table (every row)", native, engine, "rows listed to /dev/null");
            double nativeCount = Best([&] {
                count = Run("sqlite3 " + sqlite + " " + ShellQuote(countSql), "0");
            });
            Report("sqlite3 native table, count(*) of the select", nativeCount, engine, count + " hits");
        } else {
            std::printf("sqlite3 not found: native SQLite skipped\n");
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sql_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
