// Index files kept up to date by our writes. After every change each tag must
// hold exactly the keys of the table's records, in key order, as read by our
// reader and (when perl with XBase::Index is installed) by an independent
// one; the compact trees must be well formed; and a write that fails at any
// file operation must leave table and indexes agreeing.
#include <algorithm>
#include <map>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/bytes.h"
#include "engine/dbf/dbf_table.h"
#include "engine/dbf/index/index_file.h"
#include "engine/dbf/index/index_keeper.h"
#include "engine/dbf/index/index_key.h"
#include "engine/dbf/index/index_writer.h"
#include "engine/error.h"
#include "engine/fileio/fault.h"
#include "engine/table.h"
#include "tests/engine/format_test_util.h"
#include "tests/support/fault_walk.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using namespace tarnel::test;

namespace {

bool HavePerlXBase()
{
    static const bool have = std::system("perl -MXBase::Index -e1 >/dev/null 2>&1") == 0;
    return have;
}

// Record numbers of a tag in the order XBase::Index walks them; anything else
// the script prints (keys out of order, a key a seek does not find) goes to complaints.
std::vector<std::uint32_t> WalkWithPerl(const std::string& file, const std::string& tag, bool numeric, std::string& complaints)
{
    std::string command = "perl '" + TestData("index_walk.pl") + "' '" + file + "' '" + tag + "' " +
                          (numeric ? "num" : "char") + " 2>&1";
    std::vector<std::uint32_t> records;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        complaints = "cannot run perl";
        return records;
    }
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        if (std::strncmp(line, "RECORD ", 7) == 0) records.push_back(static_cast<std::uint32_t>(std::atol(line + 7)));
        else complaints += line;
    }
    if (::pclose(pipe) != 0 && complaints.empty()) complaints = "the script failed";
    return records;
}

// A compact tag's tree, walked from the root: each interior key is the last
// key under its child, each leaf's free room is what its keys leave, the
// leaves sit at one depth and their chain runs left to right. Returns the
// number of nodes, and the last key under node through last.
struct TreeWalk {
    const std::string& b;
    int keyLength;
    char pad;
    int leafDepth = -1;
    std::uint32_t previousLeaf = 0xFFFFFFFFu;
    int nodes = 0;

    std::string visit(std::uint32_t node, int depth)
    {
        ++nodes;
        const auto* p = reinterpret_cast<const unsigned char*>(b.data()) + node;
        const unsigned count = GetLe16(p + 2);
        if (GetLe16(p) & 2) {
            if (leafDepth < 0) leafDepth = depth;
            EXPECT_EQ(depth, leafDepth) << "leaf " << node;
            EXPECT_EQ(GetLe32(p + 4), previousLeaf) << "leaf " << node;
            previousLeaf = node;
            const unsigned width = p[23], recordBits = p[20], dupBits = p[21];
            size_t back = 512;
            std::string key, last;
            for (unsigned k = 0; k < count; ++k) {
                std::uint64_t e = 0;
                for (unsigned i = 0; i < width; ++i) e |= std::uint64_t(p[24 + k * width + i]) << (8 * i);
                unsigned dup = unsigned(e >> recordBits) & ((1u << dupBits) - 1);
                unsigned trail = unsigned(e >> (recordBits + dupBits)) & ((1u << p[22]) - 1);
                size_t fresh = size_t(keyLength) - dup - trail;
                back -= fresh;
                key = key.substr(0, dup) + b.substr(node + back, fresh) + std::string(trail, pad);
                std::uint32_t record = static_cast<std::uint32_t>(e & GetLe32(p + 14));
                last = key;
                last.append(reinterpret_cast<const char*>(&record), 4);
            }
            EXPECT_EQ(GetLe16(p + 12), back - 24 - count * width) << "free room of leaf " << node;
            return last;
        }
        EXPECT_GT(count, 0u) << "interior node " << node;
        std::string last;
        for (unsigned k = 0; k < count; ++k) {
            const unsigned char* e = p + 12 + k * (keyLength + 8);
            std::string below = visit(GetBe32(e + keyLength + 4), depth + 1);
            std::uint32_t record = GetBe32(e + keyLength);
            last = std::string(reinterpret_cast<const char*>(e), size_t(keyLength));
            last.append(reinterpret_cast<const char*>(&record), 4);
            EXPECT_EQ(below, last) << "interior key " << k << " of node " << node;
        }
        return last;
    }
};

// An uncompressed .idx: every node reached once, kinds and siblings right,
// each interior key the last key under its child.
struct PlainWalk {
    const std::string& b;
    unsigned keyLength;
    int nodes = 0, leafDepth = -1;
    std::map<int, std::uint32_t> lastAt;   // the last node seen on each level

