// Feeds arbitrary bytes to the index file readers. The first three bytes
// choose the kind (cdx, idx, ndx, mdx; x01 for a Paradox secondary index,
// whose input is then a 4-byte length, that many bytes of .X01, the rest its
// .Y01); the rest is the file. Everything must end in a clean EngineError or
// in keys, walked whole and from a key on.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "engine/dbf/index/index_file.h"
#include "engine/error.h"
#include "engine/paradox/px_secondary.h"
#include "engine/paradox/px_table.h"

namespace {

void Write(const std::string& path, const std::uint8_t* data, size_t size)
{
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

// The entries are checked against a table of their own first fields, so
// that inputs get past the field checks.
void Secondary(const std::string& folder, const std::uint8_t* data, size_t size)
{
    if (size < 4) return;
    size_t xSize = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<size_t>(data[3] & 0x7F) << 24);
    data += 4;
    size -= 4;
    if (xSize > size) xSize = size;
    const std::string x = folder + "/t.X01";
    Write(x, data, xSize);
    Write(folder + "/t.Y01", data + xSize, size - xSize);
    try {
        std::vector<tarnel::FieldDef> fields;
        try {
            fields = tarnel::paradox::ParadoxTable(x, true, true).fields();
        } catch (const tarnel::EngineError&) {
        }
        const auto index = tarnel::paradox::ReadSecondaryIndex(x, fields);
        (void)tarnel::paradox::ReadSecondaryEntries(index);
    } catch (const tarnel::EngineError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    static std::string folder = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "index-fuzz-XXXXXX").string();
        return std::string(mkdtemp(tmpl.data()));
    }();
    if (size < 3) return 0;
    std::string kind(reinterpret_cast<const char*>(data), 3);
    if (kind == "x01") {
        Secondary(folder, data + 3, size - 3);
        return 0;
    }
    if (kind != "cdx" && kind != "idx" && kind != "ndx" && kind != "mdx") return 0;
    std::string path = folder + "/f." + kind;
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data + 3, 1, size - 3, f);
        std::fclose(f);
    }
    try {
        auto index = tarnel::IndexFile::open(path);
        for (size_t k = 0; k < index->tags().size(); ++k) {
            const auto keys = index->keys(k);
            const std::string low = keys.empty() ? std::string() : keys[keys.size() / 2].key;
            index->seek(k, low, [](const tarnel::IndexKey&) { return true; });
        }
    } catch (const tarnel::EngineError&) {
    }
    return 0;
}
