// Tables made on the server, rows loaded through COPY, and fixture tables
// copied onto the server compared value for value.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "engine/aliases.h"
#include "engine/batch_move.h"
#include "engine/error.h"
#include "engine/pg/pg_alter.h"
#include "engine/pg/pg_copy.h"
#include "engine/pg/pg_database.h"
#include "engine/pg/pg_scan.h"
#include "engine/pg/pg_values.h"
#include "engine/table.h"
#include "tests/cli/run_cli.h"
#include "tests/support/pg_server.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using tarnel::test::PgServer;
using tarnel::test::ScratchDir;

namespace {

// A fresh database "copies" behind the alias COPIES.
class ServerCopy : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
        pg::Connection admin(PgServer::uri(), "");
        admin.exec("DROP DATABASE IF EXISTS copies");
        admin.exec("CREATE DATABASE copies");
        AddAlias("COPIES", PgServer::uri("copies"));
        server_ = std::make_unique<pg::Connection>(PgServer::uri("copies"), "COPIES");
    }
    void TearDown() override
    {
        server_.reset();
        ::unsetenv("XDG_CONFIG_HOME");
    }

    // Every row of a server table through the query scan, values as the engine reads them.
    std::vector<std::vector<Value>> serverRows(const std::string& table, const std::vector<sql::ScanTerm>& terms = {})
    {
        std::vector<int> key;
        auto columns = pg::ServerTableColumns(*server_, table, key);
        pg::ServerScan scan(*server_, table, columns, terms);
        std::vector<std::vector<Value>> rows;
        while (scan.next()) {
            rows.emplace_back();
            for (std::size_t c = 0; c < columns.size(); ++c) rows.back().push_back(scan.value(static_cast<int>(c)));
        }
        return rows;
    }

    ScratchDir config_;
    std::unique_ptr<pg::Connection> server_;
};

// Whether two values are the same datum, as the server maps types: numbers by
// value, texts without the padding of fixed-width fields, times to the millisecond.
bool SameDatum(const FieldDef& field, const Value& a, const Value& b)
{
    if (a.isNull() || b.isNull()) return a.isNull() == b.isNull();
    if (IsDateTimeType(field.type) || IsFloatType(field.type) || IsIntegerType(field.type)) {
        double x = a.kind == Value::Kind::Int ? static_cast<double>(a.i) : a.f;
        double y = b.kind == Value::Kind::Int ? static_cast<double>(b.i) : b.f;
        double tolerance = IsDateTimeType(field.type) ? 0.5 / 86400000.0 * (1 + std::fabs(x) / 1e5) : 0;
        return x == y || std::fabs(x - y) <= tolerance || (std::isnan(x) && std::isnan(y));
    }
    if (IsTextType(field.type)) {
        std::string x = a.s, y = b.s;
        x.erase(x.find_last_not_of(' ') + 1);
        y.erase(y.find_last_not_of(' ') + 1);
        return x == y;
    }
    return a.s == b.s;
}

} // namespace