    std::string visit(std::uint32_t node, int depth, bool root)
    {
        ++nodes;
        const auto* p = reinterpret_cast<const unsigned char*>(b.data()) + node;
        const unsigned kind = GetLe16(p), count = GetLe16(p + 2), entry = keyLength + 4;
        EXPECT_EQ(kind & 1, root ? 1u : 0u) << "node " << node;
        EXPECT_LE(count * entry, 500u) << "node " << node;
        auto left = lastAt.find(depth);
        EXPECT_EQ(GetLe32(p + 4), left == lastAt.end() ? 0xFFFFFFFFu : left->second) << "node " << node;
        if (left != lastAt.end())
            EXPECT_EQ(GetLe32(b.data() + left->second + 8), node) << "right sibling of " << left->second;
        lastAt[depth] = node;
        std::string last;
        for (unsigned k = 0; k < count; ++k) {
            const unsigned char* e = p + 12 + k * entry;
            std::string key(reinterpret_cast<const char*>(e), keyLength);
            if (kind & 2) {
                last = key;
                continue;
            }
            EXPECT_EQ(visit(GetBe32(e + keyLength), depth + 1, false), key) << "interior key " << k << " of " << node;
            last = key;
        }
        if (kind & 2) {
            if (leafDepth < 0) leafDepth = depth;
            EXPECT_EQ(depth, leafDepth) << "leaf " << node;
        }
        return last;
    }
};

// Every tag beside the table against the table's records; depth gets the
// levels of the deepest compact tree.
void CheckIndexes(const std::string& dbfPath, bool independent = true, int* depth = nullptr)
{
    DbfTable table(dbfPath, TableType::Default, true);
    auto record = [&](std::int64_t r) { return table.rawRecord(r); };
    for (const std::string& path : table.indexFiles()) {
        const bool ndx = path.substr(path.size() - 4) == ".ndx";
        auto index = IndexFile::open(path);
        const bool plain = path.substr(path.size() - 4) == ".idx" && !IsCompactIdx(index->bytes());
        int nodes = 0;
        for (size_t tag = 0; tag < index->tags().size(); ++tag) {
            const IndexTag& t = index->tags()[tag];
            SCOPED_TRACE(path + " " + t.name + " " + t.expression);
            auto key = KeyExpression::compile(t.expression, table.header(), ndx ? KeyStyle::Ndx : KeyStyle::FoxPro);
            ASSERT_TRUE(key.has_value());
            if (!ndx) index->setKeyType(tag, key->type());
            const bool number = ndx && key->type() == 'B';
            std::vector<IndexKey> expected;
            for (std::int64_t r = 0; r < table.physicalCount(); ++r)
                if (!FilterExcludes(t.filter, record(r)[0] == '*').value())
                    expected.push_back({key->evaluate(record(r)), static_cast<std::uint32_t>(r + 1)});
            std::stable_sort(expected.begin(), expected.end(),
                             [&](const IndexKey& a, const IndexKey& b) { return KeyLess(a.key, b.key, number); });
            if (t.unique || t.candidate)
                expected.erase(std::unique(expected.begin(), expected.end(),
                                           [](const IndexKey& a, const IndexKey& b) { return a.key == b.key; }),
                               expected.end());
            if (t.descending) std::reverse(expected.begin(), expected.end());
            auto found = index->keys(tag);
            ASSERT_EQ(found.size(), expected.size());
            for (size_t k = 0; k < found.size(); ++k) {
                ASSERT_EQ(found[k].key, expected[k].key) << "key " << k;
                ASSERT_EQ(found[k].record, expected[k].record) << "key " << k;
            }
            if (plain) {
                const std::string& b = index->bytes();
                PlainWalk walk{b, unsigned(t.keyLength)};
                walk.visit(GetLe32(b.data()), 0, true);
                for (const auto& [depth, node] : walk.lastAt)
                    EXPECT_EQ(GetLe32(b.data() + node + 8), 0xFFFFFFFFu) << "the last node of level " << depth;
                EXPECT_EQ(size_t(walk.nodes + 1) * 512, b.size()) << "every node is reached";
                EXPECT_EQ(GetLe32(b.data() + 8), b.size());
            } else if (!ndx) {
                const std::string& b = index->bytes();
                TreeWalk walk{b, t.keyLength, key->type() == 'C' ? ' ' : '\0'};
                walk.visit(GetLe32(b.data() + index->tagHeader(tag)), 0);
                if (depth) *depth = std::max(*depth, walk.leafDepth + 1);
                EXPECT_EQ(GetLe32(b.data() + index->tagHeader(tag) + 4), 0u) << "a free list where none is";
                nodes += walk.nodes + 2;
            }
            // XBase::Index reads .cdx and .ndx files, their ascending tags; the
            // .idx and descending tags have only the checks above.
            if (independent && !t.descending && HavePerlXBase() && path.substr(path.size() - 4) != ".idx") {
                std::string complaints;
                auto walked = WalkWithPerl(path, ndx ? "-" : t.name, number, complaints);
                EXPECT_EQ(complaints, "");
                std::vector<std::uint32_t> records;
                for (const IndexKey& k : expected) records.push_back(k.record);
                ASSERT_EQ(walked.size(), records.size());
                auto differ = std::mismatch(walked.begin(), walked.end(), records.begin());
                EXPECT_TRUE(differ.first == walked.end())
                    << "entry " << (differ.first - walked.begin()) << ": record " << *differ.first << " instead of " << *differ.second;
            }
        }
        if (!ndx && path.substr(path.size() - 4) == ".cdx") {
            // Nothing in the file is unreachable: headers, tag trees and the directory.
            TreeWalk directory{index->bytes(), 10, ' '};
            directory.visit(GetLe32(index->bytes().data()), 0);
            EXPECT_EQ(static_cast<size_t>(nodes + 2 + directory.nodes) * 512, index->bytes().size());
        }
    }
}

