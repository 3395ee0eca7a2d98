// Copy of the feature table onto a PostgreSQL server (tarnel-cli copy --mode
// copy into a server alias) beside psql's \copy of the same rows from a
// tab-separated file, each a whole process. The server is one of the
// program's own (initdb into a temporary folder, a Unix socket only).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_server.h"
#include "bench/feature_table.h"
#include "engine/aliases.h"
#include "engine/pg/pg_connection.h"
#include "tests/support/pg_server.h"

using namespace tarnel;
using namespace tarnel::bench;
using tarnel::test::PgServer;

int main(int argc, char** argv)
{
    std::int64_t rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
    std::string folder = argc > 2 ? argv[2] : "/tmp/tarnel-pg-copy-bench";
    std::string path = EnsureFeatureTable(folder, rows);
    std::string name = std::filesystem::path(path).filename().string();
    std::string cli = (std::filesystem::path(argv[0]).parent_path() / "../bin/tarnel-cli").string();

    int status = 0;
    try {
        const std::string uri = StartBenchDatabase(folder);

        TimeCommand("cat '" + path + "' > /dev/null");   // warm the cache
        double copy = TimeCommand("'" + cli + "' copy '" + folder + "' '" + name + "' BENCH t --mode copy > /dev/null");
        pg::Connection server(uri, "BENCH");
        const std::string loaded = server.exec("SELECT count(*) FROM t").text(0, 0);

        // The same rows as psql takes them, into a table of the same shape.
        const std::string rowsFile = folder + "/rows.tsv";
        const std::string psql = PgServer::binFolder() + "psql -q '" + uri + "' -c ";
        std::filesystem::remove(rowsFile);
        ::chmod(folder.c_str(), 0777);
        server.exec("CREATE TABLE t2 (LIKE t)");
        double dump = TimeCommand(psql + "\"\\copy t to '" + rowsFile + "'\"");
        double load = TimeCommand(psql + "\"\\copy t2 from '" + rowsFile + "'\"");
        if (copy < 0 || dump < 0 || load < 0) throw std::runtime_error("a command failed");
        std::printf("rows                          %lld (on the server: %s)\n", static_cast<long long>(rows),
                    loaded.c_str());
        std::printf("tarnel-cli copy --mode copy   %.3f s   %.2fx of psql \\copy (goal: within 2x)\n", copy, copy / load);
        std::printf("psql \\copy from a file        %.3f s\n", load);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        status = 1;
    }
    PgServer::remove();
    return status;
}
