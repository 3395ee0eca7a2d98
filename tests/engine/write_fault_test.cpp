// Every write of an operation is made to fail in turn (a full disk, an I/O
// error): afterwards the table reads either as before the operation or as
// after it, and the error names the file.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/batch_move.h"
#include "engine/error.h"
#include "engine/fileio/file.h"
#include "engine/fileio/fault.h"
#include "engine/format_registry.h"
#include "engine/table.h"
#include "tests/engine/format_test_util.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using namespace tarnel::test;

namespace {

struct FormatSetup {
    TableType type;
    const char* file;
    bool blobs;   // the format keeps memo and binary fields
};

const FormatSetup kSetups[] = {
    {TableType::Paradox, "cave.db", true},
    {TableType::dBASE, "cave.dbf", true},
    {TableType::FoxPro, "cave.dbf", true},
    {TableType::ASCII, "cave.txt", false},
};

std::unique_ptr<Table> OpenCave(const std::string& folder, const FormatSetup& s, bool readOnly)
{
    auto t = std::make_unique<Table>();
    t->setDatabaseName(folder);
    t->setTableName(s.file);
    t->setTableType(s.type);
    t->setReadOnly(readOnly);
    t->open();
    return t;
}

void AddRow(Table& t, const FormatSetup& s, int n)
{
    t.append();
    t.setText(0, "st" + std::to_string(n));
    t.setValue(1, Value::integer(n));
    if (s.blobs) {
        t.setText(2, std::string(static_cast<size_t>(300 + n), static_cast<char>('a' + n % 26)));
        t.setValue(3, Value::bytes(std::string(static_cast<size_t>(100 * n + 5), static_cast<char>(n))));
    }
    t.post();
}

void MakeCave(const std::string& folder, const FormatSetup& s, int rows, const std::string& name = {})
{
    Table t;
    t.setDatabaseName(folder);
    t.setTableName(name.empty() ? s.file : name);
    t.setTableType(s.type);
    t.addFieldDef("STATION", ftString, 12);
    t.addFieldDef("N", ftInteger, 0);
    if (s.blobs) {
        t.addFieldDef("NOTE", ftMemo, 0);
        t.addFieldDef("PIC", ftBlob, 0);
    }
    t.createTable();
    t.open();
    if (!name.empty()) {
        // Many rows without blobs, for moves that take several blocks.
        t.beginAppends();
        for (int n = 1; n <= rows; ++n) {
            t.append();
            t.setText(0, "many" + std::to_string(n));
            t.setValue(1, Value::integer(n));
            t.post();
        }
        t.endAppends();
        return;
    }
    for (int n = 1; n <= rows; ++n) AddRow(t, s, n);
}

std::string ManyFile(const FormatSetup& s) { return std::string("cavemany") + std::strchr(s.file, '.'); }

// Every row, every field, as read back.
std::vector<std::string> Snapshot(const std::string& folder, const FormatSetup& s)
{
    auto t = OpenCave(folder, s, true);
    std::vector<std::string> rows;
    for (t->first(); !t->eof(); t->next()) {
        std::string row;
        for (int k = 0; k < t->fieldCount(); ++k) {
            Value v = t->value(k);
            row += (v.kind == Value::Kind::Bytes || v.kind == Value::Kind::Text) ? v.s : t->asText(k);
            row += '|';
        }
        rows.push_back(row);
    }
    return rows;
}

using Operation = std::function<void(const std::string& folder, const FormatSetup& s)>;

struct Case {
    const char* name;
    Operation run;
    bool partialAllowed;   // rows done before the error stay done (batch moves)
    TableType only = TableType::Default;   // the one format to try it on (Default: all)
};

const Case kCases[] = {
    {"post", [](const std::string& f, const FormatSetup& s) {
         auto t = OpenCave(f, s, false);
         t->moveTo(1);
         t->edit();
         t->setText(0, "changed");
         if (s.blobs) t->setText(2, std::string(700, 'z'));
         t->post();
     }, false},
    {"append", [](const std::string& f, const FormatSetup& s) { AddRow(*OpenCave(f, s, false), s, 9); }, false},
    {"delete", [](const std::string& f, const FormatSetup& s) {
         auto t = OpenCave(f, s, false);
         t->moveTo(0);
         t->deleteRecord();
     }, false},
    {"create", [](const std::string& f, const FormatSetup& s) {
         Table t;
         t.setDatabaseName(f);
         t.setTableName(s.file);
         t.setTableType(s.type);
         t.addFieldDef("OTHER", ftString, 5);
         t.createTable();
     }, false},
    {"batch move", [](const std::string& f, const FormatSetup& s) {
         auto source = OpenCave(f + "/src", s, true);
         Table dest;
         dest.setDatabaseName(f);
         dest.setTableName(s.file);
         dest.setTableType(s.type);
         BatchMove(dest, *source, BatchMode::Append);
     }, true},
    {"batch move of many rows (three blocks)", [](const std::string& f, const FormatSetup& s) {
         Table source;
         source.setDatabaseName(f + "/src");
         source.setTableName(ManyFile(s));
         source.setTableType(s.type);
         source.setReadOnly(true);
         source.open();
         Table dest;
         dest.setDatabaseName(f);
         dest.setTableName(s.file);
         dest.setTableType(s.type);
         BatchMove(dest, source, BatchMode::Append);
     }, true, TableType::Paradox},   // records gathered and written a run of blocks at a time
};

bool IsPrefixGrowth(const std::vector<std::string>& before, const std::vector<std::string>& after,
                    const std::vector<std::string>& got)
{
    if (got.size() < before.size() || got.size() > after.size()) return false;
    for (size_t k = 0; k < got.size(); ++k)
        if (got[k] != after[k]) return false;
    return true;
}

void Prepare(const ScratchDir& dir, const FormatSetup& s)
{
    for (const auto& name : FolderEntries(dir.path())) {
        std::string p = dir.file(name);
        if (name == "src") {
            for (const auto& inner : FolderEntries(p)) std::remove((p + "/" + inner).c_str());
            ::rmdir(p.c_str());
        } else {
            std::remove(p.c_str());
        }
    }
    MakeCave(dir.path(), s, 3);
    ::mkdir(dir.file("src").c_str(), 0700);
    MakeCave(dir.file("src"), s, 3);
    if (s.type == TableType::Paradox) MakeCave(dir.file("src"), s, 250, ManyFile(s));
}

} // namespace

