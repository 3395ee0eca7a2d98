// Server tables through the engine's Table: browsing in blocks, optimistic
// editing, server defaults, keyless tables and a server that stops.
#include <cstdlib>
#include <functional>
#include <thread>
#include <gtest/gtest.h>

#include "engine/aliases.h"
#include "engine/error.h"
#include "engine/pg/pg_connection.h"
#include "engine/pg/pg_table.h"
#include "engine/table.h"
#include "tests/support/pg_server.h"
#include "tests/support/thrown_by.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using tarnel::test::PgServer;
using tarnel::test::ThrownBy;

namespace {

class ServerTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
        AddAlias("CLUB", PgServer::uri());
    }
    void TearDown() override { ::unsetenv("XDG_CONFIG_HOME"); }

    static void Exec(const std::string& sql)
    {
        pg::Connection c(PgServer::uri(), "");
        c.exec(sql);
    }
    static void Open(Table& t, const std::string& name)
    {
        t.setDatabaseName("CLUB");
        t.setTableName(name);
        t.open();
    }
    static pg::ServerTable& Server(Table& t) { return dynamic_cast<pg::ServerTable&>(*t.format()); }

    test::ScratchDir config_;
};

} // namespace

TEST_F(ServerTableTest, AMillionRowsAreBrowsedWithoutLoadingThem)
{
    Exec("DROP TABLE IF EXISTS big");
    Exec("CREATE TABLE big (id integer PRIMARY KEY, name varchar(20), depth numeric(8,2), seen date)");
    Exec("INSERT INTO big SELECT g, 'row ' || g, g / 100.0, date '2000-01-01' + (g % 1000) "
         "FROM generate_series(1, 1000000) g");
    Table t;
    Open(t, "BIG");   // any letter case
    EXPECT_EQ(t.recordCount(), 1000000);
    ASSERT_FALSE(t.eof());
    EXPECT_EQ(t.value(0).i, 1);
    EXPECT_EQ(t.asText(1), "row 1");
    const auto block = pg::ServerTable::kBlockRows;
    EXPECT_LE(Server(t).rowsFetched(), block);

    // Jumps far ahead, and walks on from there, in key order.
    t.moveTo(999999);
    EXPECT_EQ(t.value(0).i, 1000000);
    t.moveTo(500000);
    EXPECT_EQ(t.asText(0), "500001");
    for (int k = 0; k < 450; ++k) t.next();
    EXPECT_EQ(t.value(0).i, 500451);
    EXPECT_EQ(t.asText(2), "5004.51");
    EXPECT_EQ(t.asText(3), "2001-03-27");   // 2000-01-01 plus 451 days
    t.last();
    EXPECT_EQ(t.value(0).i, 1000000);
    EXPECT_LE(Server(t).rowsFetched(), 8 * block);
    EXPECT_EQ(t.writeBlocked(), "");
}

TEST_F(ServerTableTest, TheFirstRowsComeBeforeTheCountWhichAnotherThreadTakes)
{
    Exec("DROP TABLE IF EXISTS tally");
    Exec("CREATE TABLE tally (id integer PRIMARY KEY, name varchar(20))");
    Exec("INSERT INTO tally SELECT g, 'row ' || g FROM generate_series(1, 1000) g");
    Table t;
    Open(t, "tally");
    EXPECT_EQ(t.rowsUpTo(50), 50);
    EXPECT_EQ(t.valueAt(199, 0).i, 200);
    EXPECT_EQ(t.knownRecordCount(), -1);   // read one block, counted nothing
    EXPECT_EQ(Server(t).rowsFetched(), pg::ServerTable::kBlockRows);

    // Counted on a connection of its own; meanwhile this one keeps reading.
    std::function<std::int64_t()> count = t.backgroundCount();
    ASSERT_TRUE(count);
    std::int64_t counted = -1;
    std::thread counter([&] { counted = count(); });
    t.moveTo(450);
    EXPECT_EQ(t.value(0).i, 451);
    counter.join();
    EXPECT_EQ(counted, 1000);
    t.takeCount(counted);
    EXPECT_EQ(t.knownRecordCount(), 1000);
    EXPECT_FALSE(t.backgroundCount());
    t.takeCount(5);   // a late answer changes nothing once the count is known
    EXPECT_EQ(t.recordCount(), 1000);

    // A refresh counts afresh, when wanted.
    t.moveTo(100);
    Exec("DELETE FROM tally WHERE id > 300");
    t.refresh();
    EXPECT_EQ(t.knownRecordCount(), -1);
    EXPECT_EQ(t.value(0).i, 101);
    EXPECT_EQ(t.rowsUpTo(400), 300);   // the short block tells the count
    EXPECT_EQ(t.knownRecordCount(), 300);

    // A table smaller than a block is counted by its first block.
    Exec("DELETE FROM tally WHERE id > 30");
    Table small;
    Open(small, "tally");
    EXPECT_EQ(small.rowsUpTo(200), 30);
    EXPECT_EQ(small.knownRecordCount(), 30);
    EXPECT_FALSE(small.backgroundCount());
}