TEST_F(ServerCopy, CopyTextFormatKeepsEveryCharacterAndByte)
{
    server_->exec("CREATE TABLE raw (id int PRIMARY KEY, note text, data bytea)");
    std::string allBytes;
    for (int c = 0; c < 256; ++c) allBytes += static_cast<char>(c);
    FieldDef blob {"data", ftBlob, 0, 3};
    const std::vector<pg::Text> notes {"tab\there", "back\\slash \\N \\t", "two\nlines\r\n", std::nullopt, "",
                                       "\\.", "Ærøskøbing 洞窟"};
    {
        pg::CopyIn copy(*server_, "raw", {"id", "note", "data"});
        for (std::size_t i = 0; i < notes.size(); ++i)
            copy.addRow({std::to_string(i), notes[i], pg::ServerTextOfValue(blob, Value::bytes(i == 3 ? "" : allBytes))});
        EXPECT_EQ(copy.finish(), static_cast<std::int64_t>(notes.size()));
    }
    pg::Result r = server_->exec("SELECT note, data FROM raw ORDER BY id");
    ASSERT_EQ(r.rows(), static_cast<int>(notes.size()));
    for (int i = 0; i < r.rows(); ++i) {
        EXPECT_EQ(r.value(i, 0), notes[static_cast<std::size_t>(i)]) << "row " << i;
        EXPECT_EQ(pg::ValueOfServerText(blob, std::string_view(r.text(i, 1))).s, i == 3 ? "" : allBytes) << "row " << i;
    }

    // A refused load keeps none of its rows and says why.
    try {
        pg::CopyIn copy(*server_, "raw", {"id", "note", "data"});
        copy.addRow({"100", "fine", std::nullopt});
        copy.addRow({"0", "a key that is taken", std::nullopt});
        copy.finish();
        ADD_FAILURE() << "a duplicate key was loaded";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("duplicate key"), std::string::npos) << e.what();
    }
    // An abandoned one too, and the connection goes on working.
    {
        pg::CopyIn copy(*server_, "raw", {"id", "note", "data"});
        copy.addRow({"101", "never finished", std::nullopt});
    }
    EXPECT_EQ(server_->exec("SELECT count(*) FROM raw").text(0, 0), std::to_string(notes.size()));
}

TEST_F(ServerCopy, EveryFixtureTableCopiesOntoTheServerValueForValue)
{
    int copied = 0;
    for (const std::string folder : {"dbf", "dbf/foxprodb", "paradox"}) {
        const std::string path = test::Fixture(folder);
        for (const std::string& name : TableFilesInFolder(path)) {
            SCOPED_TRACE(folder + "/" + name);
            Table source;
            source.setDatabaseName(path);
            source.setTableName(name);
            source.setReadOnly(true);
            try {
                source.open();
                for (source.first(); !source.eof(); source.next())
                    for (int f = 0; f < source.fieldCount(); ++f) source.value(f);
            } catch (const EngineError&) {
                continue;   // damaged on purpose (a memo file missing...): the file tests cover it
            }
            if (source.fieldCount() == 0) continue;
            Table dest;
            dest.setDatabaseName("COPIES");
            dest.setTableName(name);
            BatchMoveResult moved;
            try {
                moved = BatchMove(dest, source, BatchMode::Copy);
            } catch (const EngineError& e) {
                // A file may name two fields alike; a server table cannot.
                EXPECT_NE(std::string(e.what()).find("appears twice"), std::string::npos) << e.what();
                continue;
            }
            EXPECT_EQ(moved.rows, source.recordCount());
            const auto rows = serverRows(name);
            ASSERT_EQ(static_cast<std::int64_t>(rows.size()), source.recordCount());

            // The server keeps no order of its own: rows are matched in the
            // order they went in, which a plain scan of a fresh table keeps.
            std::int64_t row = 0;
            for (source.first(); !source.eof(); source.next(), ++row)
                for (int f = 0; f < source.fieldCount(); ++f) {
                    const Value& got = rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(f)];
                    EXPECT_TRUE(SameDatum(source.field(f), source.value(f), got))
                        << "row " << row + 1 << ", field " << source.field(f).name << ": " << source.asText(f)
                        << " became " << FormatValueText(source.field(f), got);
                }
            std::vector<int> key;
            pg::ServerTableColumns(*server_, name, key);
            EXPECT_EQ(key, source.primaryKey());
            ++copied;
        }
    }
    EXPECT_GT(copied, 20);
}

