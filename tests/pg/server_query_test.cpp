// Local SQL on a server alias: the same statements give the same rows as on
// a folder, whether or not their conditions reach the server, and never write.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/aliases.h"
#include "engine/batch_move.h"
#include "engine/error.h"
#include "engine/pg/pg_connection.h"
#include "engine/sql/query.h"
#include "engine/table.h"
#include "tests/cli/run_cli.h"
#include "tests/support/pg_server.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using tarnel::test::PgServer;
using tarnel::test::ScratchDir;

namespace {

std::vector<std::string> RowsOf(const std::string& database, const std::string& sql)
{
    auto result = QueryResult::Run(database, sql);
    std::vector<std::string> rows;
    for (result->first(); !result->eof(); result->next()) {
        std::string line;
        for (int f = 0; f < result->fieldCount(); ++f) line += result->asText(f) + "|";
        rows.push_back(line);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace

TEST(ServerQuery, GivesTheRowsOfTheSameTableInAFolderAndCannotWrite)
{
    ScratchDir config, folder, back;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    pg::Connection admin(PgServer::uri(), "");
    admin.exec("DROP DATABASE IF EXISTS queries");
    admin.exec("CREATE DATABASE queries");
    AddAlias("QUERIES", PgServer::uri("queries"));

    // The feature table in a folder, copied onto the server and back into another folder.
    Table t;
    t.setDatabaseName(folder.path());
    t.setTableName("feat.db");
    t.addFieldDef("STATION", ftString, 12);
    t.addFieldDef("DEPTH", ftFloat, 0);
    t.addFieldDef("SURVEYED", ftDate, 0);
    t.addFieldDef("WET", ftBoolean, 0);
    t.addFieldDef("LEGS", ftInteger, 0);
    t.createTable();
    t.open();
    for (int i = 0; i < 120; ++i) {
        t.append();
        t.setText(0, i % 11 ? "S" + std::to_string(i % 13) : std::string("S'x"));
        if (i % 17) t.setValue(1, Value::real(i * 0.75));
        t.setText(2, "2024-03-" + std::to_string(1 + i % 28));
        t.setValue(3, Value::integer(i % 3 == 0));
        t.setValue(4, Value::integer(i));
        t.post();
    }
    Table onServer;
    onServer.setDatabaseName("QUERIES");
    onServer.setTableName("feat");
    ASSERT_EQ(BatchMove(onServer, t, BatchMode::Copy).rows, 120);
    t.close();
    Table server, returned;
    server.setDatabaseName("QUERIES");
    server.setTableName("FEAT");
    server.setReadOnly(true);
    server.open();
    returned.setDatabaseName(back.path());
    returned.setTableName("feat.db");
    ASSERT_EQ(BatchMove(returned, server, BatchMode::Copy).rows, 120);
    server.close();

    const std::string select = "Select \"feat\".\"STATION\",\"feat\".\"DEPTH\",\"feat\".\"SURVEYED\",\"feat\".\"WET\" From \"feat\"";
    for (const std::string where : {
             "",
             " Where (\"feat\".\"STATION\" = \"S5\")",                            // reaches the server
             " Where (\"feat\".\"STATION\" = \"S'x\")",
             " Where (\"feat\".\"LEGS\" >= 100) AND (\"feat\".\"WET\" = True)",
             " Where (\"feat\".\"DEPTH\" < 20) OR (\"feat\".\"STATION\" > \"S7\")",  // left to SQLite
             " Where (\"feat\".\"SURVEYED\" <= \"2024-03-05\")",
         }) {
        SCOPED_TRACE(where);
        const auto expected = RowsOf(folder.path(), select + where);
        EXPECT_EQ(RowsOf("QUERIES", select + where), expected);
        EXPECT_EQ(RowsOf(PgServer::uri("queries"), select + where), expected);
        EXPECT_EQ(RowsOf(back.path(), select + where), expected);
    }
    EXPECT_FALSE(RowsOf("QUERIES", select + " Where (\"feat\".\"STATION\" = \"S5\")").empty());

    // Statements that write are refused, and the rows stay.
    test::Outcome o = test::RunCli({"query", "QUERIES", "Delete From \"feat\""}, config.path());
    EXPECT_NE(o.status, 0);
    o = test::RunCli({"query", "--count", "QUERIES", select + " Where (\"feat\".\"STATION\" = \"S5\")"}, config.path());
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(pg::Connection(PgServer::uri("queries"), "").exec("SELECT count(*) FROM feat").text(0, 0), "120");
    ::unsetenv("XDG_CONFIG_HOME");
}
