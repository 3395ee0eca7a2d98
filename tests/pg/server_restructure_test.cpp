// Restructuring a server table: the edited order kept (a rebuild where ALTER
// cannot give it), values carried by name, numbering and keys kept, and a
// fault or a cancel leaving the old table whole.
#include <gtest/gtest.h>

#include "engine/error.h"
#include "engine/pg/pg_alter.h"
#include "engine/pg/pg_connection.h"
#include "tests/support/pg_server.h"

using namespace tarnel;
using tarnel::test::PgServer;

namespace {

class ServerRestructure : public ::testing::Test {
protected:
    void SetUp() override
    {
        server_ = std::make_unique<pg::Connection>(PgServer::uri(), "CLUB");
        server_->exec("DROP VIEW IF EXISTS deep_stations");
        server_->exec("DROP TABLE IF EXISTS st");
        server_->exec("CREATE TABLE st (id serial PRIMARY KEY, station varchar(8) NOT NULL, depth varchar(6), "
                      "note text DEFAULT 'none', gone integer)");
        server_->exec("CREATE INDEX st_note ON st (note)");
        server_->exec("CREATE INDEX st_gone ON st (gone)");
        server_->exec("INSERT INTO st (station, depth, note, gone) VALUES ('A1', '10', 'wet', 1), "
                      "('B2', '25', NULL, 2), ('C3', '7', 'dry', 3)");
        server_->exec("DELETE FROM st WHERE id = 3");   // number 3 was given: it is not given again
        server_->exec("INSERT INTO st (station, depth) VALUES ('D4', '40')");
    }

    std::vector<std::string> Layout()
    {
        std::vector<int> key;
        std::vector<std::string> layout;
        for (const auto& c : pg::ServerTableColumns(*server_, "st", key)) layout.push_back(c.field.name + " " + c.serverType);
        return layout;
    }
    std::string Rows(const std::string& columns = "*")
    {
        pg::Result r = server_->exec("SELECT " + columns + " FROM st ORDER BY 1");
        std::string all;
        for (int i = 0; i < r.rows(); ++i) {
            for (int c = 0; c < r.columns(); ++c) all += (c ? "," : "") + r.value(i, c).value_or("NULL");
            all += ";";
        }
        return all;
    }
    bool TemporaryTableLeft()
    {
        for (const std::string& name : pg::ServerTableNames(*server_))
            if (name.rfind("tarnel_rebuild_", 0) == 0) return true;
        return false;
    }

    // The layout a user might make: depth a number and first, the station
    // renamed wider, a new date between, gone dropped.
    static std::vector<FieldDef> Reordered()
    {
        return {{"depth", ftInteger, 0}, {"STATION", ftString, 12}, {"found", ftDate, 0},
                {"id", ftAutoInc, 0},    {"note", ftMemo, 0}};
    }

