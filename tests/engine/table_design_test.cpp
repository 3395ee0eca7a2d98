// The table of formats, creating and deleting tables, and batch moves
// between tables of every format.
#include <gtest/gtest.h>

#include "engine/batch_move.h"
#include "engine/error.h"
#include "engine/fileio/file.h"
#include "engine/fileio/companion_files.h"
#include "engine/fileio/fault.h"
#include "engine/format_registry.h"
#include "engine/sql/query.h"
#include "engine/table.h"
#include "tests/engine/format_test_util.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using namespace tarnel::test;

namespace {

const char* ExtensionFor(TableType type)
{
    return type == TableType::Paradox ? ".db" : type == TableType::ASCII ? ".txt" : ".dbf";
}

// A table of the given type with a text, an integer and a float field and the given rows.
void MakeTable(const std::string& folder, const std::string& name, TableType type,
               const std::vector<std::tuple<std::string, int, double>>& rows, bool memo = false)
{
    Table t;
    t.setDatabaseName(folder);
    t.setTableName(name);
    t.setTableType(type);
    t.addFieldDef("NAME", ftString, 10);
    t.addFieldDef("N", ftInteger, 0);
    t.addFieldDef("DEPTH", ftFloat, 0, false, 2);
    if (memo) t.addFieldDef("NOTE", ftMemo, 0);
    t.createTable();
    t.open();
    for (const auto& [s, n, d] : rows) {
        t.append();
        t.setText(0, s);
        t.setValue(1, Value::integer(n));
        t.setValue(2, Value::real(d));
        if (memo) t.setText(3, "note of " + s);
        t.post();
    }
}

// The rows as "NAME/N/DEPTH" lines, in table order.
std::string Rows(const std::string& folder, const std::string& name, TableType type = TableType::Default)
{
    Table t;
    t.setDatabaseName(folder);
    t.setTableName(name);
    t.setTableType(type);
    t.setReadOnly(true);
    t.open();
    std::string out;
    for (t.first(); !t.eof(); t.next()) out += t.asText(0) + "/" + t.asText(1) + "/" + t.asText(2) + "\n";
    return out;
}

// Marks a Paradox table made by MakeTable as keyed on its first field.
void KeyOnFirstField(const std::string& path)
{
    Patch(path, 4, std::string(1, '\0'));
    PatchU16(path, 0x23, 1);
}

// Temporary folders the engine left behind.
int FormatFolderLeftovers(const std::string& folder)
{
    int n = 0;
    for (const auto& name : FolderEntries(folder)) n += name.rfind(".tarnel-", 0) == 0;
    return n;
}

const TableType kTypes[] = {TableType::Paradox, TableType::dBASE, TableType::FoxPro, TableType::ASCII};

} // namespace

TEST(FormatTable, EachFormatHoldsExactlyTheTypesItsTableLists)
{
    ScratchDir dir;
    for (TableType type : kTypes) {
        const TableFormatInfo& info = FormatInfo(type);
        for (int t = 1; t < kFieldTypeCount; ++t) {
            FieldDef f = Def("F", static_cast<TFieldType>(t), IsTextType(t) || t == ftBytes || t == ftVarBytes ? 8 : 0);
            std::string path = dir.file(std::string("t") + ExtensionFor(type));
            bool listed = std::any_of(info.holds.begin(), info.holds.end(), [&](const HeldType& h) { return h.type == t; });
            CreateOptions o;
            o.type = type;
            if (listed) {
                EXPECT_NO_THROW(CreateTableFiles(path, {f}, o)) << info.name << " " << EngineTypeName(t);
                EXPECT_NO_THROW(OpenTableFormat(path, type, true)) << info.name << " " << EngineTypeName(t);
                continue;
            }
            std::remove(path.c_str());
            try {
                CreateTableFiles(path, {Def("OK", ftString, 4), f}, o);
                ADD_FAILURE() << info.name << " took " << EngineTypeName(t);
            } catch (const EngineError& e) {
                std::string m = e.what();
                EXPECT_NE(m.find("field F "), std::string::npos) << m;
                EXPECT_NE(m.find(std::string(EngineTypeName(t).substr(2))), std::string::npos) << m;
            }
            EXPECT_FALSE(fileio::FileExists(path)) << "nothing is written for a refused type";
        }
    }
    EXPECT_EQ(FormatFolderLeftovers(dir.path()), 0);
}

TEST(FormatTable, NamesAndTypesRoundTrip)
{
    for (TableType type : {TableType::Default, TableType::Paradox, TableType::dBASE, TableType::FoxPro, TableType::ASCII}) {
        TableType back = TableType::Paradox;
        ASSERT_TRUE(ParseTableType(TableTypeName(type), back));
        EXPECT_EQ(back, type);
    }
    TableType t;
    EXPECT_TRUE(ParseTableType("DBase", t));
    EXPECT_FALSE(ParseTableType("csv", t));
    EXPECT_EQ(TableTypeOfFile("a/B.DB"), TableType::Paradox);
    EXPECT_EQ(TableTypeOfFile("a.b/c"), TableType::Default);
}

