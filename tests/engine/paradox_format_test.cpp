// Paradox tables: the real sample tables, and tables this engine writes.
#include <cmath>
#include <gtest/gtest.h>
#include <thread>

#include "engine/daynum.h"
#include "engine/error.h"
#include "engine/table_format.h"
#include "tests/engine/format_test_util.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using namespace tarnel::test;

namespace {

std::unique_ptr<TableFormat> OpenFixture(const std::string& name)
{
    return OpenTableFormat(Fixture("paradox/" + name), TableType::Default, true);
}

std::string Text(TableFormat& t, std::int64_t r, int f) { return FormatValueText(t.fields()[static_cast<size_t>(f)], t.value(r, f)); }

double Day(int y, int m, int d) { return static_cast<double>(DayNumber(y, m, d)); }

// Expects opening (or reading all of) a table to fail with a message holding `part`.
void ExpectBroken(const std::string& path, const std::string& part)
{
    try {
        auto t = OpenTableFormat(path, TableType::Paradox, true);
        for (std::int64_t r = 0; r < t->physicalCount(); ++r)
            for (int f = 0; f < static_cast<int>(t->fields().size()); ++f) t->value(r, f);
        ADD_FAILURE() << path << " was accepted";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
    }
}

std::vector<FieldDef> AllTypes()
{
    return {Def("NAME", ftString, 20), Def("SHORT", ftSmallint), Def("LONG", ftInteger), Def("NUM", ftFloat),
            Def("MONEY", ftCurrency), Def("AMOUNT", ftBCD, 4), Def("DAY", ftDate), Def("CLOCK", ftTime),
            Def("STAMP", ftDateTime), Def("FLAG", ftBoolean), Def("RAW", ftBytes, 6), Def("ID", ftAutoInc),
            Def("NOTES", ftMemo, 10), Def("DATA", ftBlob), Def("PIC", ftGraphic), Def("FMT", ftFmtMemo),
            Def("OLE", ftParadoxOle)};
}

std::vector<Value> Nulls(size_t n) { return std::vector<Value>(n); }

} // namespace