TEST_F(ServerTableTest, TwoUsersEditingOneRowTheSecondIsRefusedAndKeepsTheEdit)
{
    Exec("DROP TABLE IF EXISTS log");
    Exec("CREATE TABLE log (id integer PRIMARY KEY, note varchar(40), hits integer)");
    Exec("INSERT INTO log SELECT g, 'note ' || g, 0 FROM generate_series(1, 500) g");
    Table ann, bob;
    Open(ann, "log");
    Open(bob, "log");
    ann.moveTo(450);
    bob.moveTo(450);
    ann.edit();
    bob.edit();
    ann.setText(1, "ann was here");
    bob.setText(1, "bob was here");
    ann.post();
    EXPECT_EQ(ThrownBy([&] { bob.post(); }), "The row was changed by another user");
    EXPECT_EQ(bob.state(), DataSetState::Edit);
    EXPECT_EQ(bob.asText(1), "bob was here");
    EXPECT_EQ(bob.valueAt(450, 1).s, "bob was here");   // the grid still shows the edit
    Table check;
    Open(check, "log");
    EXPECT_EQ(check.valueAt(450, 1).s, "ann was here");

    // After a refresh the kept edit goes through.
    bob.refresh();
    EXPECT_EQ(bob.state(), DataSetState::Edit);
    bob.post();
    check.refresh();
    EXPECT_EQ(check.valueAt(450, 1).s, "bob was here");
    EXPECT_EQ(check.valueAt(450, 0).i, 451);

    // A row deleted meanwhile is told apart, and so is a delete of a changed row.
    bob.moveTo(10);
    bob.edit();
    bob.setText(2, "3");
    check.moveTo(10);
    check.deleteRecord();
    EXPECT_EQ(ThrownBy([&] { bob.post(); }), "The row was deleted by another user");
    bob.cancel();
    bob.moveTo(20);
    Exec("UPDATE log SET hits = 9 WHERE id = 21");
    EXPECT_EQ(ThrownBy([&] { bob.deleteRecord(); }), "The row was changed by another user");
    check.refresh();
    EXPECT_EQ(check.recordCount(), 499);

    // Changing the key moves the row to its place in key order.
    bob.refresh();
    bob.moveTo(0);
    bob.edit();
    bob.setValue(0, Value::integer(100000));
    bob.post();
    EXPECT_EQ(bob.row(), 498);
    EXPECT_EQ(bob.value(0).i, 100000);
    EXPECT_EQ(bob.valueAt(0, 0).i, 2);
}

TEST_F(ServerTableTest, InsertsTakeTheServersDefaultsBack)
{
    Exec("DROP TABLE IF EXISTS finds");
    Exec("CREATE TABLE finds (id serial PRIMARY KEY, note text, hits integer DEFAULT 5, "
         "found date DEFAULT date '2020-01-02', depth double precision, pic bytea, ok boolean, at time)");
    Table t;
    Open(t, "finds");
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.fields()[0].type, ftAutoInc);
    for (int k = 0; k < 2; ++k) {
        t.append();
        t.setText(1, "entrance " + std::to_string(k));
        t.setValue(4, Value::real(0.1 + k));
        t.setValue(5, Value::bytes(std::string("\0\xff", 2)));
        t.setText(6, "True");
        t.setText(7, "12:34:56");
        t.post();
    }
    EXPECT_EQ(t.recordCount(), 2);
    EXPECT_EQ(t.row(), 1);
    EXPECT_EQ(t.value(0).i, 2);
    EXPECT_EQ(t.value(2).i, 5);
    EXPECT_EQ(t.asText(3), "2020-01-02");
    EXPECT_EQ(t.value(4).f, 1.1);
    EXPECT_EQ(t.value(5).s, std::string("\0\xff", 2));
    EXPECT_EQ(t.asText(6), "True");
    EXPECT_EQ(t.asText(7), "12:34:56");
    EXPECT_EQ(t.valueAt(0, 1).s, "entrance 0");
}

TEST_F(ServerTableTest, AKeylessTableIsReadOnlyAndSaysWhy)
{
    Exec("DROP TABLE IF EXISTS stations");
    Exec("CREATE TABLE stations (name varchar(10), spot point)");
    Exec("INSERT INTO stations SELECT 'S' || g, point(g, 0) FROM generate_series(1, 450) g");
    Table t;
    Open(t, "stations");
    EXPECT_EQ(t.writeBlocked(), "The table stations has no primary key: its rows cannot be changed");
    EXPECT_NE(ThrownBy([&] { t.edit(); }).find("no primary key"), std::string::npos);
    EXPECT_EQ(t.recordCount(), 450);
    EXPECT_EQ(t.valueAt(449, 0).s, "S450");
    EXPECT_EQ(t.valueAt(449, 1).s, "(450,0)");   // an unmapped type, as text
    EXPECT_EQ(t.valueAt(0, 0).s, "S1");
}

TEST_F(ServerTableTest, AServerStoppedDuringABrowseIsToldByAliasAndTheNextOpenWorks)
{
    Exec("DROP TABLE IF EXISTS walk");
    Exec("CREATE TABLE walk (id integer PRIMARY KEY)");
    Exec("INSERT INTO walk SELECT g FROM generate_series(1, 1000) g");
    Table t;
    Open(t, "walk");
    EXPECT_EQ(t.value(0).i, 1);
    PgServer::stop();
    std::string error = ThrownBy([&] { t.valueAt(900, 0); });
    ASSERT_TRUE(PgServer::restart());
    EXPECT_EQ(error.rfind("Cannot connect to the alias CLUB: ", 0), 0u) << error;
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;   // the server's own words
    Table again;
    Open(again, "walk");
    EXPECT_EQ(again.valueAt(900, 0).i, 901);
    // The table that saw the failure reconnects too.
    EXPECT_EQ(t.valueAt(900, 0).i, 901);
}
