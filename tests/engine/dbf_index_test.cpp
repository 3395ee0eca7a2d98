// Index files beside dBASE/FoxPro tables: the real FoxPro .CDX fixtures must
// hold exactly the keys a full scan of their tables gives, in key order; a
// damaged index file is an error naming it and leaves the table readable.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "tests/support/open_table.h"
#include "engine/bytes.h"
#include "engine/dbf/dbf_table.h"
#include "engine/dbf/index/index_file.h"
#include "engine/dbf/index/index_key.h"
#include "engine/error.h"
#include "engine/table.h"
#include "tests/support/index_check.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using tarnel::test::Fixture;
using tarnel::test::ScratchDir;

namespace {

using test::CheckAgainstScan;
using test::OpenTable;

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

} // namespace

TEST(DbfIndex, FoxProFixturesHoldTheKeysOfAFullScan)
{
    std::vector<std::string> names;
    for (const char* table : {"calls.dbf", "setup.dbf", "types.dbf"}) {
        auto t = OpenTable(Fixture("dbf/foxprodb"), table);
        CheckAgainstScan(*t, KeyStyle::FoxPro);
        for (const IndexTag& tag : t->format()->indexTags()) names.push_back(tag.file + ":" + tag.name + "=" + tag.expression);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"calls.CDX:CALL_ID=call_id", "calls.CDX:CONTACT_ID=contact_id",
                                               "setup.CDX:KEY_NAME=key_name", "types.CDX:TYPE_ID=contact_type_id"}));
}

TEST(DbfIndex, DamagedIndexIsAnErrorNamingItAndTheTableStaysReadable)
{
    const std::string source = ReadAll(Fixture("dbf/foxprodb/calls.CDX"));
    auto corrupt = [&](const char* what, const std::function<void(std::string&)>& change) {
        SCOPED_TRACE(what);
        ScratchDir dir;
        for (const char* f : {"calls.dbf", "calls.FPT"})
            std::filesystem::copy_file(Fixture(std::string("dbf/foxprodb/") + f), dir.file(f));
        std::string bytes = source;
        change(bytes);
        WriteAll(dir.file("calls.CDX"), bytes);
        auto t = OpenTable(dir.path(), "calls.dbf");
        try {
            auto tags = t->format()->indexTags();
            auto index = IndexFile::open(dir.file("calls.CDX"));
            for (size_t k = 0; k < index->tags().size(); ++k) index->keys(k);
            ADD_FAILURE() << "no error";
        } catch (const EngineError& e) {
            EXPECT_NE(std::string(e.what()).find("calls.CDX"), std::string::npos) << e.what();
        }
        int rows = 0;
        for (t->first(); !t->eof(); t->next()) ++rows;
        EXPECT_EQ(rows, t->recordCount());
        EXPECT_GT(rows, 0);
    };
    corrupt("truncated header", [](std::string& b) { b.resize(700); });
    corrupt("root past the end", [](std::string& b) { PutLe32(b.data(), 0x7FFFFF00u); });
    corrupt("tag header past the end", [](std::string& b) { b.resize(2048); });
    corrupt("leaf linked to itself", [](std::string& b) {
        // The tag directory's root is a leaf: make it its own right sibling.
        std::uint32_t root = GetLe32(b.data());
        PutLe32(b.data() + root + 8, root);
    });
    corrupt("entry layout wider than a leaf", [](std::string& b) {
        b[GetLe32(b.data()) + 23] = 9;
    });
    corrupt("key count beyond the node", [](std::string& b) {
        PutLe16(b.data() + GetLe32(b.data()) + 2, 400);
    });
}

TEST(DbfIndex, NdxFileIsReadInKeyOrder)
{
    // A dBASE III .ndx on a 6-byte character field: one root leaf, three keys.
    ScratchDir dir;
    std::string bytes(1024, '\0');
    PutLe32(bytes.data(), 1);
    PutLe32(bytes.data() + 4, 2);
    PutLe16(bytes.data() + 12, 6);    // key length
    PutLe16(bytes.data() + 14, 30);   // keys per node
    PutLe16(bytes.data() + 18, 16);   // entry length
    bytes[23] = 1;
    std::string expr = "UPPER(NAME)";
    std::copy(expr.begin(), expr.end(), bytes.begin() + 24);
    PutLe32(bytes.data() + 512, 3);
    const char* keys[] = {"ALPHA ", "BETA  ", "GAMMA "};
    for (int k = 0; k < 3; ++k) {
        PutLe32(bytes.data() + 516 + 16 * k + 4, static_cast<std::uint32_t>(3 - k));
        std::copy(keys[k], keys[k] + 6, bytes.begin() + 516 + 16 * k + 8);
    }
    WriteAll(dir.file("sites.ndx"), bytes);
    auto index = IndexFile::open(dir.file("sites.ndx"));
    ASSERT_EQ(index->tags().size(), 1u);
    EXPECT_EQ(index->tags()[0].name, "sites");
    EXPECT_EQ(index->tags()[0].expression, "UPPER(NAME)");
    EXPECT_TRUE(index->tags()[0].unique);
    auto found = index->keys(0);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[1].key, "BETA  ");
    EXPECT_EQ(found[1].record, 2u);

    // Its entry count past the node is an error, not a read past the buffer.
    PutLe32(bytes.data() + 512, 1000);
    WriteAll(dir.file("sites.ndx"), bytes);
    EXPECT_THROW(IndexFile::open(dir.file("sites.ndx"))->keys(0), EngineError);
}

TEST(DbfIndex, KeyExpressionsBeyondTheKnownOnesAreNotEvaluated)
{
    auto t = OpenTable(Fixture("dbf/foxprodb"), "calls.dbf");
    auto* dbf = dynamic_cast<DbfTable*>(t->format());
    const DbfHeader& h = dbf->header();
    std::string first = h.fields[4].name;   // SUBJECT, a character field
    for (const std::string& e : {"UPPER(" + first + ")", first + "+" + first, "upper( " + first + " )"})
        EXPECT_TRUE(KeyExpression::compile(e, h, KeyStyle::FoxPro).has_value()) << e;
    for (const std::string& e : {"SUBSTR(" + first + ",1,2)", std::string("NOSUCHFIELD"), "UPPER(" + first, std::string("")})
        EXPECT_FALSE(KeyExpression::compile(e, h, KeyStyle::FoxPro).has_value()) << e;
    EXPECT_EQ(FilterExcludes("!DELETED()", true), std::optional<bool>(true));
    EXPECT_EQ(FilterExcludes("NOT DELETED()", false), std::optional<bool>(false));
    EXPECT_FALSE(FilterExcludes("AGE > 3", false).has_value());
}