TEST(ParadoxFixtures, EveryTableOpensWithItsFieldTypes)
{
    struct Case { const char* file; std::int64_t records; std::vector<TFieldType> types; };
    const Case cases[] = {
        {"bcd.db", 3, {ftBCD, ftBCD, ftBCD}}, {"bytes.db", 1, {ftBytes}}, {"date35.db", 3, {ftDate}},
        {"date4.db", 3, {ftDate}}, {"date5.db", 3, {ftDate, ftTime}}, {"date7.db", 5, {ftDate, ftTime}},
        {"fmemo.db", 2, {ftAutoInc, ftFmtMemo}}, {"graphic.db", 3, {ftAutoInc, ftGraphic, ftString}},
        {"graphic240.db", 1, {ftAutoInc, ftGraphic}}, {"logical.db", 4, {ftBoolean}},
        {"long.db", 3, {ftAutoInc, ftInteger}}, {"memo.db", 2, {ftAutoInc, ftMemo}},
        {"ole.db", 1, {ftAutoInc, ftParadoxOle}}, {"time.db", 3, {ftTime}}, {"timestamp.db", 2, {ftDateTime}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto t = OpenFixture(c.file);
        EXPECT_EQ(t->type(), TableType::Paradox);
        ASSERT_EQ(t->physicalCount(), c.records);
        ASSERT_EQ(t->fields().size(), c.types.size());
        for (size_t k = 0; k < c.types.size(); ++k) EXPECT_EQ(t->fields()[k].type, c.types[k]);
        for (std::int64_t r = 0; r < t->physicalCount(); ++r) {
            EXPECT_FALSE(t->isDeleted(r));
            for (int f = 0; f < static_cast<int>(c.types.size()); ++f) EXPECT_EQ(t->isNull(r, f), t->value(r, f).isNull());
        }
    }
}

TEST(ParadoxFixtures, ValuesAndNullsReadBack)
{
    auto d7 = OpenFixture("date7.db");
    EXPECT_EQ(d7->value(0, 0), Value::integer(DayNumber(2018, 1, 1)));
    EXPECT_EQ(Text(*d7, 0, 1), "10:00:00");
    EXPECT_EQ(Text(*d7, 2, 1), "09:25:25");
    EXPECT_TRUE(d7->value(3, 0).isNull());
    EXPECT_TRUE(d7->value(4, 1).isNull());
    for (const char* old : {"date35.db", "date4.db", "date5.db"}) {
        auto t = OpenFixture(old);
        EXPECT_EQ(Text(*t, 1, 0), "2018-02-01") << old;
    }
    auto ts = OpenFixture("timestamp.db");
    EXPECT_TRUE(ts->isNull(0, 0));
    EXPECT_EQ(Text(*ts, 1, 0), "2020-02-01 01:00:01");
    EXPECT_TRUE(OpenFixture("time.db")->value(1, 0).isNull());

    auto bcd = OpenFixture("bcd.db");
    EXPECT_DOUBLE_EQ(bcd->value(0, 0).f, 1.23);
    EXPECT_DOUBLE_EQ(bcd->value(1, 0).f, -1.23);
    EXPECT_DOUBLE_EQ(bcd->value(1, 1).f, -1);
    EXPECT_NEAR(bcd->value(0, 2).f, 0.123, 1e-12);
    EXPECT_EQ(bcd->value(2, 0), Value::real(0));
    EXPECT_TRUE(bcd->value(2, 1).isNull());
    EXPECT_EQ(bcd->fields()[2].size, 32);

    auto logical = OpenFixture("logical.db");
    EXPECT_EQ(Text(*logical, 0, 0), "True");
    EXPECT_EQ(Text(*logical, 1, 0), "False");

    auto keyed = OpenFixture("long.db");
    EXPECT_EQ(keyed->primaryKey(), std::vector<int>{0});
    EXPECT_TRUE(keyed->value(2, 1).isNull());
    EXPECT_EQ(keyed->value(1, 1), Value::integer(2));
    EXPECT_TRUE(OpenFixture("date7.db")->primaryKey().empty());
}

TEST(ParadoxFixtures, MemosAndBlobsComeFromRecordOrBlobFile)
{
    auto memo = OpenFixture("memo.db");
    Value longMemo = memo->value(0, 1);
    ASSERT_EQ(longMemo.kind, Value::Kind::Text);
    EXPECT_EQ(longMemo.s.size(), 555u);   // in a shared block of the .mb
    EXPECT_EQ(longMemo.s.substr(0, 10), "0123456789");
    EXPECT_EQ(memo->value(1, 1), Value::text("01234567890\n"));   // held in the record
    EXPECT_EQ(memo->fields()[1].size, 240);

    auto graphic = OpenFixture("graphic240.db");
    Value bmp = graphic->value(0, 1);
    ASSERT_EQ(bmp.kind, Value::Kind::Bytes);
    EXPECT_EQ(bmp.s.size(), 20078u);   // its own block; the 8-byte graphic prefix dropped
    EXPECT_EQ(bmp.s.substr(0, 2), "BM");
    EXPECT_EQ(OpenFixture("graphic.db")->value(2, 1).s.size(), 2074678u);
    EXPECT_EQ(OpenFixture("ole.db")->value(0, 1).s.size(), 365928u);   // behind a free block
    EXPECT_FALSE(OpenFixture("fmemo.db")->value(1, 1).s.empty());
}

TEST(ParadoxWriting, EveryTypeRoundTripsIncludingNulls)
{
    ScratchDir dir;
    std::string path = dir.file("all.db");
    CreateTableFiles(path, AllTypes(), {});
    std::string big(70000, '\0');
    for (size_t k = 0; k < big.size(); ++k) big[k] = static_cast<char>(k * 7 + 1);
    std::vector<Value> full = {
        Value::text("Grotte Aigüe"), Value::integer(-32767), Value::integer(2147483647), Value::real(-1.5e-300),
        Value::real(12.34), Value::real(-98765.4321), Value::integer(DayNumber(1, 1, 1)), Value::real(0.75),
        Value::real(Day(2026, 12, 8) + 0.5), Value::integer(1), Value::bytes(std::string("\x00\x01\xff", 3)),
        Value(), Value::text("short"), Value::bytes(big), Value::bytes("GIF89a..."),
        Value::text(std::string(3000, 'f')), Value::bytes(std::string(500, 'o'))};
    {
        auto t = OpenTableFormat(path, TableType::Default, false);
        EXPECT_EQ(t->appendRecord(full), 0);
        EXPECT_EQ(t->appendRecord(Nulls(full.size())), 1);
        std::vector<Value> other = Nulls(full.size());
        other[1] = Value::integer(0);
        other[3] = Value::real(0);
        other[9] = Value::integer(0);
        other[12] = Value::text(std::string(11, 'x'));   // one byte more than the memo's leader
        EXPECT_EQ(t->appendRecord(other), 2);
    }
    auto t = OpenTableFormat(path, TableType::Default, true);
    ASSERT_EQ(t->physicalCount(), 3);
    for (size_t k = 0; k < full.size(); ++k) {
        SCOPED_TRACE(t->fields()[k].name);
        if (k == 11) continue;
        if (k == 10) {   // a bytes field has a fixed length
            EXPECT_EQ(t->value(0, 10), Value::bytes(std::string("\x00\x01\xff\x00\x00\x00", 6)));
            continue;
        }
        EXPECT_EQ(t->value(0, static_cast<int>(k)), full[k]);
    }
    EXPECT_EQ(t->value(0, 11), Value::integer(1));   // autoincrement filled in
    EXPECT_EQ(t->value(1, 11), Value::integer(2));
    for (int k = 0; k < 17; ++k)
        if (k != 11) EXPECT_TRUE(t->isNull(1, k)) << t->fields()[static_cast<size_t>(k)].name;
    EXPECT_EQ(t->value(2, 1), Value::integer(0));   // zero is not NULL
    EXPECT_EQ(t->value(2, 3), Value::real(0));
    EXPECT_EQ(t->value(2, 9), Value::integer(0));
    EXPECT_EQ(t->value(2, 12).s, std::string(11, 'x'));
    EXPECT_EQ(t->fields()[5].size, 4);
    EXPECT_EQ(t->fields()[12].size, 10);
}

TEST(ParadoxWriting, ManyRecordsSpanBlocksAndDeletesRenumber)
{
    ScratchDir dir;
    std::string path = dir.file("many.db");
    CreateTableFiles(path, {Def("N", ftInteger), Def("PAD", ftString, 200)}, {});
    auto t = OpenTableFormat(path, TableType::Paradox, false);
    for (int k = 0; k < 100; ++k) t->appendRecord({Value::integer(k), Value::text(std::string(200, 'a' + k % 26))});
    ASSERT_EQ(t->physicalCount(), 100);   // 20 records fit a 4 KB block: five blocks
    std::vector<std::int64_t> expected;
    for (int k = 0; k < 100; ++k) expected.push_back(k);
    auto remove = [&](std::int64_t r) {
        t->deleteRecord(r);
        expected.erase(expected.begin() + r);
    };
    remove(0);                                     // from the first block
    remove(50);                                    // from the middle
    for (int k = 0; k < 20; ++k) remove(19);       // empties the second block
    remove(t->physicalCount() - 1);
    std::vector<std::int64_t> left;
    for (std::int64_t r = 0; r < t->physicalCount(); ++r) left.push_back(t->value(r, 0).i);
    EXPECT_EQ(left, expected);
    // The freed block is used again, and the file reopens the same.
    auto size = std::filesystem::file_size(path);
    for (int k = 0; k < 15; ++k) t->appendRecord({Value::integer(1000 + k), Value()});
    EXPECT_EQ(std::filesystem::file_size(path), size);
    t.reset();
    auto again = OpenTableFormat(path, TableType::Paradox, true);
    EXPECT_EQ(again->physicalCount(), static_cast<std::int64_t>(expected.size()) + 15);
    EXPECT_EQ(again->value(again->physicalCount() - 1, 0), Value::integer(1014));
}

TEST(ParadoxWriting, UpdatesReplaceBlobsWithoutGrowingTheBlobFile)
{
    ScratchDir dir;
    std::string path = dir.file("notes.db");
    CreateTableFiles(path, {Def("ID", ftInteger), Def("NOTE", ftMemo, 1), Def("PIC", ftBlob)}, {});
    auto t = OpenTableFormat(path, TableType::Paradox, false);
    t->appendRecord({Value::integer(1), Value::text("first"), Value::bytes(std::string(9000, 'p'))});
    t->appendRecord({Value::integer(2), Value::text(std::string(1500, 'm')), Value()});
    for (int k = 0; k < 50; ++k)
        t->updateRecord(0, {Value(), Value::text("note " + std::to_string(k) + std::string(100, '.')),
                            Value::bytes(std::string(9000 + k, 'q'))},
                        {false, true, true});
    EXPECT_EQ(t->value(0, 0), Value::integer(1));   // unchanged field kept
    EXPECT_EQ(t->value(0, 1).s.substr(0, 7), "note 49");
    EXPECT_EQ(t->value(0, 2).s.size(), 9049u);
    EXPECT_EQ(t->value(1, 1).s.size(), 1500u);
    EXPECT_LT(std::filesystem::file_size(dir.file("notes.mb")), 40000u);
    t->updateRecord(0, {Value(), Value(), Value()}, {false, true, true});
    EXPECT_TRUE(t->isNull(0, 1));
    EXPECT_TRUE(t->isNull(0, 2));
    t->deleteRecord(1);
    EXPECT_EQ(t->physicalCount(), 1);
}

TEST(ParadoxWriting, KeyedTableKeepsKeyOrderAndRejectsDuplicates)
{
    ScratchDir dir;
    for (const char* ext : {".db", ".px"}) CopyFile(Fixture(std::string("paradox/long") + ext), dir.file(std::string("long") + ext));
    std::string path = dir.file("long.db");
    auto t = OpenTableFormat(path, TableType::Paradox, false);
    EXPECT_EQ(t->appendRecord({Value::integer(10), Value::integer(100)}), 3);
    EXPECT_EQ(t->appendRecord({Value::integer(5), Value::integer(50)}), 3);   // before 10
    EXPECT_THROW(t->appendRecord({Value::integer(2), Value()}), EngineError);
    EXPECT_EQ(t->physicalCount(), 5);
    t->updateRecord(0, {Value::integer(7), Value()}, {true, false});   // key 1 becomes 7
    std::vector<std::int64_t> keys;
    for (std::int64_t r = 0; r < t->physicalCount(); ++r) keys.push_back(t->value(r, 0).i);
    EXPECT_EQ(keys, (std::vector<std::int64_t>{2, 3, 5, 7, 10}));
    EXPECT_EQ(t->value(3, 1), Value::integer(1));
    EXPECT_THROW(t->updateRecord(0, {Value::integer(10), Value()}, {true, false}), EngineError);
    t.reset();
    // The rebuilt primary index: one entry for the one data block, its first key and count.
    std::string px = ReadFile(dir.file("long.px"));
    ASSERT_GE(px.size(), 0x800u + 16);
    EXPECT_EQ(static_cast<unsigned char>(px[4]), 1);
    EXPECT_EQ(px.substr(0x806, 4), std::string("\x80\x00\x00\x02", 4));
    EXPECT_EQ(px.substr(0x80A, 4), std::string("\x80\x01\x80\x05", 4));
}

TEST(ParadoxWriting, KeyedInsertsSplitFullBlocks)
{
    for (int width : {4, 2100}) {   // many records a block, and one
        SCOPED_TRACE(width);
        ScratchDir dir;
        std::string path = dir.file("split.db");
        std::vector<FieldDef> defs = {Def("K", ftInteger)};
        for (int k = 0; k * 255 < width; ++k) defs.push_back(Def("F" + std::to_string(k), ftString, 255));
        CreateTableFiles(path, defs, {});
        Patch(path, 4, std::string(1, '\0'));
        PatchU16(path, 0x23, 1);
        auto t = OpenTableFormat(path, TableType::Paradox, false);
        std::vector<Value> row(defs.size());
        for (int k = 0; k < 300; ++k) {
            row[0] = Value::integer((k * 7919) % 300);
            row[1] = Value::text(std::to_string(k));
            t->appendRecord(row);
        }
        for (int k = 0; k < 300; k += 3) t->deleteRecord(t->physicalCount() / 2);
        t.reset();
        auto again = OpenTableFormat(path, TableType::Paradox, true);
        ASSERT_EQ(again->physicalCount(), 200);
        for (std::int64_t r = 1; r < 200; ++r) EXPECT_LT(again->value(r - 1, 0).i, again->value(r, 0).i);
    }
}

TEST(ParadoxWriting, BadValuesAreRefusedBeforeAnythingIsWritten)
{
    ScratchDir dir;
    std::string path = dir.file("strict.db");
    CreateTableFiles(path, {Def("NAME", ftString, 5), Def("S", ftSmallint), Def("NOTE", ftMemo, 1)}, {});
    auto t = OpenTableFormat(path, TableType::Paradox, false);
    std::string before = ReadFile(path);
    EXPECT_THROW(t->appendRecord({Value::text("too long"), Value(), Value()}), EngineError);
    EXPECT_THROW(t->appendRecord({Value::text("\xE4\xB8\xAD"), Value(), Value()}), EngineError);   // not in 1252
    EXPECT_THROW(t->appendRecord({Value(), Value::integer(40000), Value::text("x")}), EngineError);
    EXPECT_THROW(t->appendRecord({Value(), Value::text("abc"), Value()}), EngineError);
    EXPECT_THROW(t->appendRecord({Value()}), EngineError);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(t->physicalCount(), 0);
    EXPECT_THROW(CreateTableFiles(dir.file("x.db"), {Def("A", ftString, 0)}, {}), EngineError);
    EXPECT_THROW(CreateTableFiles(dir.file("x.db"), {Def("A", ftInteger), Def("a", ftInteger)}, {}), EngineError);
    EXPECT_THROW(CreateTableFiles(dir.file("x.db"), {Def("A", ftCursor)}, {}), EngineError);
}

TEST(ParadoxWriting, ReadOnlyTablesRefuseWrites)
{
    ScratchDir dir;
    std::string path = dir.file("long.db");
    CopyFile(Fixture("paradox/long.db"), path);
    std::string before = ReadFile(path);
    auto t = OpenTableFormat(path, TableType::Paradox, true);
    EXPECT_EQ(t->physicalCount(), 3);
    EXPECT_THROW(t->updateRecord(0, {Value::integer(9), Value()}, {true, true}), EngineError);
    EXPECT_THROW(t->appendRecord({Value::integer(9), Value()}), EngineError);
    EXPECT_THROW(t->deleteRecord(0), EngineError);
    EXPECT_EQ(ReadFile(path), before);
}

TEST(ParadoxWriting, TwoWritersSeeEachOthersRecords)
{
    ScratchDir dir;
    std::string path = dir.file("shared.db");
    CreateTableFiles(path, {Def("N", ftInteger)}, {});
    auto a = OpenTableFormat(path, TableType::Paradox, false);
    auto b = OpenTableFormat(path, TableType::Paradox, false);
    std::thread one([&] { for (int k = 0; k < 200; ++k) a->appendRecord({Value::integer(k)}); });
    std::thread two([&] { for (int k = 0; k < 200; ++k) b->appendRecord({Value::integer(1000 + k)}); });
    one.join();
    two.join();
    auto c = OpenTableFormat(path, TableType::Paradox, true);
    ASSERT_EQ(c->physicalCount(), 400);
    std::int64_t sum = 0;
    for (std::int64_t r = 0; r < 400; ++r) sum += c->value(r, 0).i;
    EXPECT_EQ(sum, 199 * 200 / 2 + 200 * 1000 + 199 * 200 / 2);
}

TEST(ParadoxDamage, BrokenFilesGiveClearErrors)
{
    ScratchDir dir;
    auto copy = [&](const std::string& name) {
        std::string to = dir.file(name);
        CopyFile(Fixture("paradox/" + name), to);
        return to;
    };
    std::string p = copy("date7.db");
    Truncate(p, 0x40);
    ExpectBroken(p, "header is truncated");
    p = copy("date7.db");
    Truncate(p, 2048 + 100);
    ExpectBroken(p, "past the end of the file");
    p = copy("date7.db");
    PatchU16(p, 2048, 1);   // block 1 says block 1 comes next
    ExpectBroken(p, "loops");
    p = copy("date7.db");
    PatchU32(p, 6, 500);
    ExpectBroken(p, "500 records");
    p = copy("date7.db");
    PatchU16(p, 2048 + 4, 3000);
    ExpectBroken(p, "claims");
    p = copy("date7.db");
    PatchU16(p, 2, 0x60);   // ends before the level-4 part of the header
    ExpectBroken(p, "too small");
    p = copy("date7.db");
    PatchU16(p, 0x21, 0);
    ExpectBroken(p, "0 fields");
    p = copy("date7.db");
    Patch(p, 0x78, std::string("\x07", 1));
    ExpectBroken(p, "unknown type code");
    p = copy("date7.db");
    PatchU32(p, 0x5C, 0x12345678);
    ExpectBroken(p, "password");
    ExpectBroken(Fixture("paradox/long.px"), "index file");

    std::string m = copy("memo.db");
    copy("memo.mb");
    PatchU32(m, 2048 + 6 + 4 + 240, 0x9000FF);   // blob pointer far past the end of the .mb
    ExpectBroken(m, "outside the file");
    m = copy("memo.db");
    std::filesystem::remove(dir.file("memo.mb"));
    auto t = OpenTableFormat(m, TableType::Paradox, true);   // opens; the short memo is in the record
    EXPECT_EQ(t->value(1, 1).s.size(), 12u);
    EXPECT_THROW(t->value(0, 1), EngineError);
    t.reset();
    WriteFile(dir.file("memo.mb"), std::string(100, '\0'));   // a blob file cut short
    t = OpenTableFormat(m, TableType::Paradox, true);
    EXPECT_EQ(t->value(1, 0), Value::integer(2));
    EXPECT_THROW(t->value(0, 1), EngineError);
}