// The file's inode: a file replaced by a new one has another.
std::uint64_t FileId(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_ino;
}

struct TagPlan { const char* name; const char* expression; const char* filter; int keyLength; std::uint8_t extra; };

// Index files with empty trees, then filled from the table's records.
void AddIndexes(const std::string& dbfPath, const std::string& stem, const std::vector<TagPlan>& cdx,
                const TagPlan* idx, const TagPlan* ndx)
{
    if (!cdx.empty()) {
        std::vector<std::string> names, headers;
        for (const TagPlan& t : cdx) {
            names.push_back(t.name);
            headers.push_back(CompactTagHeader(t.expression, t.filter, t.keyLength, true, t.extra & 0x04));
            headers.back()[14] = static_cast<char>(headers.back()[14] | (t.extra & 0x01));   // unique
            if (t.extra & 0x80) headers.back()[502] = 1;   // descending
        }
        std::vector<std::vector<IndexKey>> keys(cdx.size());
        std::vector<char> pads(cdx.size(), ' ');
        WriteFile(stem + ".cdx", BuildCompactIndex(CompoundDirectoryHeader(), names, headers, keys, pads));
    }
    if (idx)
        WriteFile(stem + ".idx", BuildCompactIndex("", {idx->name}, {CompactTagHeader(idx->expression, idx->filter, idx->keyLength, false)},
                                                   {{}}, {' '}));
    if (ndx) WriteFile(stem + ".ndx", BuildNdxIndex(NdxHeader(ndx->expression, ndx->keyLength, ndx->keyLength == 8 && ndx->extra, false), {}));
    DbfTable table(dbfPath, TableType::Default, true);
    IndexKeeper keeper(table.indexFiles(), table.header());
    ASSERT_EQ(keeper.blocked(), "");
    keeper.rebuild([&](std::int64_t r) { return table.rawRecord(r); }, table.physicalCount());
}

std::unique_ptr<Table> Open(const std::string& path, bool readOnly = false)
{
    auto t = std::make_unique<Table>();
    t->setTableName(path);
    t->setReadOnly(readOnly);
    t->open();
    return t;
}

// A cave table of stations, depths and numbers, rows of them.
void MakeCave(const std::string& path, TableType type, int rows)
{
    Table t;
    t.setTableName(path);
    t.setTableType(type);
    t.addFieldDef("STATION", ftString, 10);
    t.addFieldDef("DEPTH", ftFloat, 8, 2);
    t.addFieldDef("N", ftInteger, 0);
    t.createTable();
    t.open();
    t.beginAppends();
    for (int n = 1; n <= rows; ++n) {
        t.append();
        t.setText(0, (n % 3 ? "st" : "ST") + std::to_string((n * 7919) % 1000));
        t.setValue(1, Value::real((n * 37 % 200) / 4.0 - 20));
        t.setValue(2, Value::integer(n));
        t.post();
    }
    t.endAppends();
}

const TagPlan kCaveCdx[] = {{"STATION", "UPPER(STATION)", "!DELETED()", 10, 0},
                            {"N", "N", "", 4, 0x04},
                            {"FIRST", "STATION", "", 10, 0x01},
                            {"DEEP", "DEPTH", "", 8, 0x80}};
