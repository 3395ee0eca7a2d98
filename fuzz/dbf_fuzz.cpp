// Feeds arbitrary bytes to the dBASE/FoxPro reader: the table file, and after
// a "\n--MEMO--\n" line its memo file. Everything must end in a clean
// EngineError or in values; a crash, a hang or a sanitizer report is a bug.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "engine/error.h"
#include "engine/table.h"

namespace {
std::string Folder()
{
    static std::string folder = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "dbf-fuzz-XXXXXX").string();
        return std::string(mkdtemp(tmpl.data()));
    }();
    return folder;
}

void Write(const std::string& path, const char* data, size_t n)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(data, 1, n, f);
    std::fclose(f);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    auto split = input.find("\n--MEMO--\n");
    std::string table = input.substr(0, split);
    std::string folder = Folder();
    Write(folder + "/f.dbf", table.data(), table.size());
    std::string memo = split == std::string::npos ? std::string() : input.substr(split + 10);
    for (const char* ext : {"/f.dbt", "/f.fpt"}) {
        if (split == std::string::npos) std::remove((folder + ext).c_str());
        else Write(folder + ext, memo.data(), memo.size());
    }
    try {
        tarnel::Table t;
        t.setDatabaseName(folder);
        t.setTableName("f.dbf");
        t.setReadOnly(true);
        t.open();
        int rows = 0;
        for (t.first(); !t.eof() && rows < 2000; t.next(), ++rows)
            for (int f = 0; f < t.fieldCount(); ++f) {
                t.asText(f);
                t.isNull(f);
            }
        t.recordCount();
    } catch (const tarnel::EngineError&) {
    }
    return 0;
}