TEST(FormatTable, ContentDecidesOverTheNameAndAnExplicitTypeOverBoth)
{
    ScratchDir dir;
    MakeTable(dir.path(), "TEMP.DBF", TableType::Paradox, {{"a", 1, 1.5}, {"b", 2, 2.5}});
    EXPECT_EQ(ResolveTableType(dir.file("TEMP.DBF"), TableType::Default), TableType::Paradox);
    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("TEMP.DBF");
    t.open();
    EXPECT_EQ(t.formatType(), TableType::Paradox);
    EXPECT_EQ(t.recordCount(), 2);
    t.close();

    auto result = QueryResult::Run(dir.path(), "Select \"TEMP.DBF\".\"N\" From \"TEMP.DBF\" Where (N > 1)");
    ASSERT_EQ(result->recordCount(), 1);
    result->first();
    EXPECT_EQ(result->asText(0), "2");

    // Batch moves read it as what it is.
    MakeTable(dir.path(), "out.dbf", TableType::dBASE, {});
    Table source;
    source.setDatabaseName(dir.path());
    source.setTableName("TEMP.DBF");
    source.open();
    Table dest;
    dest.setDatabaseName(dir.path());
    dest.setTableName("out.dbf");
    EXPECT_EQ(BatchMove(dest, source, BatchMode::Append).appended, 2);
    EXPECT_EQ(Rows(dir.path(), "out.dbf"), "a/1/1.5\nb/2/2.5\n");

    // An explicit type is taken at its word.
    t.setTableType(TableType::dBASE);
    EXPECT_THROW(t.open(), EngineError);
}

TEST(FormatTable, CreateReplacesTheTableWithItsCompanionsAndDeleteRemovesThem)
{
    ScratchDir dir;
    MakeTable(dir.path(), "t.db", TableType::Paradox, {{"a", 1, 1}}, true);
    WriteFile(dir.file("T.X02"), "secondary index");
    WriteFile(dir.file("t.val"), "checks");
    WriteFile(dir.file("tx.db"), "another table");
    ASSERT_TRUE(fileio::FileExists(dir.file("t.mb")));
    MakeTable(dir.path(), "t.db", TableType::Paradox, {});
    EXPECT_FALSE(fileio::FileExists(dir.file("t.mb")));
    EXPECT_FALSE(fileio::FileExists(dir.file("T.X02")));
    EXPECT_FALSE(fileio::FileExists(dir.file("t.val")));
    EXPECT_TRUE(fileio::FileExists(dir.file("tx.db")));
    EXPECT_EQ(Rows(dir.path(), "t.db"), "");

    MakeTable(dir.path(), "m.dbf", TableType::dBASE, {{"a", 1, 1}}, true);
    WriteFile(dir.file("M.MDX"), "index");
    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("M.DBF");
    t.deleteTable();
    auto left = FolderEntries(dir.path());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"t.db", "tx.db"}));
    for (const char* gone : {"m.dbf", "m.dbt", "M.MDX"}) EXPECT_FALSE(fileio::FileExists(dir.file(gone))) << gone;
    EXPECT_THROW(t.deleteTable(), EngineError);
}

TEST(FormatTable, AFailedReplaceLeavesTheOldTableAsItWas)
{
    ScratchDir dir;
    for (unsigned op : {unsigned(fileio::FileOp::Rename), unsigned(fileio::FileOp::Write), unsigned(fileio::FileOp::Create)}) {
        MakeTable(dir.path(), "t.dbf", TableType::dBASE, {{"a", 1, 1}, {"b", 2, 2}}, true);
        const std::string before = Rows(dir.path(), "t.dbf");
        for (int n = 1; n <= 10; ++n) {
            fileio::ArmFault(op, n, fileio::FaultKind::DiskFull);
            try {
                MakeTable(dir.path(), "t.dbf", TableType::FoxPro, {});
            } catch (const EngineError&) {
            }
            bool fired = fileio::FaultFired();
            fileio::DisarmFault();
            if (!fired) break;
            EXPECT_EQ(Rows(dir.path(), "t.dbf"), before) << "op " << op << " n " << n;
            EXPECT_EQ(FormatFolderLeftovers(dir.path()), 0);
        }
    }
}

TEST(BatchMove, AppendAndCopyBetweenEveryPairOfFormats)
{
    ScratchDir dir;
    const std::vector<std::tuple<std::string, int, double>> rows = {{"one", 1, 1.25}, {"two", -2, 0}, {"three", 30, 2.5}};
    const std::string expected = "one/1/1.25\ntwo/-2/0\nthree/30/2.5\n";
    for (TableType from : kTypes) {
        std::string src = std::string("src") + ExtensionFor(from);
        MakeTable(dir.path(), src, from, rows);
        Table source;
        source.setDatabaseName(dir.path());
        source.setTableName(src);
        source.setTableType(from);
        source.open();
        for (TableType to : kTypes) {
            SCOPED_TRACE(std::string(TableTypeName(from)) + " -> " + TableTypeName(to));
            std::string name = std::string("dst") + ExtensionFor(to);
            Table dest;
            dest.setDatabaseName(dir.path());
            dest.setTableName(name);
            dest.setTableType(to);
            BatchMoveResult r = BatchMove(dest, source, BatchMode::Copy);
            EXPECT_EQ(r.appended, 3);
            EXPECT_EQ(Rows(dir.path(), name, to), expected);
            r = BatchMove(dest, source, BatchMode::Append);
            EXPECT_EQ(Rows(dir.path(), name, to), expected + expected);
        }
    }
}

