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
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

namespace {

constexpr int kRuns = 5;
const char* kSelect = R"(Select "t"."STATION","t"."DEPTH" From "t" Where (DEPTH  > 10))";

struct Run {
    double seconds = 1e9;   // best wall time
    double cpu = 1e9;       // best processor time (user and system): steadier on a busy machine
    double peakMb = 0;      // peak resident memory of that kind of run (largest seen)
    bool ok = true;
};

// Runs argv with stdout into /dev/null (or captured into *output), best of kRuns.
Run Measure(const std::vector<std::string>& argv, std::string* output = nullptr)
{
    Run best;
    for (int k = 0; k < kRuns; ++k) {
        int pipeFds[2] = {-1, -1};
        if (output && pipe(pipeFds) != 0) return {1e9, 1e9, 0, false};
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            int sink = output ? pipeFds[1] : open("/dev/null", O_WRONLY);
            dup2(sink, 1);
            int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, 2);
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        if (output) {
            close(pipeFds[1]);
            output->clear();
            char buf[4096];
            ssize_t n;
            while ((n = read(pipeFds[0], buf, sizeof buf)) > 0) output->append(buf, static_cast<size_t>(n));
            close(pipeFds[0]);
        }
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        const double seconds = Since(start);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) best.ok = false;
        best.seconds = std::min(best.seconds, seconds);
        const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        best.cpu = std::min(best.cpu, cpu);
        best.peakMb = std::max(best.peakMb, static_cast<double>(usage.ru_maxrss) / 1024.0);
        if (seconds > 3.0) break;   // a slow peer: one run tells enough
    }
    return best;
}

bool Have(const char* tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

void Line(const char* what, const Run& run, const std::string& note = {})
{
    std::printf("  %-34s %7.3f s wall %7.3f s cpu %7.1f MB%s  %s\n", what, run.seconds, run.cpu, run.peakMb,
                run.ok ? "" : "  FAILED", note.c_str());
}

// A ratio of two runs, by wall time and by processor time.
void Ratio(const char* what, const Run& a, const Run& b, const char* goal)
{
    std::printf("  %-34s %7.2fx wall %6.2fx cpu   (goal: %s)\n", what, a.seconds / b.seconds, a.cpu / b.cpu, goal);
}

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
