#pragma once
// Checks every tag of every index file beside a dBASE/FoxPro table against a
// full scan of its records: the same keys for the same records, in key order.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/dbf/dbf_table.h"
#include "engine/dbf/index/index_file.h"
#include "engine/dbf/index/index_key.h"
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

} // namespace tarnel::test