const TagPlan kCaveIdx = {"DEPTH", "STR(DEPTH,8,2)+STATION", "", 18, 0};
const TagPlan kCaveNdx = {"CAVE", "DEPTH", "", 8, 1};

// laidOutAnew: with a descending tag and an uncompressed .idx, which every
// write lays out anew; without them every tree is changed in place.
void MakeIndexedCave(const std::string& folder, int rows, bool laidOutAnew = true)
{
    MakeCave(folder + "/fox.dbf", TableType::FoxPro, rows);
    std::vector<TagPlan> cdx(std::begin(kCaveCdx), std::end(kCaveCdx));
    if (!laidOutAnew) cdx.pop_back();
    AddIndexes(folder + "/fox.dbf", folder + "/fox", cdx, &kCaveIdx, nullptr);
    MakeCave(folder + "/db3.dbf", TableType::dBASE, rows);
    // Beside the .ndx, an uncompressed .idx.
    if (laidOutAnew)
        WriteFile(folder + "/db3.idx", BuildPlainIdx(PlainIdxHeader("STATION+STR(N,5)", "", 15, false), {}));
    AddIndexes(folder + "/db3.dbf", folder + "/db3", {}, nullptr, &kCaveNdx);
}

} // namespace

TEST(DbfIndexWrite, PostsInsertsAndDeletesKeepEveryTagTrue)
{
    ScratchDir dir;
    for (const char* name : {"calls.dbf", "calls.CDX", "calls.FPT", "setup.dbf", "setup.CDX", "types.dbf", "types.CDX"})
        CopyFile(Fixture(std::string("dbf/foxprodb/") + name), dir.file(name));
    MakeIndexedCave(dir.path(), 3000);   // trees of three levels
    for (const char* name : {"calls.dbf", "setup.dbf", "types.dbf", "fox.dbf", "db3.dbf"}) {
        SCOPED_TRACE(name);
        const std::string path = dir.file(name);
        CheckIndexes(path);
        auto t = Open(path);
        ASSERT_EQ(t->format()->writeBlocked(), "");
        const int rows = static_cast<int>(t->recordCount());
        // A changed key, then keys that sort first and last, then deletions.
        t->moveTo(rows / 2);
        t->edit();
        t->setText(0, t->fields()[0].type == ftString ? "0000" : "0");
        t->post();
        t->append();
        t->setText(0, t->fields()[0].type == ftString ? "zzzz" : "99999");
        t->post();
        t->first();
        t->deleteRecord();
        t->moveTo(t->recordCount() - 1);
        t->deleteRecord();
        t.reset();
        CheckIndexes(path);
    }

    // A candidate tag refuses a repeated key, and the table stays as it was.
    const std::string before = ReadFile(dir.file("fox.dbf"));
    auto fox = Open(dir.file("fox.dbf"));
    fox->moveTo(5);
    fox->edit();
    fox->setValue(2, Value::integer(1000));
    EXPECT_THROW(fox->post(), EngineError);
    fox->cancel();
    fox.reset();
    EXPECT_EQ(ReadFile(dir.file("fox.dbf")).substr(32), before.substr(32));
    CheckIndexes(dir.file("fox.dbf"));
}

// Many random changes on trees three levels deep: leaves and interior nodes
// split (the right edge among them, up to new roots), separators follow
// changed last keys, and each change is made in the file itself, not by
// writing it anew.
TEST(DbfIndexWrite, RandomChangesSplitTreesInPlace)
{
    ScratchDir dir;
    MakeIndexedCave(dir.path(), 40, false);   // every tree a single leaf
    for (const char* name : {"fox", "db3"}) {
        SCOPED_TRACE(name);
        const std::string path = dir.file(std::string(name) + ".dbf");
        const auto files = DbfTable(path, TableType::Default, true).indexFiles();
        std::vector<std::uint64_t> ids;
        for (const std::string& f : files) ids.push_back(FileId(f));
        auto t = Open(path);
        std::uint32_t seed = 7;
        auto next = [&](std::uint32_t n) {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 8) % n;
        };
        for (int op = 0; op < 3000; ++op) {
            const int kind = std::max(0, static_cast<int>(next(7)) - 3);   // appends four times as often
            // Keys bunched at both ends and in the middle fill the same leaves over and over.
            const std::string station = op % 3 == 0 ? "a" + std::to_string(op) : op % 3 == 1 ? "zz" + std::to_string(op)
                                                                                          : "st5" + std::to_string(op);
            if (kind == 0) {
                t->append();
            } else {
                t->moveTo(static_cast<std::int64_t>(next(static_cast<std::uint32_t>(t->recordCount()))));
                if (kind == 3) {
                    t->deleteRecord();
                    continue;
                }
                t->edit();
            }
            t->setText(0, station);
            t->setValue(1, Value::real(op % 2 ? (op % 300) / 10.0 - 10 : -20.0));
            t->setValue(2, Value::integer(10000 + op));
            t->post();
            if (op % 1000 == 999) CheckIndexes(path, false);
        }
        t.reset();
        int depth = 0;
        CheckIndexes(path, true, &depth);
        if (std::string(name) == "fox") {
            EXPECT_EQ(depth, 3);
        }
        for (size_t k = 0; k < files.size(); ++k) EXPECT_EQ(FileId(files[k]), ids[k]) << files[k] << " was written anew";
    }
}

