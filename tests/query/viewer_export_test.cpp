// The viewer command stream: the four display examples, the edge rows, the
// field look-up and the bytes of a poke.
#include <gtest/gtest.h>

#include "engine/daynum.h"
#include "engine/error.h"
#include "query/core/viewer_export.h"
#include "query/core/viewer_link.h"
#include "tests/support/memory_dataset.h"

using namespace tarnel;
using namespace tarnel::query;
using tarnel::test::Field;
using tarnel::test::MemoryDataSet;

namespace {

// STATION (String), DEPTH (Float), SUFFIX (String), COUNT (Integer), SEEN (Date)
MemoryDataSet PoolsResult()
{
    MemoryDataSet ds({Field("STATION", ftString), Field("DEPTH", ftFloat), Field("SUFFIX", ftString),
                      Field("COUNT", ftInteger), Field("SEEN", ftDate)});
    std::int64_t day = DayNumber(2001, 5, 17);
    ds.addRow({Value::text("A1"), Value::real(2.5), Value::text("12"), Value::integer(3),
               Value::integer(day)});
    ds.addRow({Value::text("A2"), Value::real(10), Value::text(""), Value::integer(-4),
               Value::integer(day + 1)});
    ds.addRow({Value::text("B7"), Value::real(7.25), Value::null(), Value::null(), Value::null()});
    return ds;
}

TLineList Write(DataSet& ds, TDisplayMethod method, TExportFields fields,
                const std::string& name = "Pools")
{
    TLineList lines;
    WriteFeature(ds, method, name, fields, lines);
    return lines;
}

const TExportFields kStationDepth{1, -1, 2};
const TExportFields kStationOnly{1, -1, -1};

} // namespace

TEST(ViewerStream, WritesEachDisplayMethodOfTheExample)
{
    MemoryDataSet ds = PoolsResult();
    EXPECT_EQ(Write(ds, dmMarkedLocations, kStationDepth),
              (TLineList{"#R,Pools,2.5,10", "#L,A1,2.5", "#L,A2,10", "#L,B7,7.25"}));
    EXPECT_TRUE(ds.eof());
    EXPECT_EQ(Write(ds, dmMarkedLocations, kStationOnly),
              (TLineList{"#F,Pools", "#L,A1,0.0", "#L,A2,0.0", "#L,B7,0.0"}));
    EXPECT_EQ(Write(ds, dmLineSegments, kStationDepth),
              (TLineList{"#F,Pools", "#S,A1,2.5", "#S,A2,10", "#S,B7,7.25"}));
    EXPECT_EQ(Write(ds, dmLineSegments, kStationOnly),
              (TLineList{"#F,Pools", "#S,A1,0.0", "#S,A2,0.0", "#S,B7,0.0"}));
    EXPECT_EQ(Write(ds, dmContinuousLine, kStationDepth),
              (TLineList{"#F,Pools", "#M,A1", "#D,A2", "#D,B7"}));
    EXPECT_TRUE(ds.eof());
}

TEST(ViewerStream, SecondaryTextFollowsTheStationWithoutSeparator)
{
    MemoryDataSet ds = PoolsResult();
    TExportFields fields{1, 3, 2};
    EXPECT_EQ(Write(ds, dmMarkedLocations, fields),
              (TLineList{"#R,Pools,2.5,10", "#L,A112,2.5", "#L,A2,10", "#L,B7,7.25"}));
    EXPECT_EQ(Write(ds, dmContinuousLine, fields), (TLineList{"#F,Pools", "#M,A112", "#D,A2", "#D,B7"}));
}

TEST(ViewerStream, EmptyResultGivesOnlyTheHeader)
{
    MemoryDataSet ds({Field("STATION", ftString), Field("DEPTH", ftFloat)});
    EXPECT_EQ(Write(ds, dmMarkedLocations, kStationDepth), (TLineList{"#R,Pools,1E100,-1E100"}));
    EXPECT_EQ(Write(ds, dmMarkedLocations, kStationOnly), (TLineList{"#F,Pools"}));
    EXPECT_EQ(Write(ds, dmLineSegments, kStationDepth), (TLineList{"#F,Pools"}));
    // No lone "#M," with an empty station.
    EXPECT_EQ(Write(ds, dmContinuousLine, kStationDepth), (TLineList{"#F,Pools"}));
}

TEST(ViewerStream, NullNumberCountsAsZeroButSegmentsSendItEmpty)
{
    MemoryDataSet ds({Field("STATION", ftString), Field("DEPTH", ftFloat)});
    ds.addRow({Value::text("A1"), Value::real(4.5)});
    ds.addRow({Value::text("A2"), Value::null()});
    ds.addRow({Value::text("A3"), Value::real(8)});
    EXPECT_EQ(Write(ds, dmMarkedLocations, kStationDepth),
              (TLineList{"#R,Pools,0,8", "#L,A1,4.5", "#L,A2,0", "#L,A3,8"}));
    EXPECT_EQ(Write(ds, dmLineSegments, kStationDepth),
              (TLineList{"#F,Pools", "#S,A1,4.5", "#S,A2,", "#S,A3,8"}));
}

