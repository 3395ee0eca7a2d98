// Damaged Paradox and ASCII tables: whatever the bytes, opening, reading and
// editing end in a value or an EngineError, never a crash or a hang. The
// inputs kept in tests/data/paradox and tests/data/ascii once broke the
// parsers (they are in the fuzz targets' input format, see fuzz/).
#include <filesystem>
#include <gtest/gtest.h>
#include <random>

#include "engine/error.h"
#include "engine/table_format.h"
#include "fuzz/table_fuzz.h"
#include "tests/engine/format_test_util.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using namespace tarnel::test;

namespace {

std::uint32_t LittleEndian32(const std::string& s)
{
    return static_cast<unsigned char>(s[0]) | (static_cast<unsigned char>(s[1]) << 8) |
           (static_cast<unsigned char>(s[2]) << 16) | (static_cast<std::uint32_t>(static_cast<unsigned char>(s[3]) & 0x7F) << 24);
}

std::vector<std::string> DataFiles(const std::string& folder)
{
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(TestData(folder), ec))
        if (e.is_regular_file()) out.push_back(e.path().string());
    return out;
}

} // namespace

TEST(FormatDamage, MutatedParadoxTablesNeverCrash)
{
    ScratchDir dir;
    std::mt19937 random(20261208);
    const std::string db = dir.file("m.db"), mb = dir.file("m.mb");
    for (const char* name : {"memo", "fmemo", "graphic240", "bcd", "long", "date7", "ole"}) {
        std::string table = ReadFile(Fixture(std::string("paradox/") + name + ".db"));
        std::string blobs = ReadFile(Fixture(std::string("paradox/") + name + ".mb"));
        blobs.resize(std::min<size_t>(blobs.size(), 64 * 1024));
        for (int round = 0; round < 80; ++round) {
            std::string t = table, b = blobs;
            int changes = 1 + static_cast<int>(random() % 6);
            for (int k = 0; k < changes; ++k) {
                bool inBlob = !b.empty() && random() % 4 == 0;
                std::string& target = inBlob ? b : t;
                // Mostly the header and the first block, where the structure is.
                size_t limit = inBlob ? std::min<size_t>(b.size(), 0x2000) : std::min<size_t>(t.size(), 0x900);
                target[random() % limit] = static_cast<char>(random() % 4 == 0 ? 0xFF : random());
            }
            if (random() % 10 == 0) t.resize(random() % t.size());
            WriteFile(db, t);
            WriteFile(mb, b);
            std::filesystem::remove(dir.file("m.px"));
            fuzz::Exercise(db, TableType::Paradox);
        }
    }
}

TEST(FormatDamage, KeptFuzzInputsNeverCrash)
{
    ScratchDir dir;
    for (const auto& file : DataFiles("paradox")) {
        SCOPED_TRACE(file);
        std::string input = ReadFile(file);
        if (input.size() < 4) continue;
        size_t dbSize = std::min<size_t>(LittleEndian32(input), input.size() - 4);
        WriteFile(dir.file("t.db"), input.substr(4, dbSize));
        WriteFile(dir.file("t.mb"), input.substr(4 + dbSize));
        std::filesystem::remove(dir.file("t.px"));
        fuzz::Exercise(dir.file("t.db"), TableType::Paradox);
    }
    for (const auto& file : DataFiles("ascii")) {
        SCOPED_TRACE(file);
        std::string input = ReadFile(file);
        auto split = input.find("\n%%\n");
        WriteFile(dir.file("t.sch"), split == std::string::npos ? input : input.substr(0, split));
        WriteFile(dir.file("t.txt"), split == std::string::npos ? std::string() : input.substr(split + 4));
        fuzz::Exercise(dir.file("t.txt"), TableType::ASCII);
    }
}
