// dBASE/FoxPro tables as other programs leave them: odd null descriptors,
// unusual deletion bytes, DOS code pages, no code page at all, index files.
#include <cstring>
#include <gtest/gtest.h>

#include "engine/codepage.h"
#include "engine/error.h"
#include "engine/table.h"
#include "tests/engine/format_test_util.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using namespace tarnel::test;

namespace {

struct RawField { const char* name; char letter; int length; std::uint8_t flags; };

// A table file written byte by byte: version, driver byte, fields, records
// (each record without its deletion byte, which comes from marks).
std::string BuildDbf(std::uint8_t version, std::uint8_t driver, const std::vector<RawField>& fields,
                     const std::vector<std::string>& records, const std::string& marks = {},
                     std::uint8_t tableFlags = 0)
{
    const bool vfp = version == 0x30;
    int recordLength = 1;
    for (const auto& f : fields) recordLength += f.length;
    const int headerLength = 32 + 32 * static_cast<int>(fields.size()) + 1 + (vfp ? 263 : 0);
    std::string h(static_cast<size_t>(headerLength), '\0');
    h[0] = static_cast<char>(version);
    h[1] = 120, h[2] = 1, h[3] = 1;
    for (int k = 0; k < 4; ++k) h[4 + static_cast<size_t>(k)] = static_cast<char>((records.size() >> (8 * k)) & 0xFF);
    h[8] = static_cast<char>(headerLength & 0xFF), h[9] = static_cast<char>(headerLength >> 8);
    h[10] = static_cast<char>(recordLength & 0xFF), h[11] = static_cast<char>(recordLength >> 8);
    h[28] = static_cast<char>(tableFlags);
    h[29] = static_cast<char>(driver);
    int offset = 1;
    for (size_t k = 0; k < fields.size(); ++k) {
        char* d = h.data() + 32 + 32 * k;
        std::memcpy(d, fields[k].name, std::strlen(fields[k].name));
        d[11] = fields[k].letter;
        d[12] = static_cast<char>(offset);
        d[16] = static_cast<char>(fields[k].length);
        d[18] = static_cast<char>(fields[k].flags);
        offset += fields[k].length;
    }
    h[32 + 32 * fields.size()] = '\x0D';
    for (size_t r = 0; r < records.size(); ++r) {
        h += r < marks.size() ? marks[r] : ' ';
        h += records[r];
    }
    return h + '\x1A';
}

std::unique_ptr<Table> OpenFile(const std::string& path, bool readOnly, int codePage = 0)
{
    auto t = std::make_unique<Table>();
    t->setTableName(path);
    t->setReadOnly(readOnly);
    t->setCodePage(codePage);
    t->open();
    return t;
}

std::string Texts(Table& t, int field)
{
    std::string out;
    for (t.first(); !t.eof(); t.next()) out += t.asText(field) + "|";
    return out;
}

} // namespace

TEST(DbfForeignTables, NullableFieldsWithoutNullFlagsReadAsValuesAndRefuseNull)
{
    ScratchDir dir;
    const std::string path = dir.file("NONULL.DBF");
    std::string count(4, '\0');
    count[0] = 7;
    WriteFile(path, BuildDbf(0x30, 0x03, {{"NAME", 'C', 8, 0x02}, {"NUM", 'I', 4, 0x02}},
                             {"ABC     " + count, "        " + std::string(4, '\0')}));
    const std::string before = ReadFile(path);

    auto t = OpenFile(path, false);
    ASSERT_EQ(t->fieldCount(), 2);
    EXPECT_EQ(Texts(*t, 0), "ABC||");
    EXPECT_EQ(Texts(*t, 1), "7|0|");
    t->first();
    EXPECT_FALSE(t->isNull(1));

    t->edit();
    t->setNull(0);
    try {
        t->post();
        FAIL() << "a NULL was accepted";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("NAME"), std::string::npos) << e.what();
    }
    t->cancel();
    EXPECT_EQ(ReadFile(path), before);

    t->edit();
    t->setText(0, "XY");
    t->post();
    t.reset();
    EXPECT_EQ(Texts(*OpenFile(path, true), 0), "XY||");
}

TEST(DbfForeignTables, RecordsWithAnyMarkButAStarAreLive)
{
    ScratchDir dir;
    const std::string path = dir.file("MARKS.DBF");
    WriteFile(path, BuildDbf(0x03, 0x03, {{"ST", 'C', 4, 0}}, {"A1  ", "A2  ", "A3  ", "A4  "},
                             std::string("\0* \x01", 4)));
    auto t = OpenFile(path, true);
    EXPECT_EQ(t->recordCount(), 3);
    EXPECT_EQ(Texts(*t, 0), "A1|A3|A4|");
}

