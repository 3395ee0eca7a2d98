#pragma once
// Writes fuzz input to files in a private folder, and does with the table
// what a table window does: read every value, then change it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "engine/error.h"
#include "engine/table_format.h"

namespace tarnel::fuzz {

inline const std::string& Folder()
{
    static std::string folder = [] {
        std::string tmpl = "/tmp/tarnel-fuzz-XXXXXX";
        return std::string(mkdtemp(tmpl.data()));
    }();
    return folder;
}

inline void Write(const std::string& path, const std::uint8_t* data, size_t n)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (n) std::fwrite(data, 1, n, f);
    std::fclose(f);
}

inline void Exercise(const std::string& path, TableType type)
{
    try {
        auto t = OpenTableFormat(path, type, true);
        std::int64_t n = t->physicalCount();
        int fields = static_cast<int>(t->fields().size());
        for (std::int64_t r = 0; r < n && r < 2000; ++r)
            for (int f = 0; f < fields; ++f) {
                try {
                    t->isNull(r, f);
                    t->value(r, f);
                } catch (const EngineError&) {
                }
            }
    } catch (const EngineError&) {
        return;
    }
    try {
        auto t = OpenTableFormat(path, type, false);
        std::vector<Value> values(t->fields().size());
        std::vector<bool> all(values.size(), true);
        if (t->physicalCount() > 0) {
            values[0] = t->value(0, 0);
            t->updateRecord(0, values, all);
            t->deleteRecord(0);
        }
        t->appendRecord(values);
        for (std::int64_t r = 0; r < t->physicalCount() && r < 50; ++r)
            for (int f = 0; f < static_cast<int>(values.size()); ++f) t->value(r, f);
    } catch (const EngineError&) {
    }
}

} // namespace tarnel::fuzz
