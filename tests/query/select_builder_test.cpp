#include <gtest/gtest.h>

#include "query/core/select_builder.h"

using namespace tarnel::query;

TEST(SelectBuilder, QuoteFieldRefCopiesBothPartsUnchanged)
{
    EXPECT_EQ(QuoteFieldRef(QString("TEMP.DBF"), QString("DEPTH")), "\"TEMP.DBF\".\"DEPTH\"");
    EXPECT_EQ(QuoteFieldRef(QString("TEMP.DBF"), QString()), "\"TEMP.DBF\".\"\"");
    EXPECT_EQ(QuoteFieldRef(std::string("historic"), std::string("A\"B")), "\"historic\".\"A\"B\"");
}

TEST(SelectBuilder, TableStem)
{
    EXPECT_EQ(QueryTableStem("historic.dbf"), "historic");
    EXPECT_EQ(QueryTableStem("a.b.dbf"), "a.b");
    EXPECT_EQ(QueryTableStem("/data/caves/historic.DBF"), "historic");
    EXPECT_EQ(QueryTableStem("/data/v1.2/noext"), "noext");
    EXPECT_EQ(QueryTableStem("noext"), "noext");
    EXPECT_EQ(QueryTableStem("c:x.db"), "c:x");   // a colon is an ordinary character here
    EXPECT_EQ(QueryTableStem(""), "");
}

TEST(SelectBuilder, SelectListKeepsStationSecondNumberOrder)
{
    EXPECT_EQ(BuildSelectList("historic", "", "", ""), "*");
    EXPECT_EQ(BuildSelectList("historic", "", "", "DEPTH"), "\"historic\".\"DEPTH\"");
    EXPECT_EQ(BuildSelectList("historic", "", "SUFFIX", "DEPTH"),
              "\"historic\".\"SUFFIX\",\"historic\".\"DEPTH\"");
    EXPECT_EQ(BuildSelectList("a.b", "STATION", "SUFFIX", "DEPTH"),
              "\"a.b\".\"STATION\",\"a.b\".\"SUFFIX\",\"a.b\".\"DEPTH\"");
    // A blank is not empty: it goes in as typed.
    EXPECT_EQ(BuildSelectList("h", " ", "", ""), "\"h\".\" \"");
}

TEST(SelectBuilder, Statements)
{
    EXPECT_EQ(BuildSelectStatement("historic", "STATION", "", "DEPTH", "(DEPTH  > 10)"),
              R"(Select "historic"."STATION","historic"."DEPTH" From "historic" Where (DEPTH  > 10))");
    EXPECT_EQ(BuildSelectStatement("historic", "", "", "", ""), R"(Select * From "historic")");
    EXPECT_EQ(BuildSelectStatement("historic", "", "", "", "(A  = B)"),
              R"(Select * From "historic" Where (A  = B))");
    EXPECT_EQ(BuildSelectStatement("historic", "", "", "DEPTH", ""),
              R"(Select "historic"."DEPTH" From "historic")");
    // The condition goes in unchanged, even when it cannot be valid.
    EXPECT_EQ(BuildSelectStatement("a.b", "S", "", "", " OR (X  > 1)"),
              R"(Select "a.b"."S" From "a.b" Where  OR (X  > 1))");
}
