// Feeds arbitrary bytes to the index file readers. The first three bytes
// choose the kind (cdx, idx, ndx, mdx); the rest is the file. Everything must
// end in a clean EngineError or in keys, walked whole and from a key on.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "engine/dbf/index/index_file.h"
#include "engine/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    static std::string folder = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "index-fuzz-XXXXXX").string();
        return std::string(mkdtemp(tmpl.data()));
    }();
    if (size < 3) return 0;
    std::string kind(reinterpret_cast<const char*>(data), 3);
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
