#pragma once
// Checks every secondary index of a Paradox table against a full scan of its
// records: one entry per record, in the index's order, each with the
// record's values and the block that holds it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/paradox/px_secondary.h"
#include "engine/paradox/px_table.h"

namespace tarnel::test {

inline void ExpectIndexesTrue(const std::string& dbPath, const std::string& context = {})
{
    paradox::ParadoxTable table(dbPath, true);
    ASSERT_EQ(table.writeBlocked(), "") << context;
    const auto key = table.primaryKey();
    for (const std::string& x : paradox::FindSecondaryIndexFiles(dbPath)) {
        const paradox::SecondaryIndex index = paradox::ReadSecondaryIndex(x, table.fields());
        std::vector<int> columns = index.fields;
        for (int k : key)
            if (std::find(columns.begin(), columns.end(), k) == columns.end()) columns.push_back(k);
        std::vector<std::vector<Value>> want;
        for (std::int64_t r = 0; r < table.physicalCount(); ++r) {
            std::vector<Value> row;
            for (int c : columns) row.push_back(table.value(r, c));
            row.push_back(Value::integer(table.blockNumberOf(r)));
            want.push_back(row);
        }
        auto got = paradox::ReadSecondaryEntries(index);
        ASSERT_EQ(got.size(), want.size()) << x << " " << context;
        for (size_t e = 1; e < got.size(); ++e)
            ASSERT_FALSE(paradox::EntryLess(index, got[e], got[e - 1], columns.size())) << x << " entry " << e << " " << context;
        auto all = [&](const auto& a, const auto& b) { return paradox::EntryLess(index, a, b, a.size()); };
        std::sort(got.begin(), got.end(), all);
        std::sort(want.begin(), want.end(), all);
        EXPECT_TRUE(got == want) << x << " does not hold the table's records " << context;
    }
}

} // namespace tarnel::test
