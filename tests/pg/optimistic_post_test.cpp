// Posting a row that another connection changed or deleted meanwhile.
#include <atomic>
#include <gtest/gtest.h>
#include <map>
#include <thread>

#include "engine/error.h"
#include "engine/pg/pg_connection.h"
#include "tests/support/pg_server.h"

using namespace tarnel;
using tarnel::test::PgServer;

namespace {

struct Row {
    std::vector<pg::Text> values;
};

// Reads row `id` of "log" as the engine holds it: the text of every column.
std::vector<pg::Text> ReadRow(pg::Connection& c, int id)
{
    pg::Result r = c.exec("SELECT id, note, hits FROM log WHERE id = $1", {std::to_string(id)});
    if (r.rows() == 0) return {};
    return {r.value(0, 0), r.value(0, 1), r.value(0, 2)};
}

void MakeLog(int rows)
{
    pg::Connection c(PgServer::uri(), "");
    c.exec("DROP TABLE IF EXISTS log");
    c.exec("CREATE TABLE log (id integer PRIMARY KEY, note varchar(40), hits integer NOT NULL DEFAULT 0)");
    c.exec("INSERT INTO log SELECT g, NULL, 0 FROM generate_series(1, $1::int) g", {std::to_string(rows)});
}

} // namespace

TEST(OptimisticPost, TheSecondOfTwoPostsOnOneRowIsRefusedAndNothingIsLost)
{
    MakeLog(3);
    pg::Connection ann(PgServer::uri(), "CLUB"), bob(PgServer::uri(), "CLUB");
    std::vector<int> key;
    auto columns = pg::ServerTableColumns(ann, "log", key);
    ASSERT_EQ(key, std::vector<int> {0});

    auto annRead = ReadRow(ann, 1), bobRead = ReadRow(bob, 1);
    auto annEdit = annRead, bobEdit = bobRead;
    annEdit[1] = "ann was here";
    bobEdit[1] = "bob was here";
    const std::vector<bool> noteOnly {false, true, false};
    pg::UpdateRowIfUnchanged(ann, "log", columns, key, annRead, annEdit, noteOnly);
    try {
        pg::UpdateRowIfUnchanged(bob, "log", columns, key, bobRead, bobEdit, noteOnly);
        FAIL() << "the second post went through";
    } catch (const EngineError& e) {
        EXPECT_STREQ(e.what(), "The row was changed by another user");
    }
    EXPECT_EQ(ReadRow(bob, 1)[1], pg::Text("ann was here"));

    // After a refresh the same edit goes through.
    bobRead = ReadRow(bob, 1);
    bobEdit = bobRead;
    bobEdit[1] = "bob was here";
    pg::UpdateRowIfUnchanged(bob, "log", columns, key, bobRead, bobEdit, noteOnly);
    EXPECT_EQ(ReadRow(ann, 1)[1], pg::Text("bob was here"));

    // A change to a column the editor did not touch also counts; so does a deletion.
    annRead = ReadRow(ann, 2);
    bob.exec("UPDATE log SET hits = 7 WHERE id = 2");
    annEdit = annRead;
    annEdit[1] = "x";
    EXPECT_THROW(pg::UpdateRowIfUnchanged(ann, "log", columns, key, annRead, annEdit, noteOnly), EngineError);
    annRead = ReadRow(ann, 3);
    bob.exec("DELETE FROM log WHERE id = 3");
    annEdit = annRead;
    annEdit[1] = "x";
    try {
        pg::UpdateRowIfUnchanged(ann, "log", columns, key, annRead, annEdit, noteOnly);
        FAIL() << "a deleted row was posted";
    } catch (const EngineError& e) {
        EXPECT_STREQ(e.what(), "The row was deleted by another user");
    }
    EXPECT_TRUE(ReadRow(ann, 3).empty());   // not brought back
}

TEST(OptimisticPost, ValuesTravelAsParametersNotAsSql)
{
    MakeLog(1);
    pg::Connection c(PgServer::uri(), "");
    std::vector<int> key;
    auto columns = pg::ServerTableColumns(c, "log", key);
    auto before = ReadRow(c, 1), after = before;
    after[1] = "'); DROP TABLE log; --";
    pg::UpdateRowIfUnchanged(c, "log", columns, key, before, after, {false, true, false});
    EXPECT_EQ(ReadRow(c, 1)[1], after[1]);
}

TEST(OptimisticPost, ManyClientsOnOverlappingRowsLoseNoSuccessAndHideNoRefusal)
{
    constexpr int Clients = 8, Posts = 500, Rows = 20;
    MakeLog(Rows);
    // Each client counts up "hits" of random rows by reading and posting.
    // Every success adds exactly one; every refusal is counted and retried never.
    std::atomic<long> successes {0}, refusals {0};
    std::atomic<int> otherErrors {0};
    std::vector<std::thread> threads;
    for (int t = 0; t < Clients; ++t) {
        threads.emplace_back([&, t] {
            pg::Connection c(PgServer::uri(), "CLUB");
            std::vector<int> key;
            auto columns = pg::ServerTableColumns(c, "log", key);
            unsigned seed = 1234u + t;
            for (int i = 0; i < Posts; ++i) {
                seed = seed * 1103515245u + 12345u;
                int id = 1 + static_cast<int>((seed >> 16) % Rows);
                auto before = ReadRow(c, id), after = before;
                after[2] = std::to_string(std::stoi(*before[2]) + 1);
                after[1] = "client " + std::to_string(t);
                try {
                    pg::UpdateRowIfUnchanged(c, "log", columns, key, before, after, {false, true, true});
                    ++successes;
                } catch (const EngineError& e) {
                    if (std::string(e.what()) == "The row was changed by another user") ++refusals;
                    else ++otherErrors;
                }
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(otherErrors.load(), 0);
    EXPECT_EQ(successes + refusals, Clients * Posts);
    pg::Connection c(PgServer::uri(), "");
    pg::Result r = c.exec("SELECT sum(hits) FROM log");
    EXPECT_EQ(std::stol(r.text(0, 0)), successes.load());
    EXPECT_GT(refusals.load(), 0);   // the rows do overlap
}
