// Plain Paradox tables (no blobs) checked against an independent Paradox
// library, where it is installed: its tables must read here, and ours there.
#ifdef TARNEL_HAVE_PXLIB

#include <cstring>
#include <gtest/gtest.h>

extern "C" {
#include <paradox.h>
}

#include "engine/daynum.h"
#include "engine/table_format.h"
#include "tests/engine/format_test_util.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using namespace tarnel::test;

namespace {

constexpr long kPxDateOffset = 693594;   // their day 1 is 1 January 0001

struct Row {
    std::string name;
    int small;
    long big;
    double number, money;
    long day;          // our day number
    long millis;       // time of day
    double stamp;      // our day number plus fraction
    bool flag;
};

const std::vector<Row>& Rows()
{
    static const std::vector<Row> rows = {
        {"Main Passage", 12, 100000, 3.25, 19.99, DayNumber(1999, 12, 31), 3600000, DayNumber(2001, 2, 3) + 0.5, true},
        {"Sump 2", -7, -2, -0.001, -5, DayNumber(1900, 1, 1), 0, DayNumber(1950, 6, 1) + 0.25, false},
        {"x", 32767, 2147483647, 1e300, 0, DayNumber(2026, 12, 8), 86399000, DayNumber(2026, 12, 8), true},
    };
    return rows;
}

struct PxDoc {
    pxdoc_t* doc = PX_new();
    ~PxDoc()
    {
        PX_close(doc);
        PX_delete(doc);
    }
};

} // namespace

TEST(ParadoxOracle, TablesOfTheOtherLibraryReadHere)
{
    PX_boot();
    ScratchDir dir;
    std::string path = dir.file("theirs.db");
    {
        PxDoc px;
        const struct { const char* name; char type; int len; } columns[] = {
            {"NAME", pxfAlpha, 20}, {"SMALL", pxfShort, 2}, {"BIG", pxfLong, 4}, {"NUM", pxfNumber, 8},
            {"MONEY", pxfCurrency, 8}, {"DAY", pxfDate, 4}, {"CLOCK", pxfTime, 4}, {"STAMP", pxfTimestamp, 8},
            {"FLAG", pxfLogical, 1}};
        const int n = 9;
        auto* fields = static_cast<pxfield_t*>(px.doc->malloc(px.doc, n * sizeof(pxfield_t), "fields"));
        for (int k = 0; k < n; ++k) {
            fields[k].px_fname = PX_strdup(px.doc, columns[k].name);
            fields[k].px_ftype = columns[k].type;
            fields[k].px_flen = columns[k].len;
            fields[k].px_fdc = 0;
        }
        ASSERT_EQ(PX_create_file(px.doc, fields, n, path.c_str(), pxfFileTypNonIndexDB), 0);
        for (const Row& r : Rows()) {
            pxval_t v[9] = {};
            pxval_t* p[9];
            for (int k = 0; k < n; ++k) {
                v[k].type = columns[k].type;
                p[k] = &v[k];
            }
            v[0].value.str.val = const_cast<char*>(r.name.c_str());
            v[0].value.str.len = static_cast<int>(r.name.size());
            v[1].value.lval = r.small;
            v[2].value.lval = r.big;
            v[3].value.dval = r.number;
            v[4].value.dval = r.money;
            v[5].value.lval = r.day + kPxDateOffset;
            v[6].value.lval = r.millis;
            v[7].value.dval = (r.stamp + kPxDateOffset) * 86400000.0;
            v[8].value.lval = r.flag;
            ASSERT_GE(PX_insert_record(px.doc, p), 0);
        }
    }
    auto t = OpenTableFormat(path, TableType::Paradox, true);
    ASSERT_EQ(t->physicalCount(), static_cast<std::int64_t>(Rows().size()));
    ASSERT_EQ(t->fields().size(), 9u);
    EXPECT_EQ(t->fields()[7].type, ftDateTime);
    for (size_t r = 0; r < Rows().size(); ++r) {
        const Row& e = Rows()[r];
        auto row = static_cast<std::int64_t>(r);
        EXPECT_EQ(t->value(row, 0), Value::text(e.name));
        EXPECT_EQ(t->value(row, 1), Value::integer(e.small));
        EXPECT_EQ(t->value(row, 2), Value::integer(e.big));
        EXPECT_EQ(t->value(row, 3), Value::real(e.number));
        EXPECT_EQ(t->value(row, 4), Value::real(e.money));
        EXPECT_EQ(t->value(row, 5), Value::integer(e.day));
        EXPECT_NEAR(t->value(row, 6).f * 86400000.0, static_cast<double>(e.millis), 0.01);
        EXPECT_NEAR(t->value(row, 7).f, e.stamp, 1e-9);
        EXPECT_EQ(t->value(row, 8), Value::integer(e.flag ? 1 : 0));
    }
}