TEST(DbfIndexWrite, ExpressionsWeCannotEvaluateKeepTheTableReadOnly)
{
    ScratchDir dir;
    MakeCave(dir.file("cave.dbf"), TableType::FoxPro, 3);
    const TagPlan substr = {"PART", "SUBSTR(STATION,1,2)", "", 2, 0};
    std::vector<std::string> names{"PART"}, headers{CompactTagHeader(substr.expression, "", 2, true)};
    WriteFile(dir.file("cave.cdx"), BuildCompactIndex(CompoundDirectoryHeader(), names, headers, {{}}, {' '}));
    auto t = Open(dir.file("cave.dbf"));
    EXPECT_EQ(t->format()->writeBlocked(),
              "cave.dbf: tag PART of cave.cdx (SUBSTR(STATION,1,2)) cannot be kept up to date; the table is open read-only");
    EXPECT_THROW(t->edit(), EngineError);
    t->first();
    EXPECT_EQ(t->asText(0), "st919");

    // So does a filter beyond DELETED().
    headers = {CompactTagHeader("STATION", "DEPTH > 3", 10, true)};
    WriteFile(dir.file("cave.cdx"), BuildCompactIndex(CompoundDirectoryHeader(), {"ST"}, headers, {{}}, {' '}));
    EXPECT_NE(Open(dir.file("cave.dbf"))->format()->writeBlocked().find("tag ST of cave.cdx (STATION FOR DEPTH > 3)"),
              std::string::npos);
}

TEST(DbfIndexWrite, AFailedWriteLeavesTableAndIndexesAgreeing)
{
    struct Case {
        const char* name;
        std::function<void(Table&)> run;
        bool big = false;   // on trees of three levels, where nodes split
    };
    const Case cases[] = {
        {"post", [](Table& t) { t.moveTo(1); t.edit(); t.setText(0, "AAA"); t.setValue(2, Value::integer(77)); t.post(); }},
        {"insert", [](Table& t) { t.append(); t.setText(0, "new"); t.setValue(2, Value::integer(50)); t.post(); }},
        {"delete", [](Table& t) { t.moveTo(2); t.deleteRecord(); }},
        {"appends", [](Table& t) {
             t.beginAppends();
             for (int n = 0; n < 3; ++n) {
                 t.append();
                 t.setText(0, "b" + std::to_string(n));
                 t.setValue(2, Value::integer(60 + n));
                 t.post();
             }
             t.endAppends();
         }},
        {"splits", [](Table& t) {
             t.beginAppends();
             for (int n = 0; n < 40; ++n) {
                 t.append();
                 t.setText(0, "0" + std::to_string(n));
                 t.setValue(1, Value::real(-30));
                 t.setValue(2, Value::integer(5000 + n));
                 t.post();
             }
             t.endAppends();
         }, true},
    };
    ScratchDir small, big, dir;
    MakeIndexedCave(small.path(), 6);
    MakeIndexedCave(big.path(), 1200, false);
    for (const char* table : {"fox", "db3"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(table) + " " + c.name);
            const ScratchDir& source = c.big ? big : small;
            auto prepare = [&] {
                for (const auto& name : FolderEntries(dir.path())) std::remove(dir.file(name).c_str());
                for (const auto& name : FolderEntries(source.path())) CopyFile(source.file(name), dir.file(name));
            };
            const std::string path = dir.file(std::string(table) + ".dbf");
            WalkFaults([&] { prepare(); return Open(path); }, c.run, [&](const std::string&) {
                CheckIndexes(path, false);
                int leftovers = 0;
                for (const auto& name : FolderEntries(dir.path())) leftovers += name.find(".tmp-") != std::string::npos;
                EXPECT_EQ(leftovers, 0);
            });
        }
    }
}