TEST(ViewerStream, TextsGoOutUnchanged)
{
    MemoryDataSet ds({Field("STATION", ftString)});
    ds.addRow({Value::text("")});
    ds.addRow({Value::text("A,1")});
    EXPECT_EQ(Write(ds, dmMarkedLocations, kStationOnly, "  "),
              (TLineList{"#F,  ", "#L,,0.0", "#L,A,1,0.0"}));
    EXPECT_EQ(Write(ds, dmContinuousLine, kStationOnly, "Big, wet"),
              (TLineList{"#F,Big, wet", "#M,", "#D,A,1"}));
}

TEST(ViewerStream, NumberFieldsOfOtherTypes)
{
    MemoryDataSet ds = PoolsResult();
    std::int64_t day = DayNumber(2001, 5, 17);
    // Integers: digits both ways.
    EXPECT_EQ(Write(ds, dmMarkedLocations, {1, -1, 4}),
              (TLineList{"#R,Pools,-4,3", "#L,A1,3", "#L,A2,-4", "#L,B7,0"}));
    EXPECT_EQ(Write(ds, dmLineSegments, {1, -1, 4}),
              (TLineList{"#F,Pools", "#S,A1,3", "#S,A2,-4", "#S,B7,"}));
    // Dates: the day number for marked locations, the date text for segments.
    std::string d = std::to_string(day), d1 = std::to_string(day + 1);
    EXPECT_EQ(Write(ds, dmMarkedLocations, {1, -1, 5}),
              (TLineList{"#R,Pools,0," + d1, "#L,A1," + d, "#L,A2," + d1, "#L,B7,0"}));
    EXPECT_EQ(Write(ds, dmLineSegments, {1, -1, 5}),
              (TLineList{"#F,Pools", "#S,A1,2001-05-17", "#S,A2,2001-05-18", "#S,B7,"}));

    MemoryDataSet times({Field("STATION", ftString), Field("WHEN", ftDateTime)});
    times.addRow({Value::text("C1"), Value::real(static_cast<double>(day) + 0.25)});
    EXPECT_EQ(Write(times, dmMarkedLocations, {1, -1, 2}),
              (TLineList{"#R,Pools," + d + ".25," + d + ".25", "#L,C1," + d + ".25"}));
}

TEST(ViewerStream, TextThatIsNotANumberStopsMarkedLocations)
{
    MemoryDataSet ds = PoolsResult();
    TLineList lines;
    // SUFFIX holds "12", "" and NULL: the empty text is no number.
    EXPECT_THROW(WriteMarkedLocations(ds, "Pools", {1, -1, 3}, lines), EngineError);
    // Segments take the text as it is.
    EXPECT_EQ(Write(ds, dmLineSegments, {1, -1, 3}),
              (TLineList{"#F,Pools", "#S,A1,12", "#S,A2,", "#S,B7,"}));
}

TEST(ViewerStream, NumbersUseTheGeneralFormat)
{
    MemoryDataSet ds({Field("STATION", ftString), Field("V", ftFloat)});
    ds.addRow({Value::text("S"), Value::real(1.0 / 3.0)});
    ds.addRow({Value::text("S"), Value::real(0.00001)});
    ds.addRow({Value::text("S"), Value::real(1152921504606846976.0)});
    ds.addRow({Value::text("S"), Value::real(-1e100)});
    EXPECT_EQ(Write(ds, dmMarkedLocations, kStationDepth),
              (TLineList{"#R,Pools,-1E100,1.15292150460685E18", "#L,S,0.333333333333333", "#L,S,1E-5",
                         "#L,S,1.15292150460685E18", "#L,S,-1E100"}));
}

TEST(ViewerStream, NumberFieldRangeWalksEveryRow)
{
    MemoryDataSet ds = PoolsResult();
    TNumberRange r = NumberFieldRange(ds, 2);
    EXPECT_EQ(r.smallest, 2.5);
    EXPECT_EQ(r.largest, 10);
    MemoryDataSet one({Field("V", ftFloat)});
    one.addRow({Value::real(-7)});
    r = NumberFieldRange(one, 1);
    EXPECT_EQ(r.smallest, -7);
    EXPECT_EQ(r.largest, -7);
}

TEST(ResultFieldNumberTest, FindsListedNamesInTheResult)
{
    MemoryDataSet ds = PoolsResult();
    std::vector<std::string> list{"STATION", "DEPTH", "SUFFIX", "COUNT", "SEEN", "NOTES"};
    EXPECT_EQ(ResultFieldNumber("station", list, ds), 1);
    EXPECT_EQ(ResultFieldNumber("Depth", list, ds), 2);
    EXPECT_EQ(ResultFieldNumber("", list, ds), -1);
    EXPECT_EQ(ResultFieldNumber("STAT", list, ds), -1);       // whole names only
    EXPECT_EQ(ResultFieldNumber("DEPTH", {}, ds), -1);        // not in the list
    try {
        ResultFieldNumber("notes", list, ds);                 // listed, not selected
        FAIL() << "expected the engine's error";
    } catch (const EngineError& e) {
        EXPECT_STREQ(e.what(), "Field 'notes' not found");
    }
}

TEST(ViewerPoke, EveryLineEndsWithCrLfAndTheBlockWithZero)
{
    EXPECT_EQ(ViewerPokeData({"#F,Pools", "#M,A1"}), std::string("#F,Pools\r\n#M,A1\r\n\0", 18));
    EXPECT_EQ(ViewerPokeData({}), std::string("\0", 1));
    EXPECT_EQ(ViewerPokeData({""}), std::string("\r\n\0", 3));
}
