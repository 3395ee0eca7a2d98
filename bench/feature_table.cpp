#include "bench/feature_table.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "engine/daynum.h"
#include "engine/table.h"

namespace tarnel::bench {

std::string EnsureFeatureTable(const std::string& folder, std::int64_t rows)
{
    std::filesystem::create_directories(folder);
    std::string name = "features" + std::to_string(rows) + ".dbf";
    std::string path = folder + "/" + name;
    if (std::filesystem::exists(path)) return path;
    std::fprintf(stderr, "writing %s (%lld rows)...\n", path.c_str(), static_cast<long long>(rows));
    Table t;
    t.setDatabaseName(folder);
    t.setTableName(name);
    t.addFieldDef("STATION", ftString, 12);
    t.addFieldDef("SUFFIX", ftString, 4);
    t.addFieldDef("DEPTH", ftFloat, 10, false, 2);
    t.addFieldDef("NOTE", ftString, 40);
    t.addFieldDef("SURVEYED", ftDate, 0);
    t.addFieldDef("FLAG", ftBoolean, 0);
    t.createTable();
    t.open();
    static const char* notes[] = {"Pool, clear water", "Helictites on the east wall", "Bone fragments",
                                  "Photo point", "Calcite rafts", ""};
    std::int64_t base = DayNumber(1995, 1, 1);
    for (std::int64_t k = 0; k < rows; ++k) {
        t.append();
        t.setValue(0, Value::text("A" + std::to_string(k / 10)));
        t.setValue(1, Value::text(std::to_string(k % 10)));
        t.setValue(2, Value::real(static_cast<double>((k * 7919) % 50000) / 100.0));
        t.setValue(3, Value::text(notes[k % 6]));
        t.setValue(4, Value::integer(base + k % 9000));
        t.setValue(5, Value::integer(k % 3 == 0));
        t.post();
    }
    // Every 1000th row deleted: walk from the end so row numbers stay put.
    for (std::int64_t k = (rows - 1) / 1000 * 1000; k >= 0; k -= 1000) {
        t.moveTo(k);
        t.deleteRecord();
    }
    return path;
}

std::string EnsureSurveyTable(const std::string& folder, std::int64_t rows)
{
    std::filesystem::create_directories(folder);
    std::string name = "survey" + std::to_string(rows) + ".dbf";
    std::string path = folder + "/" + name;
    if (std::filesystem::exists(path)) return path;
    std::fprintf(stderr, "writing %s (%lld rows)...\n", path.c_str(), static_cast<long long>(rows));
    Table t;
    t.setDatabaseName(folder);
    t.setTableName(name + ".part");
    t.setTableType(TableType::dBASE);
    t.addFieldDef("STATION", ftString, 12);
    t.addFieldDef("SUFFIX", ftString, 4);
    t.addFieldDef("DEPTH", ftFloat, 10, false, 2);
    t.addFieldDef("NOTE", ftString, 40);
    t.addFieldDef("SURVEYED", ftDate, 0);
    t.addFieldDef("FLAG", ftBoolean, 0);
    t.addFieldDef("PASSAGE", ftString, 16);
    t.createTable();
    t.open();
    static const char* notes[] = {"Pool, clear water", "Helictites on the east wall", "Bone fragments",
                                  "Photo point", "Calcite rafts", ""};
    static const char* passages[] = {"Main Drain", "main drain", "Boulder Choke", "THE CANYON", "Upper Series"};
    std::int64_t base = DayNumber(1995, 1, 1);
    for (std::int64_t k = 0; k < rows; ++k) {
        t.append();
        t.setValue(0, Value::text("A" + std::to_string(k / 10)));
        t.setValue(1, Value::text(std::to_string(k % 10)));
        t.setValue(2, Value::real(static_cast<double>((k * 7919) % 50000) / 100.0));
        t.setValue(3, Value::text(notes[k % 6]));
        t.setValue(4, Value::integer(base + k % 9000));
        t.setValue(5, Value::integer(k % 3 == 0));
        t.setValue(6, Value::text(passages[k % 5]));
        t.post();
    }
    for (std::int64_t k = (rows - 1) / 997 * 997; k >= 0; k -= 997) {
        t.moveTo(k);
        t.deleteRecord();
    }
    t.close();
    std::filesystem::rename(path + ".part", path);
    return path;
}

double TimeCommand(const std::string& command)
{
    auto start = std::chrono::steady_clock::now();
    int rc = std::system(command.c_str());
    double seconds = Since(start);
    return rc == 0 ? seconds : -1.0;
}

} // namespace tarnel::bench
