// A selective query on a server table of ROWS rows (default 1,000,000; an
// index on STATION): the condition reaching the server's WHERE clause, beside
// the same rows read whole from the server and tested here. The server is one
// of the program's own (initdb into a temporary folder, a Unix socket only).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_server.h"
#include "bench/feature_table.h"
#include "engine/aliases.h"
#include "engine/pg/pg_connection.h"
#include "engine/pg/pg_scan.h"
#include "engine/sql/query.h"
#include "engine/table.h"
#include "tests/support/pg_server.h"

using namespace tarnel;
using namespace tarnel::bench;
using tarnel::test::PgServer;

namespace {

// The best of five runs of f, in seconds.
template <typename F>
double Best(F f)
{
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        auto start = std::chrono::steady_clock::now();
        f();
        best = std::min(best, Since(start));
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    std::int64_t rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
    std::string folder = argc > 2 ? argv[2] : "/tmp/tarnel-pg-query-bench";
    std::string cli = (std::filesystem::path(argv[0]).parent_path() / "../bin/tarnel-cli").string();
    int status = 0;
    try {
        const std::string uri = StartBenchDatabase(folder);
        pg::Connection server(uri, "BENCH");
        server.exec("CREATE TABLE t (\"ID\" integer PRIMARY KEY, \"STATION\" varchar(12), \"DEPTH\" double precision, "
                    "\"NOTE\" varchar(40))");
        server.exec("INSERT INTO t SELECT g, 'S' || lpad((g % 200000)::text, 7, '0'), (g % 5000) / 10.0, "
                    "'note ' || g FROM generate_series(1, $1::integer) g",
                    {std::to_string(rows)});
        server.exec("CREATE INDEX t_station ON t (\"STATION\")");
        server.exec("VACUUM ANALYZE t");

        const std::string sql = "Select \"t\".\"STATION\",\"t\".\"DEPTH\" From \"t\" Where (\"t\".\"STATION\" = \"S0123456\")";
        std::int64_t hits = 0;
        const double pushed = Best([&] { hits = QueryResult::Run("BENCH", sql)->recordCount(); });
        const double process = TimeCommand("'" + cli + "' query --count BENCH '" + sql + "' > /dev/null");

        // Without the condition on the server: every row comes over and is tested here.
        std::vector<int> key;
        const auto columns = pg::ServerTableColumns(server, "t", key);
        std::int64_t local = 0;
        const double whole = Best([&] {
            local = 0;
            pg::ServerScan scan(server, "t", columns, {});
            while (scan.next())
                if (scan.value(1).s == "S0123456") ++local;
        });
        // Where the time of a query goes: opening the table (connection, columns, row count).
        const double open = Best([&] {
            Table t;
            t.setDatabaseName("BENCH");
            t.setTableName("t");
            t.setReadOnly(true);
            t.open();
        });
        const double count = Best([&] { server.exec("SELECT count(*) FROM t"); });
        if (process < 0) throw std::runtime_error("tarnel-cli query failed");
        std::printf("rows                                   %lld, hits %lld (%lld)\n", static_cast<long long>(rows),
                    static_cast<long long>(hits), static_cast<long long>(local));
        std::printf("query, condition on the server         %.4f s (goal: under 0.1 s)\n", pushed);
        std::printf("tarnel-cli query --count, whole process %.4f s\n", process);
        std::printf("  of which opening the table            %.4f s (its row count alone %.4f s)\n", open, count);
        std::printf("every row read from the server, tested here %.4f s   %.0fx slower\n", whole, whole / pushed);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        status = 1;
    }
    PgServer::remove();
    return status;
}
