// The restructure's refill reads the copy directly; it must yield what the
// refill select over the copy yields, field for field and value for value.
#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <cstdint>
#include <filesystem>

#include "engine/batch_move.h"
#include "engine/error.h"
#include "engine/sql/query.h"
#include "engine/table.h"
#include "tables/core/carried_columns.h"
#include "tables/core/restructure.h"
#include "tests/support/test_paths.h"
#include "tests/tables/held_value.h"

using namespace tarnel;
using namespace tarnel::tables;
using tarnel::test::Fixture;
using tarnel::test::Held;
using tarnel::test::ScratchDir;

TEST(CarriedColumns, YieldWhatTheRefillSelectYieldsForEveryFixture)
{
    int tables = 0;
    std::int64_t cells = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(Fixture(""))) {
        std::string ext = entry.path().extension().string();
        for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext != ".dbf" && ext != ".db") continue;
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        ScratchDir scratch;
        Table source;
        source.setTableName(entry.path().string());
        source.setReadOnly(true);
        Table copy;
        copy.setDatabaseName(scratch.path());
        copy.setTableName(kRestructureTempName);
        try {
            source.open();
            copy.setTableType(source.formatType());
            BatchMove(copy, source, BatchMode::Copy);
        } catch (const EngineError&) {
            continue;   // damaged on purpose, or a type no new table holds
        }
        // The copy's fields backwards, one of them under another letter
        // case, and a new field that starts empty.
        std::vector<FieldDef> layout(source.fields().rbegin(), source.fields().rend());
        for (char& c : layout.front().name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        layout.push_back(FieldDef{"ADDED_NEW", ftBoolean, 0, 0, 0, false});

        auto viaSql = QueryResult::Run(scratch.path(), RestructureSelect(layout, source.fields()),
                                       QueryResult::Rows::Streamed);
        copy.setReadOnly(true);
        copy.open();
        CarriedColumns direct(copy, layout);
        ASSERT_EQ(direct.fieldCount(), viaSql->fieldCount());
        for (int f = 0; f < direct.fieldCount(); ++f) {
            EXPECT_EQ(direct.field(f).type, viaSql->field(f).type) << f;
            EXPECT_EQ(direct.field(f).size, viaSql->field(f).size) << f;
            EXPECT_EQ(direct.field(f).decimals, viaSql->field(f).decimals) << f;
        }
        std::int64_t rows = 0;
        for (direct.first(), viaSql->first(); !viaSql->eof(); direct.next(), viaSql->next(), ++rows) {
            ASSERT_FALSE(direct.eof()) << "row " << rows + 1;
            for (int f = 0; f < direct.fieldCount(); ++f, ++cells) {
                EXPECT_EQ(Held(direct.value(f)), Held(viaSql->value(f))) << "row " << rows + 1 << " field " << f;
                EXPECT_EQ(Held(direct.valueAt(rows, f)), Held(direct.value(f)));
            }
        }
        EXPECT_TRUE(direct.eof());
        EXPECT_EQ(rows, copy.recordCount());
        ++tables;
    }
    EXPECT_GE(tables, 20);
    EXPECT_GT(cells, 1000);
}