TEST(DbfForeignTables, MazoviaAndKamenickyDecodeAndEncodeThroughOwnTables)
{
    EXPECT_EQ(CodePageOfLanguageDriver(0x69), 620);
    EXPECT_EQ(CodePageOfLanguageDriver(0x68), 895);
    EXPECT_EQ(LanguageDriverOfCodePage(620), 0x69);
    EXPECT_EQ(LanguageDriverOfCodePage(895), 0x68);

    auto maz = CodePage::get(620);
    EXPECT_EQ(maz->number(), 620);
    EXPECT_EQ(maz->decode("\x86\x8D\x91\x92\xA4\xA2\x9E\xA6\xA7"), "ąćęłńóśźż");
    EXPECT_EQ(maz->decode("\x8F\x95\x90\x9C\xA5\xA3\x98\xA0\xA1"), "ĄĆĘŁŃÓŚŹŻ");
    EXPECT_EQ(maz->decode("\x80\x9B\xB0\xC9\xE1"), "Ç¢░╔ß");   // code page 437 elsewhere

    auto kam = CodePage::get(895);
    EXPECT_EQ(kam->number(), 895);
    EXPECT_EQ(kam->decode("\x87\x88\x9F\x87\xA9\x96\xA8\x91"), "čěťčřůšž");
    EXPECT_EQ(kam->decode("\x80\x89\x9B\x9E\x92\xA6\x8A\x9C\xAB"), "ČĚŠŘŽŮĹĽŔ");
    EXPECT_EQ(kam->decode("\xAC\xAD\xAE\xB1\xDB"), "¼§«▒█");

    // Every byte decodes to a distinct character that encodes back to it.
    for (const auto& page : {maz, kam}) {
        std::string all;
        for (int b = 0x80; b <= 0xFF; ++b) all += static_cast<char>(b);
        std::string back;
        ASSERT_TRUE(page->encode(page->decode(all), back)) << page->number();
        EXPECT_EQ(back, all) << page->number();
    }

    // A table that names Mazovia reads and writes in it.
    ScratchDir dir;
    const std::string path = dir.file("POL.DBF");
    WriteFile(path, BuildDbf(0x03, 0x69, {{"NAZWA", 'C', 10, 0}}, {"Jaskinia\x86 "}));
    auto t = OpenFile(path, false);
    t->first();
    EXPECT_EQ(t->asText(0), "Jaskiniaą");
    t->edit();
    t->setText(0, "Żółć");
    t->post();
    EXPECT_NE(ReadFile(path).find("\xA1\xA2\x92\x8D"), std::string::npos);
}

TEST(DbfForeignTables, AChosenCodePageAppliesOnlyWhereTheFileNamesNone)
{
    ScratchDir dir;
    const std::string bare = dir.file("BARE.DBF"), named = dir.file("NAMED.DBF");
    WriteFile(bare, BuildDbf(0x03, 0x00, {{"ST", 'C', 4, 0}}, {"Gr\x82t"}));
    WriteFile(named, BuildDbf(0x03, 0x03, {{"ST", 'C', 4, 0}}, {"Gr\x82t"}));

    auto plain = OpenFile(bare, true);
    EXPECT_EQ(plain->codePage(), 1252);
    EXPECT_EQ(Texts(*plain, 0), "Gr\u201At|");
    auto dos = OpenFile(bare, true, 437);
    EXPECT_EQ(dos->codePage(), 437);
    EXPECT_EQ(Texts(*dos, 0), "Grét|");
    auto kept = OpenFile(named, true, 437);
    EXPECT_EQ(kept->codePage(), 1252);

    Table::setDefaultCodePage(850);
    EXPECT_EQ(OpenFile(bare, true)->codePage(), 850);
    EXPECT_EQ(OpenFile(bare, true, 437)->codePage(), 437);
    Table::setDefaultCodePage(0);

    EXPECT_EQ(CodePageByName("cp437"), 437);
    EXPECT_EQ(CodePageByName("Windows-1250"), 1250);
    EXPECT_EQ(CodePageByName("850"), 850);
    EXPECT_EQ(CodePageByName("UTF-8"), 65001);
    EXPECT_EQ(CodePageByName("Mazovia"), 620);
    EXPECT_EQ(CodePageByName("kamenicky"), 895);
    EXPECT_EQ(CodePageByName("cp99999"), 0);
    EXPECT_EQ(CodePageByName("klingon"), 0);
}

TEST(DbfForeignTables, IndexFilesWeDoNotKeepMakeTheTableReadOnly)
{
    ScratchDir dir;
    for (const char* name : {"calls.dbf", "calls.CDX", "calls.FPT"})
        CopyFile(Fixture(std::string("dbf/foxprodb/") + name), dir.file(name));
    // Its production index is one we keep: the table is written.
    EXPECT_EQ(OpenFile(dir.file("calls.dbf"), false)->writeBlocked(), "");

    // A dBASE IV production index is not kept.
    WriteFile(dir.file("calls.mdx"), "x");
    const std::string before = ReadFile(dir.file("calls.dbf"));
    auto calls = OpenFile(dir.file("calls.dbf"), false);
    EXPECT_NE(calls->writeBlocked().find("calls.mdx cannot be kept up to date; the table is open read-only"),
              std::string::npos) << calls->writeBlocked();
    EXPECT_THROW(calls->edit(), EngineError);
    EXPECT_THROW(calls->append(), EngineError);
    EXPECT_THROW(calls->deleteRecord(), EngineError);
    calls.reset();
    EXPECT_EQ(ReadFile(dir.file("calls.dbf")), before);

    // A flag in the header names the production index even when it is gone.
    WriteFile(dir.file("FLAG.DBF"), BuildDbf(0x03, 0x03, {{"ST", 'C', 4, 0}}, {"A1  "}, {}, 0x01));
    EXPECT_NE(OpenFile(dir.file("FLAG.DBF"), false)->writeBlocked().find("FLAG.mdx"), std::string::npos);

    // A stand-alone index beside the table, in any letter case.
    WriteFile(dir.file("PLAIN.DBF"), BuildDbf(0x03, 0x03, {{"ST", 'C', 4, 0}}, {"A1  "}));
    EXPECT_EQ(OpenFile(dir.file("PLAIN.DBF"), false)->writeBlocked(), "");
    WriteFile(dir.file("plain.ntx"), "x");
    auto plain = OpenFile(dir.file("PLAIN.DBF"), false);
    EXPECT_NE(plain->writeBlocked().find("plain.ntx"), std::string::npos);
    plain->first();
    EXPECT_EQ(plain->asText(0), "A1");
}
