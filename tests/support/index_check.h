#pragma once
// Checks every tag of every index file beside a dBASE/FoxPro table against a
// full scan of its records: the same keys for the same records, in key order.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "engine/dbf/dbf_table.h"
#include "engine/dbf/index/index_file.h"
#include "engine/bytes.h"
#include "engine/dbf/index/index_key.h"
#include "engine/dbf/index/index_writer.h"
#include "engine/table.h"

namespace tarnel::test {

inline void CheckAgainstScan(Table& table, KeyStyle style)
{
    auto* dbf = dynamic_cast<DbfTable*>(table.format());
    ASSERT_NE(dbf, nullptr);
    for (const std::string& path : dbf->indexFiles()) {
        auto index = IndexFile::open(path);
        for (size_t tag = 0; tag < index->tags().size(); ++tag) {
            const IndexTag& t = index->tags()[tag];
            SCOPED_TRACE(t.file + " " + t.name + " " + t.expression);
            auto expression = KeyExpression::compile(t.expression, dbf->header(), style);
            ASSERT_TRUE(expression.has_value());
            if (style == KeyStyle::FoxPro) index->setKeyType(tag, expression->type());
            std::vector<IndexKey> expected;
            for (std::int64_t r = 0; r < dbf->physicalCount(); ++r) {
                const char* rec = dbf->rawRecord(r);
                auto excluded = FilterExcludes(t.filter, rec[0] == '*');
                ASSERT_TRUE(excluded.has_value()) << t.filter;
                if (!*excluded) expected.push_back({expression->evaluate(rec), static_cast<std::uint32_t>(r + 1)});
            }
            std::stable_sort(expected.begin(), expected.end(),
                             [](const IndexKey& a, const IndexKey& b) { return a.key < b.key; });
            auto found = index->keys(tag);
            ASSERT_EQ(found.size(), expected.size());
            for (size_t k = 0; k < found.size(); ++k) {
                EXPECT_EQ(found[k].key, expected[k].key) << "key " << k;
                EXPECT_EQ(found[k].record, expected[k].record) << "key " << k;
            }
        }
    }
}

// A .mdx against the table's records: each tag holds the key of every
// record its filter keeps (the first record of a key in a unique tag), in
// key order (from the last key in a descending tag); its tree keeps its
// leaves at one depth, each interior key is the last key under its child, no
// node holds more keys than the tag header allows; and every block of the
// file is reached from the tag table, with no free list.
inline void CheckMdx(const std::string& path, DbfTable& table)
{
    SCOPED_TRACE(path);
    auto index = IndexFile::open(path);
    const std::string& b = index->bytes();
    auto u = [&](std::uint64_t at) {
        EXPECT_LE(at + 4, b.size());
        return reinterpret_cast<const unsigned char*>(b.data()) + std::min<std::uint64_t>(at, b.size() - 4);
    };
    const unsigned block = GetLe16(u(22));
    ASSERT_EQ(b.size() % block, 0u);
    EXPECT_EQ(std::uint64_t(GetLe32(u(32))) * 512, b.size()) << "pages in the file";
    EXPECT_EQ(GetLe32(u(36)), 0u) << "a free list where none is";
    size_t blocks = (2048 + block - 1) / block;
    for (size_t tag = 0; tag < index->tags().size(); ++tag) {
        const IndexTag& t = index->tags()[tag];
        SCOPED_TRACE(t.name + " " + t.expression);
        auto key = KeyExpression::compile(t.expression, table.header(), KeyStyle::Mdx);
        ASSERT_TRUE(key.has_value());
        const KeyOrder order = key->type() == 'N' ? KeyOrder::Decimal : key->type() == 'D' ? KeyOrder::Double : KeyOrder::Bytes;
        std::vector<IndexKey> expected;
        for (std::int64_t r = 0; r < table.physicalCount(); ++r) {
            const char* rec = table.rawRecord(r);
            if (!FilterExcludes(t.filter, rec[0] == '*').value())
                expected.push_back({key->evaluate(rec), static_cast<std::uint32_t>(r + 1)});
        }
        auto less = [&](const IndexKey& x, const IndexKey& y) { return KeyLess(x.key, y.key, order); };
        std::stable_sort(expected.begin(), expected.end(), less);
        if (t.unique)
            expected.erase(std::unique(expected.begin(), expected.end(),
                                       [&](const IndexKey& x, const IndexKey& y) { return !less(x, y) && !less(y, x); }),
                           expected.end());
        if (t.descending) std::reverse(expected.begin(), expected.end());
        const auto found = index->keys(tag);
        ASSERT_EQ(found.size(), expected.size());
        for (size_t k = 0; k < found.size(); ++k) {
            ASSERT_EQ(found[k].key, expected[k].key) << "key " << k;
            ASSERT_EQ(found[k].record, expected[k].record) << "key " << k;
        }

        const std::uint64_t header = std::uint64_t(GetLe32(u(544 + 32 * tag))) * 512;
        const unsigned item = GetLe16(u(header + 18)), most = GetLe16(u(header + 14));
        int leafDepth = -1;
        std::function<std::string(std::uint32_t, int)> visit = [&](std::uint32_t page, int depth) -> std::string {
            ++blocks;
            const std::uint64_t at = std::uint64_t(page) * 512;
            const std::uint32_t count = GetLe32(u(at));
            EXPECT_LE(count, most) << "page " << page;
            auto entry = [&](std::uint32_t e) { return at + 8 + std::uint64_t(e) * item; };
            auto keyAt = [&](std::uint32_t e) { return b.substr(static_cast<size_t>(entry(e) + 4), static_cast<size_t>(t.keyLength)); };
            if (GetLe32(u(entry(count))) == 0) {
                if (leafDepth < 0) leafDepth = depth;
                EXPECT_EQ(depth, leafDepth) << "leaf " << page;
                return count ? keyAt(count - 1) : std::string();
            }
            std::string last;
            for (std::uint32_t e = 0; e <= count; ++e) {
                last = visit(GetLe32(u(entry(e))), depth + 1);
                if (e < count) {
                    EXPECT_EQ(keyAt(e), last) << "interior key " << e << " of page " << page;
                }
            }
            return last;
        };
        ++blocks;   // the tag header
        visit(GetLe32(u(header)), 0);
    }
    EXPECT_EQ(blocks * block, b.size()) << "every block is reached";
}

} // namespace tarnel::test