TEST(BatchMove, KeyedModesMatchOnTheDestinationsPrimaryKey)
{
    ScratchDir dir;
    MakeTable(dir.path(), "dest.db", TableType::Paradox, {{"a", 1, 1}, {"b", 2, 2}, {"c", 3, 3}});
    KeyOnFirstField(dir.file("dest.db"));
    MakeTable(dir.path(), "src.dbf", TableType::dBASE, {{"b", 20, 20}, {"d", 40, 40}});
    Table source;
    source.setDatabaseName(dir.path());
    source.setTableName("src.dbf");
    source.open();
    Table dest;
    dest.setDatabaseName(dir.path());
    dest.setTableName("dest.db");

    BatchMoveResult r = BatchMove(dest, source, BatchMode::Update);
    EXPECT_EQ(r.updated, 1);
    EXPECT_EQ(r.appended, 0);
    EXPECT_EQ(Rows(dir.path(), "dest.db"), "a/1/1\nb/20/20\nc/3/3\n");

    r = BatchMove(dest, source, BatchMode::AppendUpdate);
    EXPECT_EQ(r.updated, 1);
    EXPECT_EQ(r.appended, 1);
    EXPECT_EQ(Rows(dir.path(), "dest.db"), "a/1/1\nb/20/20\nc/3/3\nd/40/40\n");

    r = BatchMove(dest, source, BatchMode::Delete);
    EXPECT_EQ(r.deleted, 2);
    EXPECT_EQ(Rows(dir.path(), "dest.db"), "a/1/1\nc/3/3\n");

    // dBASE tables have no primary key to match on.
    Table plain;
    plain.setDatabaseName(dir.path());
    plain.setTableName("src.dbf");
    for (BatchMode mode : {BatchMode::Update, BatchMode::AppendUpdate, BatchMode::Delete}) {
        try {
            BatchMove(plain, source, mode);
            ADD_FAILURE();
        } catch (const EngineError& e) {
            EXPECT_NE(std::string(e.what()).find("src.dbf has no primary key"), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(Rows(dir.path(), "src.dbf"), "b/20/20\nd/40/40\n");
}

TEST(BatchMove, AValueThatDoesNotFitNamesRowAndFieldAndKeepsTheRowsBefore)
{
    ScratchDir dir;
    MakeTable(dir.path(), "src.db", TableType::Paradox, {{"ok", 1, 1}, {"also ok", 2, 2.5}, {"x", 3, 3}});
    Table source;
    source.setDatabaseName(dir.path());
    source.setTableName("src.db");
    source.open();
    // Text too long for its field, and a fraction that an integer field would cut off.
    for (auto [name, width, field] : {std::tuple{"narrow.dbf", 5, "NAME"}, std::tuple{"wide.db", 10, "DEPTH"}}) {
        Table dest;
        dest.setDatabaseName(dir.path());
        dest.setTableName(name);
        dest.addFieldDef("NAME", ftString, width);
        dest.addFieldDef("N", ftInteger, 0);
        dest.addFieldDef("DEPTH", ftInteger, 0);
        dest.createTable();
        try {
            BatchMove(dest, source, BatchMode::Append);
            ADD_FAILURE() << name;
        } catch (const EngineError& e) {
            EXPECT_NE(std::string(e.what()).find(std::string("row 2, field ") + field), std::string::npos) << e.what();
        }
        EXPECT_EQ(Rows(dir.path(), name), "ok/1/1\n");
    }
}

TEST(BatchMove, ProgressIsReportedAndCanCancel)
{
    ScratchDir dir;
    std::vector<std::tuple<std::string, int, double>> rows;
    for (int k = 0; k < 2000; ++k) rows.emplace_back("r", k, k);
    MakeTable(dir.path(), "src.dbf", TableType::dBASE, rows);
    auto query = QueryResult::Run(dir.path(), "Select * From \"src\"");
    Table dest;
    dest.setDatabaseName(dir.path());
    dest.setTableName("dst.db");
    std::vector<std::int64_t> seen;
    BatchMoveResult r = BatchMove(dest, *query, BatchMode::Copy, [&](std::int64_t done, std::int64_t total) {
        EXPECT_EQ(total, 2000);
        seen.push_back(done);
        return done < 1024;
    });
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.appended, 1024);
    EXPECT_EQ(seen.back(), 1024);
    dest.open();
    EXPECT_EQ(dest.recordCount(), 1024);
}