TEST_F(ServerCopy, ConditionsReachTheServerAndGiveTheRowsOfALocalTest)
{
    server_->exec("CREATE TABLE f (id int PRIMARY KEY, station varchar(10), depth double precision, found date, "
                  "wet boolean, pad char(6), n numeric(8,2))");
    server_->exec("INSERT INTO f SELECT g, 'S' || (g % 7), g / 4.0, date '2020-01-01' + g, g % 2 = 0, 'p' || (g % 3), "
                  "g / 3.0 FROM generate_series(1, 300) g");
    server_->exec("INSERT INTO f VALUES (0, NULL, 'NaN', NULL, NULL, NULL, NULL), (-1, 'S1 ', 1, NULL, NULL, 'p1', 1)");
    std::vector<int> key;
    const auto columns = pg::ServerTableColumns(*server_, "f", key);
    auto term = [](int field, sql::ScanOp op, Value v) { return sql::ScanTerm {field, op, std::move(v)}; };
    const std::int64_t day = 43831 + 100;   // 2020-01-01 is day 43831
    const std::vector<std::vector<sql::ScanTerm>> cases {
        {term(1, sql::ScanOp::Eq, Value::text("S3"))},
        {term(1, sql::ScanOp::Ge, Value::text("S5")), term(0, sql::ScanOp::Lt, Value::real(40))},
        {term(2, sql::ScanOp::Gt, Value::real(70.5))},
        {term(2, sql::ScanOp::Ne, Value::integer(1))},
        {term(3, sql::ScanOp::Le, Value::integer(day))},
        {term(3, sql::ScanOp::Lt, Value::real(day + 0.5))},
        {term(4, sql::ScanOp::Eq, Value::integer(1))},
        {term(5, sql::ScanOp::Eq, Value::text("p1"))},
        {term(6, sql::ScanOp::Gt, Value::real(99.9))},
        {term(1, sql::ScanOp::IsNull, Value::null())},
        {term(0, sql::ScanOp::Ge, Value::real(12.5))},
    };
    const auto all = serverRows("f");
    for (const auto& terms : cases) {
        std::vector<pg::Text> params;
        SCOPED_TRACE(pg::ServerCondition(*server_, columns, terms, params));
        auto passing = [&](const std::vector<std::vector<Value>>& rows) {
            std::vector<std::int64_t> ids;   // NaN is not equal to itself: rows are told by their key
            for (const auto& row : rows)
                if (std::all_of(terms.begin(), terms.end(), [&](const sql::ScanTerm& t) {
                        return sql::Passes(row[static_cast<std::size_t>(t.field)], t);
                    }))
                    ids.push_back(row[0].i);
            std::sort(ids.begin(), ids.end());
            return ids;
        };
        const auto expected = passing(all);
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(passing(serverRows("f", terms)), expected);
    }
    // The comparisons an index serves do reach the server.
    std::vector<pg::Text> params;
    EXPECT_EQ(pg::ServerCondition(*server_, columns, cases[1], params), "\"station\" >= $1 COLLATE \"C\" AND \"id\" < $2::bigint");
}

TEST_F(ServerCopy, AScanRunsInAReadOnlyTransaction)
{
    server_->exec("CREATE TABLE t (id int PRIMARY KEY)");
    server_->exec("INSERT INTO t VALUES (1), (2)");
    std::vector<int> key;
    const auto columns = pg::ServerTableColumns(*server_, "t", key);
    {
        pg::ServerScan scan(*server_, "t", columns, {});
        ASSERT_TRUE(scan.next());
        EXPECT_THROW(server_->exec("DELETE FROM t"), EngineError);
    }
    // Once the scan is over the connection writes again.
    EXPECT_EQ(server_->exec("DELETE FROM t WHERE id = 1").affected(), 1);
}