    std::unique_ptr<pg::Connection> server_;
};

TEST_F(ServerRestructure, ANewOrderIsRebuiltWithValuesKeysDefaultsAndNumbering)
{
    pg::ServerRestructureResult r = pg::RestructureServerTable(*server_, "st", Reordered());
    EXPECT_TRUE(r.rebuilt);
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(r.rows, 3);
    EXPECT_EQ(r.droppedIndexes, std::vector<std::string> {"st_gone"});
    EXPECT_EQ(Layout(), (std::vector<std::string> {"depth integer", "STATION character varying(12)", "found date",
                                                   "id integer", "note text"}));
    EXPECT_EQ(Rows("id, depth, \"STATION\", found, note"), "1,10,A1,NULL,wet;2,25,B2,NULL,NULL;4,40,D4,NULL,none;");
    EXPECT_FALSE(TemporaryTableLeft());

    // Keys, NOT NULL, the default and the surviving index came back; numbering goes on after 4.
    std::vector<int> key;
    pg::ServerTableColumns(*server_, "st", key);
    EXPECT_EQ(key, std::vector<int> {3});
    EXPECT_EQ(server_->exec("INSERT INTO st (\"STATION\") VALUES ('E5') RETURNING id, note").text(0, 0), "5");
    EXPECT_EQ(server_->exec("SELECT note FROM st WHERE id = 5").text(0, 0), "none");
    EXPECT_THROW(server_->exec("INSERT INTO st (id, \"STATION\") VALUES (1, 'dup')"), EngineError);
    EXPECT_THROW(server_->exec("INSERT INTO st (id, depth) VALUES (7, 1)"), EngineError);
    EXPECT_EQ(server_->exec("SELECT count(*) FROM pg_indexes WHERE tablename = 'st' AND indexname = 'st_note'")
                  .text(0, 0),
              "1");

    // The same order again goes by ALTER steps: nothing rebuilt, values kept.
    std::vector<FieldDef> same = Reordered();
    same.push_back({"extra", ftBoolean, 0});
    r = pg::RestructureServerTable(*server_, "st", same);
    EXPECT_FALSE(r.rebuilt);
    EXPECT_EQ(Rows("id, depth, extra"), "1,10,NULL;2,25,NULL;4,40,NULL;5,NULL,NULL;");
}

TEST_F(ServerRestructure, AnIntegerMadeAutoIncNumbersOnAfterItsLargestValue)
{
    std::vector<FieldDef> fields {{"id", ftInteger, 0}, {"station", ftString, 8}, {"depth", ftString, 6},
                                  {"note", ftMemo, 0}, {"gone", ftAutoInc, 0}};
    // In place and rebuilt (gone moved first): either way the next number follows 3.
    for (bool move : {false, true}) {
        SCOPED_TRACE(move ? "rebuilt" : "in place");
        if (move) {
            SetUp();
            std::rotate(fields.begin(), fields.end() - 1, fields.end());
        }
        server_->exec("UPDATE st SET gone = 3 WHERE gone IS NULL");
        pg::ServerRestructureResult r = pg::RestructureServerTable(*server_, "st", fields);
        EXPECT_EQ(r.rebuilt, move);
        EXPECT_EQ(server_->exec("INSERT INTO st (id, station) VALUES (9, 'X') RETURNING gone").text(0, 0), "4");
    }
}

TEST_F(ServerRestructure, AFaultOrACancelLeavesTheOldTableWhole)
{
    const auto layout = Layout();
    const std::string rows = Rows();
    auto unchanged = [&] {
        EXPECT_EQ(Layout(), layout);
        EXPECT_EQ(Rows(), rows);
        EXPECT_FALSE(TemporaryTableLeft());
    };

    // A value the new type cannot hold, in the rebuild's INSERT and in an ALTER step.
    server_->exec("UPDATE st SET depth = 'deep' WHERE id = 2");
    const std::string deep = Rows();
    for (bool move : {true, false}) {
        std::vector<FieldDef> fields = Reordered();
        if (!move) fields = {{"id", ftAutoInc, 0}, {"station", ftString, 8}, {"depth", ftInteger, 0}};
        try {
            pg::RestructureServerTable(*server_, "st", fields);
            ADD_FAILURE() << "'deep' became a number";
        } catch (const EngineError& e) {
            EXPECT_NE(std::string(e.what()).find("nothing was changed"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("deep"), std::string::npos) << e.what();
        }
        EXPECT_EQ(Layout(), layout);
        EXPECT_EQ(Rows(), deep);
        EXPECT_FALSE(TemporaryTableLeft());
    }
    server_->exec("UPDATE st SET depth = '25' WHERE id = 2");

    // A view on the table: the old table cannot be dropped, so nothing changes.
    server_->exec("CREATE VIEW deep_stations AS SELECT station FROM st WHERE depth > '20'");
    EXPECT_THROW(pg::RestructureServerTable(*server_, "st", Reordered()), EngineError);
    unchanged();
    server_->exec("DROP VIEW deep_stations");

    // Another user reading the table holds the rebuild at its DROP; the
    // server tells no rows, so the progress is busy, and a cancel there
    // stops the statement and rolls all back.
    pg::Connection reader(PgServer::uri(), "CLUB");
    reader.exec("BEGIN");
    reader.exec("LOCK TABLE st IN ACCESS SHARE MODE");
    for (bool move : {true, false}) {
        int calls = 0;
        pg::ServerRestructureResult r = pg::RestructureServerTable(
            *server_, "st", move ? Reordered() : std::vector<FieldDef> {{"id", ftAutoInc, 0}, {"station", ftString, 9}},
            [&](std::int64_t done, std::int64_t total) {
                EXPECT_EQ(done, -1);
                EXPECT_EQ(total, -1);
                return ++calls < 5;
            });
        EXPECT_TRUE(r.cancelled);
        EXPECT_EQ(r.rebuilt, move);
        EXPECT_EQ(calls, 5);
        reader.exec("SELECT 1");   // the other user never noticed
        unchanged();
    }
    reader.exec("COMMIT");
    EXPECT_TRUE(pg::RestructureServerTable(*server_, "st", Reordered(), [](std::int64_t, std::int64_t) { return true; })
                    .rebuilt);
}

} // namespace
