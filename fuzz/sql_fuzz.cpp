// Feeds arbitrary text to the local-SQL dialect translation and then to the
// SQL engine over a small table: the statement a user types must end in a
// clean EngineError or a result, never in a crash or a sanitizer report.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/error.h"
#include "engine/sql/dialect.h"
#include "engine/sql/query.h"
#include "engine/table.h"

namespace {
std::string Folder()
{
    static std::string folder = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "sql-fuzz-XXXXXX").string();
        std::string path = mkdtemp(tmpl.data());
        tarnel::Table t;
        t.setDatabaseName(path);
        t.setTableName("t.dbf");
        t.addFieldDef("STATION", tarnel::ftString, 8);
        t.addFieldDef("DEPTH", tarnel::ftFloat, 8, false, 2);
        t.addFieldDef("NOTE", tarnel::ftMemo, 0);
        t.createTable();
        t.open();
        for (int k = 0; k < 3; ++k) {
            t.append();
            t.setText(0, "A" + std::to_string(k));
            t.setText(1, std::to_string(k * 10));
            t.setText(2, "note");
            t.post();
        }
        return path;
    }();
    return folder;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    std::string sql(reinterpret_cast<const char*>(data), size);
    tarnel::sql::TranslateDialect(sql);
    // Run it only when it reads the one small table: no joins to blow up.
    if (sql.size() > 300 || sql.find(',') != std::string::npos) return 0;
    try {
        auto result = tarnel::QueryResult::Run(Folder(), sql);
        int rows = 0;
        for (result->first(); !result->eof() && rows < 100; result->next(), ++rows)
            for (int f = 0; f < result->fieldCount(); ++f) result->asText(f);
    } catch (const tarnel::EngineError&) {
    }
    return 0;
}
