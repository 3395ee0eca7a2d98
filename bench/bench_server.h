#pragma once
// The PostgreSQL server the server benchmarks run against: the one the tests
// start for themselves (initdb into a temporary folder, a Unix socket only),
// with a database "bench" named by the alias BENCH in a settings folder of the
// benchmark's own.
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "engine/aliases.h"
#include "engine/pg/pg_connection.h"
#include "tests/support/pg_server.h"

namespace tarnel::bench {

// Starts the server and returns the URI of its bench database; throws when it cannot.
inline std::string StartBenchDatabase(const std::string& folder)
{
    using tarnel::test::PgServer;
    if (!PgServer::start()) throw std::runtime_error("cannot start a server: " + PgServer::lastError());
    std::filesystem::create_directories(folder + "/config");
    ::setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
    pg::Connection(PgServer::uri(), "").exec("CREATE DATABASE bench");
    const std::string uri = PgServer::uri("bench");
    AddAlias("BENCH", uri);
    return uri;
}

} // namespace tarnel::bench
