// Damaged table files: each gives an error that names the file and the damage,
// never a crash, a hang or made-up values.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "engine/error.h"
#include "engine/table.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using tarnel::test::ScratchDir;

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

void WriteAll(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// A small table with a memo: STATION C(8), DEPTH N(8,2), NOTE M; three rows.
void MakeTable(const ScratchDir& dir)
{
    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("t.dbf");
    t.addFieldDef("STATION", ftString, 8);
    t.addFieldDef("DEPTH", ftFloat, 8);
    t.addFieldDef("NOTE", ftMemo, 0);
    t.createTable();
    t.open();
    for (int k = 0; k < 3; ++k) {
        t.append();
        t.setText(0, "S" + std::to_string(k));
        t.setText(1, "1.5");
        t.setText(2, "note " + std::to_string(k));
        t.post();
    }
}

// Opens the table and reads every field of every row; returns the error text.
std::string OpenAndReadAll(const ScratchDir& dir, const std::string& name = "t.dbf")
{
    try {
        Table t;
        t.setDatabaseName(dir.path());
        t.setTableName(name);
        t.setReadOnly(true);
        t.open();
        for (t.first(); !t.eof(); t.next())
            for (int f = 0; f < t.fieldCount(); ++f) t.asText(f);
    } catch (const EngineError& e) {
        return e.what();
    }
    return {};
}

std::string Damaged(const std::function<void(std::string& dbf, std::string& dbt)>& damage)
{
    ScratchDir dir;
    MakeTable(dir);
    std::string dbf = ReadAll(dir.file("t.dbf")), dbt = ReadAll(dir.file("t.dbt"));
    damage(dbf, dbt);
    WriteAll(dir.file("t.dbf"), dbf);
    WriteAll(dir.file("t.dbt"), dbt);
    return OpenAndReadAll(dir);
}

} // namespace

TEST(DamagedTables, HeaderDamageIsNamed)
{
    EXPECT_EQ(Damaged([](std::string&, std::string&) {}), "");
    EXPECT_NE(Damaged([](std::string& d, std::string&) { d.resize(20); }).find("t.dbf: the file is too short"), std::string::npos);
    EXPECT_NE(Damaged([](std::string& d, std::string&) { d.resize(70); }).find("t.dbf: the header is truncated"), std::string::npos);
    EXPECT_NE(Damaged([](std::string& d, std::string&) { d[4] = 100; }).find(
                  "record count 100 in the header, but the file holds 3 records"), std::string::npos);
    EXPECT_NE(Damaged([](std::string& d, std::string&) { d[0] = 0x7F; }).find("unknown version byte 0x7F"), std::string::npos);
    // Header length pointing before the end mark of the descriptors.
    EXPECT_NE(Damaged([](std::string& d, std::string&) { d[8] = 100; }).find("disagrees with the field descriptors"), std::string::npos);
    // Record length shorter than the fields.
    EXPECT_NE(Damaged([](std::string& d, std::string&) { d[10] = 5; }).find("record length 5"), std::string::npos);
}

TEST(DamagedTables, FieldDescriptorsOutsideTheirTypesRulesAreRefused)
{
    // Descriptor 1 is STATION C(8) at offset 32; 2 is DEPTH N(8,2) at 64; 3 is NOTE M(10) at 96.
    EXPECT_NE(Damaged([](std::string& d, std::string&) { d[32 + 16] = 0; }).find("field 1 (STATION) of type C has the length 0"), std::string::npos);
    EXPECT_NE(Damaged([](std::string& d, std::string&) { d[64 + 16] = static_cast<char>(255); }).find("length 255"), std::string::npos);
    EXPECT_NE(Damaged([](std::string& d, std::string&) { d[96 + 16] = 4; }).find("field 3 (NOTE) of type M"), std::string::npos);
    EXPECT_NE(Damaged([](std::string& d, std::string&) { d[64 + 17] = 9; }).find("9 decimals in a width of 8"), std::string::npos);
    EXPECT_NE(Damaged([](std::string& d, std::string&) { d[64 + 11] = 'Z'; }).find("unknown type 'Z'"), std::string::npos);
}

TEST(DamagedTables, MemoDamageIsNamedWhenTheMemoIsRead)
{
    // The third row's memo pointer, far past the end of the memo file.
    std::string past = Damaged([](std::string& d, std::string&) {
        std::size_t rec = 32 * 4 + 1 + 2 * 27;   // header, then record 3 (length 1 + 8 + 8 + 10)
        d.replace(rec + 17, 10, "    999999");
    });
    EXPECT_NE(past.find("t.dbt: memo block 999999 of field NOTE lies past the end"), std::string::npos) << past;
    std::string cut = Damaged([](std::string&, std::string& m) { m.resize(m.size() - 600); });
    EXPECT_NE(cut.find("t.dbt: memo block"), std::string::npos) << cut;
    std::string claims = Damaged([](std::string&, std::string& m) { m[512 * 3 + 5] = 0x7F; });
    EXPECT_NE(claims.find("claims"), std::string::npos) << claims;
    std::string noHeader = Damaged([](std::string&, std::string& m) { m.resize(10); });
    EXPECT_NE(noHeader.find("t.dbt"), std::string::npos) << noHeader;
}

TEST(DamagedTables, SavedCrashInputsGiveErrorsNotCrashes)
{
    // Inputs the fuzzer once found troublesome; each must open or fail cleanly.
    std::string folder = TARNEL_TEST_DATA "/dbf-fuzz";
    if (!std::filesystem::exists(folder)) GTEST_SKIP() << "no saved inputs";
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        ScratchDir dir;
        std::string data = ReadAll(entry.path().string());
        // The fuzz input format: table bytes, then optionally "\n--MEMO--\n" and memo bytes.
        auto split = data.find("\n--MEMO--\n");
        WriteAll(dir.file("f.dbf"), data.substr(0, split));
        if (split != std::string::npos) WriteAll(dir.file("f.dbt"), data.substr(split + 10));
        OpenAndReadAll(dir, "f.dbf");
        ++seen;
    }
    EXPECT_GT(seen, 0);
}
