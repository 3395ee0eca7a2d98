#include "bench/feature_table.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <sqlite3.h>

#include "engine/daynum.h"
#include "engine/error.h"
#include "engine/sql/query.h"
#include "engine/sql/table_module.h"
#include "engine/table.h"

namespace tarnel::bench {

namespace {

// Writes NAME-ROWS.dbf (under a temporary name first, so that a stopped run
// leaves nothing that looks finished), with every deleteEvery-th row deleted.
std::string WriteTable(const std::string& folder, const std::string& stem, std::int64_t rows,
                       std::int64_t deleteEvery, bool passage)
{
    std::filesystem::create_directories(folder);
    std::string name = stem + std::to_string(rows) + ".dbf";
    std::string path = folder + "/" + name;
    if (std::filesystem::exists(path)) return path;
    std::fprintf(stderr, "writing %s (%lld rows)...\n", path.c_str(), static_cast<long long>(rows));
    Table t;
    t.setDatabaseName(folder);
    t.setTableName(name + ".part");
    t.setTableType(TableType::dBASE);
    t.addFieldDef("STATION", ftString, 12);
    t.addFieldDef("SUFFIX", ftString, 4);
    t.addFieldDef("DEPTH", ftFloat, 10, false, 2);
    t.addFieldDef("NOTE", ftString, 40);
    t.addFieldDef("SURVEYED", ftDate, 0);
    t.addFieldDef("FLAG", ftBoolean, 0);
    if (passage) t.addFieldDef("PASSAGE", ftString, 16);
    t.createTable();
    t.open();
    static const char* notes[] = {"Pool, clear water", "Helictites on the east wall", "Bone fragments",
                                  "Photo point", "Calcite rafts", ""};
    static const char* passages[] = {"Main Drain", "main drain", "Boulder Choke", "THE CANYON", "Upper Series"};
    std::int64_t base = DayNumber(1995, 1, 1);
    for (std::int64_t k = 0; k < rows; ++k) {
        t.append();
        t.setValue(0, Value::text("A" + std::to_string(k / 10)));
        t.setValue(1, Value::text(std::to_string(k % 10)));
        t.setValue(2, Value::real(static_cast<double>((k * 7919) % 50000) / 100.0));
        t.setValue(3, Value::text(notes[k % 6]));
        t.setValue(4, Value::integer(base + k % 9000));
        t.setValue(5, Value::integer(k % 3 == 0));
        if (passage) t.setValue(6, Value::text(passages[k % 5]));
        t.post();
    }
    // Walk from the end so row numbers stay put.
    for (std::int64_t k = (rows - 1) / deleteEvery * deleteEvery; k >= 0; k -= deleteEvery) {
        t.moveTo(k);
        t.deleteRecord();
    }
    t.close();
    std::filesystem::rename(path + ".part", path);
    return path;
}

void Check(sqlite3* db, int rc)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw EngineError(std::string("sqlite: ") + sqlite3_errmsg(db));
}

} // namespace

std::string EnsureFeatureTable(const std::string& folder, std::int64_t rows)
{
    return WriteTable(folder, "features", rows, 1000, false);
}

std::string EnsureSurveyTable(const std::string& folder, std::int64_t rows)
{
    return WriteTable(folder, "survey", rows, 997, true);
}

void MakeNativeTable(const std::string& folder)
{
    const std::string path = folder + "/t.sqlite";
    std::remove(path.c_str());
    auto rows = QueryResult::Run(folder, R"(Select * From "t")");
    std::string create = "CREATE TABLE t(", insert = "INSERT INTO t VALUES (";
    for (const FieldDef& f : rows->fields()) {
        if (f.number > 1) create += ", ", insert += ",";
        create += f.name + " " + sql::ColumnTypeOf(f.type);
        insert += "?";
    }
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    Check(db, sqlite3_exec(db, (create + "); BEGIN").c_str(), nullptr, nullptr, nullptr));
    sqlite3_stmt* statement = nullptr;
    Check(db, sqlite3_prepare_v2(db, (insert + ")").c_str(), -1, &statement, nullptr));
    for (rows->first(); !rows->eof(); rows->next()) {
        for (int k = 0; k < rows->fieldCount(); ++k) {
            Value v = rows->value(k);
            switch (v.kind) {
            case Value::Kind::Int: sqlite3_bind_int64(statement, k + 1, v.i); break;
            case Value::Kind::Float: sqlite3_bind_double(statement, k + 1, v.f); break;
            case Value::Kind::Text: sqlite3_bind_text(statement, k + 1, v.s.c_str(), -1, SQLITE_TRANSIENT); break;
            default: sqlite3_bind_null(statement, k + 1); break;
            }
        }
        Check(db, sqlite3_step(statement));
        sqlite3_reset(statement);
    }
    sqlite3_finalize(statement);
    Check(db, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr));
    sqlite3_close(db);
}

double TimeCommand(const std::string& command)
{
    auto start = std::chrono::steady_clock::now();
    int rc = std::system(command.c_str());
    double seconds = Since(start);
    return rc == 0 ? seconds : -1.0;
}


namespace proc {

// Runs argv with stdout into /dev/null (or captured into *output), best of kRuns.
Run Measure(const std::vector<std::string>& argv, std::string* output)
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

void Line(const char* what, const Run& run, const std::string& note)
{
    std::printf("  %-34s %7.3f s wall %7.3f s cpu %7.1f MB%s  %s\n", what, run.seconds, run.cpu, run.peakMb,
                run.ok ? "" : "  FAILED", note.c_str());
}

// A ratio of two runs, by wall time and by processor time.
void Ratio(const char* what, const Run& a, const Run& b, const char* goal)
{
    std::printf("  %-34s %7.2fx wall %6.2fx cpu   (goal: %s)\n", what, a.seconds / b.seconds, a.cpu / b.cpu, goal);
}

} // namespace proc

} // namespace tarnel::bench