TEST(ParadoxOracle, OurTablesReadThere)
{
    PX_boot();
    ScratchDir dir;
    std::string path = dir.file("ours.db");
    CreateTableFiles(path,
                     {Def("NAME", ftString, 20), Def("SMALL", ftSmallint), Def("BIG", ftInteger), Def("NUM", ftFloat),
                      Def("MONEY", ftCurrency), Def("DAY", ftDate), Def("CLOCK", ftTime), Def("STAMP", ftDateTime),
                      Def("FLAG", ftBoolean), Def("ID", ftAutoInc)},
                     {});
    {
        auto t = OpenTableFormat(path, TableType::Paradox, false);
        for (const Row& r : Rows())
            t->appendRecord({Value::text(r.name), Value::integer(r.small), Value::integer(r.big), Value::real(r.number),
                             Value::real(r.money), Value::integer(r.day), Value::real(r.millis / 86400000.0),
                             Value::real(r.stamp), Value::integer(r.flag), Value()});
    }
    PxDoc px;
    ASSERT_EQ(PX_open_file(px.doc, path.c_str()), 0);
    ASSERT_EQ(PX_get_num_fields(px.doc), 10);
    ASSERT_EQ(PX_get_num_records(px.doc), static_cast<int>(Rows().size()));
    pxfield_t* fields = PX_get_fields(px.doc);
    EXPECT_STREQ(fields[0].px_fname, "NAME");
    EXPECT_EQ(fields[7].px_ftype, pxfTimestamp);
    for (size_t r = 0; r < Rows().size(); ++r) {
        const Row& e = Rows()[r];
        pxval_t** v = PX_retrieve_record(px.doc, static_cast<int>(r));
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(std::string(v[0]->value.str.val, static_cast<size_t>(v[0]->value.str.len)), e.name);
        EXPECT_EQ(v[1]->value.lval, e.small);
        EXPECT_EQ(v[2]->value.lval, e.big);
        EXPECT_EQ(v[3]->value.dval, e.number);
        EXPECT_EQ(v[4]->value.dval, e.money);
        EXPECT_EQ(v[5]->value.lval, e.day + kPxDateOffset);
        EXPECT_EQ(v[6]->value.lval, e.millis);
        EXPECT_NEAR(v[7]->value.dval, (e.stamp + kPxDateOffset) * 86400000.0, 1.0);
        EXPECT_EQ(v[8]->value.lval != 0, e.flag);
        EXPECT_EQ(v[9]->value.lval, static_cast<long>(r + 1));
        for (int k = 0; k < 10; ++k) {
            if (v[k]->type == pxfAlpha && v[k]->value.str.val) px.doc->free(px.doc, v[k]->value.str.val);
            px.doc->free(px.doc, v[k]);
        }
        px.doc->free(px.doc, v);
    }
}

TEST(ParadoxOracle, RebuiltPrimaryIndexReadsThere)
{
    PX_boot();
    ScratchDir dir;
    std::string path = dir.file("keyed.db");
    CreateTableFiles(path, {Def("K", ftInteger), Def("PAD", ftString, 250)}, {});
    Patch(path, 4, std::string(1, '\0'));   // keyed on its first field
    PatchU16(path, 0x23, 1);
    {
        auto t = OpenTableFormat(path, TableType::Paradox, false);
        for (int k = 0; k < 200; ++k) t->appendRecord({Value::integer((k * 37) % 200), Value::text("p")});
        ASSERT_EQ(t->value(0, 0), Value::integer(0));
        ASSERT_EQ(t->value(199, 0), Value::integer(199));
    }
    PxDoc index;
    ASSERT_EQ(PX_open_file(index.doc, dir.file("keyed.px").c_str()), 0);
    int entries = PX_get_num_records(index.doc);
    EXPECT_GE(entries, 13);   // 16 records of 254 bytes fill a 4 KB block
    ASSERT_EQ(PX_get_num_fields(index.doc), 1);
    PxDoc table;
    ASSERT_EQ(PX_open_file(table.doc, path.c_str()), 0);
    EXPECT_EQ(PX_read_primary_index(index.doc), 0);
    EXPECT_EQ(PX_add_primary_index(table.doc, index.doc), 0);
    EXPECT_EQ(PX_get_num_records(table.doc), 200);
}

TEST(ParadoxOracle, TwoLevelPrimaryIndexReadsThere)
{
    PX_boot();
    ScratchDir dir;
    std::string path = dir.file("deep.db");
    CreateTableFiles(path, {Def("K", ftInteger), Def("PAD", ftString, 255)}, {});
    Patch(path, 4, std::string(1, '\0'));
    PatchU16(path, 0x23, 1);
    const int records = 15 * 420;   // 15 records a block: more data blocks than one index block holds
    {
        auto t = OpenTableFormat(path, TableType::Paradox, false);
        for (int k = 0; k < records; ++k) t->appendRecord({Value::integer(k), Value()});
    }
    std::string px = ReadFile(dir.file("deep.px"));
    EXPECT_EQ(static_cast<unsigned char>(px[0x20]), 2);   // levels
    PxDoc index;
    ASSERT_EQ(PX_open_file(index.doc, dir.file("deep.px").c_str()), 0);
    PxDoc table;
    ASSERT_EQ(PX_open_file(table.doc, path.c_str()), 0);
    EXPECT_EQ(PX_read_primary_index(index.doc), 0);
    EXPECT_EQ(PX_add_primary_index(table.doc, index.doc), 0);
    EXPECT_EQ(PX_get_num_records(table.doc), records);
}

#endif
