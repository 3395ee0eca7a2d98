// server_open_bench [ROWS] [TARNEL-CLI]: open to first rows of a server table.
//
// Starts a PostgreSQL server of its own (initdb into a temporary folder,
// Unix socket only), loads a feature table of ROWS rows (default 1,000,000),
// then measures, best of 5:
//   - in this process: Table::open of the server alias table and the text of
//     its first 50 rows (the grid's first screen), and the rows it fetched;
//   - the window's path: the grid's model over the opened table, its first
//     50 rows shown, and then the row count arriving from its own thread;
//   - whole processes: `tarnel-cli dump CLUB feat --limit 50` beside
//     `psql -c "select * from feat order by id limit 50"` on the same socket.
// Goal: first rows within 50 ms.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>

#include "controls/dataset_model.h"
#include "engine/aliases.h"
#include "engine/pg/pg_connection.h"
#include "engine/pg/pg_table.h"
#include "engine/table.h"
#include "tests/support/pg_server.h"

using namespace tarnel;
using tarnel::test::PgServer;

namespace {

double Since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Best wall time of a shell command line (output to /dev/null) over 5 runs.
double BestOf5(const std::string& command)
{
    double best = 1e9;
    for (int k = 0; k < 5; ++k) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) return -1;
        best = std::min(best, Since(start));
    }
    return best;
}

void OpenFeat(Table& t)
{
    t.setDatabaseName("CLUB");
    t.setTableName("feat");
    t.open();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);   // the count reaches the model through the event loop
    const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
    const std::string cli = argc > 2 ? argv[2] : std::string(TARNEL_BENCH_BIN) + "/tarnel-cli";
    if (!PgServer::start()) {
        std::fprintf(stderr, "server_open_bench: %s\n", PgServer::lastError().c_str());
        return 1;
    }
    char config[] = "/tmp/tarnel-server-bench-XXXXXX";
    if (!::mkdtemp(config)) return 1;
    ::setenv("XDG_CONFIG_HOME", config, 1);
    int status = 0;
    try {
        {
            pg::Connection c(PgServer::uri(), "");
            c.exec("CREATE TABLE feat (id integer PRIMARY KEY, station varchar(12), depth numeric(10,2), "
                   "note varchar(40), surveyed date)");
            const auto start = std::chrono::steady_clock::now();
            c.exec("INSERT INTO feat SELECT g, 'ST' || g, g / 100.0, 'feature ' || g, "
                   "date '2001-01-01' + g % 5000 FROM generate_series(1, $1::int) g", {std::to_string(rows)});
            c.exec("VACUUM ANALYZE feat");
            std::printf("%ld rows loaded in %.1f s\n", rows, Since(start));
        }
        AddAlias("CLUB", PgServer::uri());

        double best = 1e9;
        std::int64_t fetched = 0, count = 0;
        for (int k = 0; k < 5; ++k) {
            const auto start = std::chrono::steady_clock::now();
            Table t;
            OpenFeat(t);
            std::string text;
            for (std::int64_t r = 0; r < 50; ++r)
                for (int f = 0; f < t.fieldCount(); ++f) t.appendTextAt(r, f, text);
            best = std::min(best, Since(start));
            fetched = dynamic_cast<pg::ServerTable&>(*t.format()).rowsFetched();
            count = t.recordCount();
        }
        std::printf("  open + first 50 rows (in process)   %7.1f ms   rows fetched %lld of %lld   (goal: 50 ms)\n",
                    best * 1000, static_cast<long long>(fetched), static_cast<long long>(count));

        double shown = 1e9, counted = 1e9;
        for (int k = 0; k < 5; ++k) {
            const auto start = std::chrono::steady_clock::now();
            Table t;
            OpenFeat(t);
            DataSetModel model;
            model.setDataSet(&t);
            for (int r = 0; r < 50; ++r)
                for (int f = 0; f < model.columnCount(); ++f) model.data(model.index(r, f));
            shown = std::min(shown, Since(start));
            QEventLoop wait;
            QObject::connect(&model, &DataSetModel::rowCountKnown, &wait, &QEventLoop::quit);
            if (model.knownRowCount() < 0) wait.exec();
            counted = std::min(counted, Since(start));
            if (model.rowCount() != count) std::fprintf(stderr, "server_open_bench: the grid shows %d rows\n", model.rowCount());
        }
        std::printf("  window: open to first 50 rows shown %7.1f ms   (goal: 50 ms)\n", shown * 1000);
        std::printf("  window: open to \"Rows:\" counted    %7.1f ms\n", counted * 1000);

        const double ours = BestOf5(cli + " dump CLUB feat --limit 50");
        std::string psql = PgServer::binFolder() + "psql";
        if (::access(psql.c_str(), X_OK) != 0) psql = "psql";
        const double peer = BestOf5(psql + " '" + PgServer::uri() + "' -c 'select * from feat order by id limit 50'");
        std::printf("  tarnel-cli dump --limit 50          %7.1f ms\n", ours * 1000);
        std::printf("  psql -c \"select ... limit 50\"       %7.1f ms\n", peer * 1000);
        if (ours > 0 && peer > 0) std::printf("  ratio                               %7.2fx\n", ours / peer);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "server_open_bench: %s\n", e.what());
        status = 1;
    }
    PgServer::remove();
    std::filesystem::remove_all(config);
    return status;
}