TEST_F(ServerCopy, CliCreatesAServerTableAndAppendsAFolderTableToIt)
{
    test::Outcome o = test::RunCli({"create", "COPIES", "Caves", "--field", "NAME:String:20", "--field", "DEPTH:Float",
                                    "--field", "FOUND:Date"},
                                   config_.path());
    ASSERT_EQ(o.status, 0) << o.err;
    std::vector<int> key;
    auto columns = pg::ServerTableColumns(*server_, "Caves", key);
    ASSERT_EQ(columns.size(), 3u);
    EXPECT_EQ(columns[0].serverType, "character varying(20)");
    EXPECT_EQ(columns[2].field.type, ftDate);

    // Append matches by position, twice over, and converts by the server's types.
    ScratchDir folder;
    {
        Table t;
        t.setDatabaseName(folder.path());
        t.setTableName("src.dbf");
        t.addFieldDef("STATION", ftString, 12);
        t.addFieldDef("D", ftFloat, 10, false, 2);
        t.addFieldDef("WHEN", ftDate, 0);
        t.createTable();
        t.open();
        for (int i = 0; i < 3; ++i) {
            t.append();
            t.setText(0, "A" + std::to_string(i));
            t.setText(1, std::to_string(i) + ".25");
            t.setText(2, "2024-02-2" + std::to_string(i));
            t.post();
        }
    }
    for (int pass = 0; pass < 2; ++pass) {
        o = test::RunCli({"copy", folder.path(), "src.dbf", "COPIES", "caves"}, config_.path());
        ASSERT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.out, "3 appended, 0 updated, 0 deleted\n");
    }
    pg::Result r = server_->exec("SELECT \"NAME\", \"DEPTH\", \"FOUND\" FROM \"Caves\" ORDER BY 1, 2 LIMIT 2");
    EXPECT_EQ(r.text(0, 0), "A0");   // no blanks of the file's fixed width
    EXPECT_EQ(r.text(1, 2), "2024-02-20");
    EXPECT_EQ(server_->exec("SELECT sum(\"DEPTH\") FROM \"Caves\"").text(0, 0), "7.5");

    // A table name that is not there is an error, not a new table.
    o = test::RunCli({"copy", folder.path(), "src.dbf", "COPIES", "nowhere"}, config_.path());
    EXPECT_NE(o.status, 0);
    EXPECT_NE(o.err.find("nowhere"), std::string::npos) << o.err;
}

TEST_F(ServerCopy, RestructureIsAllOrNothing)
{
    server_->exec("CREATE TABLE s (id integer PRIMARY KEY, station varchar(8), depth integer, gone text)");
    server_->exec("INSERT INTO s VALUES (1, 'A1', 10, 'x'), (2, 'B22', 20, 'y')");
    std::vector<FieldDef> fields {{"id", ftInteger, 0}, {"STATION", ftString, 12}, {"depth", ftString, 6},
                                  {"note", ftMemo, 0}};
    EXPECT_EQ(pg::RestructureServerTable(*server_, "s", fields).rows, 2);
    std::vector<int> key;
    auto columns = pg::ServerTableColumns(*server_, "s", key);
    ASSERT_EQ(columns.size(), 4u);
    EXPECT_EQ(columns[1].field.name, "STATION");
    EXPECT_EQ(columns[1].serverType, "character varying(12)");
    EXPECT_EQ(columns[3].field.name, "note");
    EXPECT_EQ(key, std::vector<int> {0});
    pg::Result r = server_->exec("SELECT \"STATION\", depth, note FROM s ORDER BY id");
    EXPECT_EQ(r.text(1, 0), "B22");
    EXPECT_EQ(r.text(1, 1), "20");
    EXPECT_TRUE(r.isNull(1, 2));

    // A step that fails (a text that is no number, a text too long) leaves every column as it was.
    server_->exec("UPDATE s SET depth = 'deep' WHERE id = 2");
    for (const auto& bad : {std::vector<FieldDef> {{"id", ftInteger, 0}, {"station", ftString, 12}, {"depth", ftInteger, 0}},
                            std::vector<FieldDef> {{"id", ftInteger, 0}, {"STATION", ftString, 2}, {"depth", ftString, 6}}}) {
        EXPECT_THROW(pg::RestructureServerTable(*server_, "s", bad), EngineError);
        auto after = pg::ServerTableColumns(*server_, "s", key);
        ASSERT_EQ(after.size(), 4u);
        EXPECT_EQ(after[1].field.name, "STATION");
        EXPECT_EQ(after[2].serverType, "character varying(6)");
        EXPECT_EQ(server_->exec("SELECT \"STATION\" FROM s WHERE id = 2").text(0, 0), "B22");
    }
}