TEST(WriteFaults, EveryFailedWriteLeavesTheTableAsBeforeOrAsAfter)
{
    for (const FormatSetup& s : kSetups) {
        for (const Case& c : kCases) {
            if (c.only != TableType::Default && c.only != s.type) continue;
            SCOPED_TRACE(std::string(TableTypeName(s.type)) + " " + c.name);
            ScratchDir dir;
            Prepare(dir, s);
            const auto before = Snapshot(dir.path(), s);
            fileio::ArmFault(fileio::kAllFileOps, 0);
            c.run(dir.path(), s);
            const std::int64_t ops = fileio::FaultOpsSeen();
            fileio::DisarmFault();
            const auto after = Snapshot(dir.path(), s);
            ASSERT_NE(before, after);
            ASSERT_GT(ops, 0);
            for (std::int64_t n = 1; n <= ops; ++n) {
                Prepare(dir, s);
                fileio::ArmFault(fileio::kAllFileOps, n, n % 2 ? fileio::FaultKind::DiskFull : fileio::FaultKind::IoError);
                std::string error;
                try {
                    c.run(dir.path(), s);
                } catch (const EngineError& e) {
                    error = e.what();
                }
                bool fired = fileio::FaultFired();
                fileio::DisarmFault();
                if (!fired) continue;   // this run took another path
                EXPECT_FALSE(error.empty()) << "operation " << n << " of " << ops << " failed silently";
                EXPECT_NE(error.find("cave"), std::string::npos) << error;
                std::vector<std::string> got;
                try {
                    got = Snapshot(dir.path(), s);
                } catch (const EngineError& e) {
                    ADD_FAILURE() << "operation " << n << " of " << ops << " (" << error << ") left the table damaged: " << e.what();
                    continue;
                }
                bool ok = got == before || got == after || (c.partialAllowed && IsPrefixGrowth(before, after, got));
                EXPECT_TRUE(ok) << "operation " << n << " of " << ops << " (" << error << "): " << got.size() << " rows";
                int leftovers = 0;
                for (const auto& name : FolderEntries(dir.path())) leftovers += name.rfind(".tarnel-", 0) == 0;
                EXPECT_EQ(leftovers, 0) << error;
            }
        }
    }
}
