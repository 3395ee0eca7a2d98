#include <gtest/gtest.h>

#include <optional>

#include "engine/sql/dialect.h"

using tarnel::sql::TranslateDialect;

namespace {
std::string T(std::string_view sql) { return TranslateDialect(sql).text; }
std::vector<std::string> Tables(std::string_view sql) { return TranslateDialect(sql).tables; }
} // namespace

TEST(SqlDialect, BuilderStatementsTranslate)
{
    EXPECT_EQ(T(R"(Select "historic"."STATION","historic"."DEPTH" From "historic" Where (DEPTH  > 10))"),
              R"(Select "historic"."STATION","historic"."DEPTH" From "historic" Where (DEPTH  > 10))");
    EXPECT_EQ(T(R"(Select * From "historic" Where (NAME  = "LENGTH"))"),
              R"(Select * From "historic" Where (NAME  = 'LENGTH'))");
    EXPECT_EQ(T(R"(Select * From "h" Where (NAME  = "True") OR (DEPTH  = True))"),
              R"(Select * From "h" Where (NAME  = 'True') OR (DEPTH  = 1))");
    EXPECT_EQ(T(R"(Select * From "h" Where ("DEPTH"  <> NAME) AND (FLAG  = False))"),
              R"(Select * From "h" Where ('DEPTH'  <> NAME) AND (FLAG  = 0))");
    EXPECT_EQ(T(R"(Select * From "h" Where (NAME  = """") OR (DEPTH  = ""))"),
              R"(Select * From "h" Where (NAME  = '"') OR (DEPTH  = ''))");
    // A target quoted twice lexes as an empty text, True, an empty text.
    EXPECT_EQ(T(R"(Select * From "h" Where (NAME  = ""True""))"),
              R"(Select * From "h" Where (NAME  = ''1''))");
    EXPECT_EQ(T(R"(Select "TEMP.DBF"."A","" From "TEMP.DBF")"),
              R"(Select "TEMP.DBF"."A",'' From "TEMP.DBF")");
}

TEST(SqlDialect, QualificationMakesANameOnEitherSide)
{
    EXPECT_EQ(T(R"(Select h."X", "h".Y, "h" . "Z", "h".* From h)"),
              R"(Select h."X", "h".Y, "h" . "Z", "h".* From h)");
    // A bare True after a qualifier is a field called True.
    EXPECT_EQ(T(R"(Select * From h Where h.True = True)"), R"(Select * From h Where h.True = 1)");
    // A number's decimal point is no qualifier.
    EXPECT_EQ(T(R"(Select * From h Where X = 1."a")"), R"(Select * From h Where X = 1.'a')");
}

TEST(SqlDialect, QuotesAndCommentsPassThrough)
{
    // Single quotes with escapes, and a single quote inside a double-quoted constant.
    EXPECT_EQ(T(R"(Select * From h Where A = 'it''s "x"' OR B = "O'Hara")"),
              R"(Select * From h Where A = 'it''s "x"' OR B = 'O''Hara')");
    EXPECT_EQ(T("Select * From h -- \"note\" True\nWhere A = \"b\""),
              "Select * From h -- \"note\" True\nWhere A = 'b'");
    EXPECT_EQ(T("Select /* \"x\" */ \"y\" From h"), "Select /* \"x\" */ 'y' From h");
    // Unterminated text is left for SQLite to reject.
    EXPECT_EQ(T(R"(Select * From h Where A = "abc)"), R"(Select * From h Where A = "abc)");
    EXPECT_EQ(T(R"(Select * From h Where A = 'abc)"), R"(Select * From h Where A = 'abc)");
    EXPECT_EQ(T("Select * From h Where A = \"\xC3\xA9t\xC3\xA9\""),
              "Select * From h Where A = '\xC3\xA9t\xC3\xA9'");
    EXPECT_EQ(T(""), "");
    EXPECT_EQ(T("\""), "\"");
}

TEST(SqlDialect, KeywordsAreFoundInAnyCase)
{
    EXPECT_EQ(T(R"(select * from "h" where (A = "x") and (B = true))"),
              R"(select * from "h" where (A = 'x') and (B = 1))");
    // Names that merely contain a keyword are not keywords.
    EXPECT_EQ(T(R"(Select FROMAGE From "h" Where TRUEISH = "x")"),
              R"(Select FROMAGE From "h" Where TRUEISH = 'x')");
}

TEST(SqlDialect, TablesOfTheFromClause)
{
    EXPECT_EQ(Tables(R"(Select * From "historic" Where (DEPTH  > 10))"),
              (std::vector<std::string>{"historic"}));
    EXPECT_EQ(Tables(R"(Select * From "TEMP.DBF")"), (std::vector<std::string>{"TEMP.DBF"}));
    EXPECT_EQ(Tables(R"(Select * From a, "b" x, main.c Join "d""q" On a.K = "d""q".K)"),
              (std::vector<std::string>{"a", "b", "c", "d\"q"}));
    // Subqueries in FROM and WHERE; names in ON and WHERE are not tables.
    EXPECT_EQ(Tables(R"(Select * From (Select * From "in1") s Where X In (Select Y From in2))"),
              (std::vector<std::string>{"in1", "in2"}));
    EXPECT_EQ(Tables(R"(Select 1)"), std::vector<std::string>{});
}

TEST(SqlDialect, FromClauseNamesStayNamesButConditionsDoNot)
{
    EXPECT_EQ(T(R"(Select * From "a" "x" Join "b" On "x"."K" = "b"."K" And "b"."N" = "v" Where "w")"),
              R"(Select * From "a" "x" Join "b" On "x"."K" = "b"."K" And "b"."N" = 'v' Where 'w')");
    EXPECT_EQ(T(R"(Select * From "a" Where X In (Select "s"."Y" From "s" Where Z = "q") And W = "r")"),
              R"(Select * From "a" Where X In (Select "s"."Y" From "s" Where Z = 'q') And W = 'r')");
    EXPECT_EQ(T(R"(Select "a" From "t" Union Select "b" From "u" Order By 1)"),
              R"(Select 'a' From "t" Union Select 'b' From "u" Order By 1)");
}

TEST(SqlDialect, ConstantsComparedWithAFieldGoToTheConverter)
{
    std::vector<std::string> asked;
    auto convert = [&](const std::string& qualifier, const std::string& field, const std::string& text)
        -> std::optional<std::string> {
        asked.push_back(qualifier + "|" + field + "|" + text);
        return "<" + text + ">";
    };
    auto t = [&](std::string_view sql) { return TranslateDialect(sql, convert).text; };
    EXPECT_EQ(t(R"(Select * From h Where (F  = "a") AND ("b" <> h.G) OR ("h"."K" >= "c"))"),
              R"(Select * From h Where (F  = <a>) AND (<b> <> h.G) OR ("h"."K" >= <c>))");
    EXPECT_EQ(asked, (std::vector<std::string>{"|F|a", "h|G|b", "h|K|c"}));
    // Not a comparison with a field: the text stays text.
    asked.clear();
    EXPECT_EQ(t(R"(Select "x" From h Where ("a" = "b") OR (lower(F) = "c") OR ("d" = lower(F)) OR (F || "e" = G) OR (F = "f" + 1))"),
              R"(Select 'x' From h Where ('a' = 'b') OR (lower(F) = 'c') OR ('d' = lower(F)) OR (F || 'e' = G) OR (F = 'f' + 1))");
    EXPECT_TRUE(asked.empty());
}

TEST(SqlDialect, TokensMapBackToTheStatementAsWritten)
{
    const std::string written = R"(Select * From h Where (F  = True) OR (N = "x"))";
    const auto translated = TranslateDialect(written);
    const size_t one = translated.text.find(" 1)") + 1;
    EXPECT_EQ(translated.translatedTokenAt(one), "1");
    EXPECT_EQ(translated.writtenTokenAt(one), "True");
    const size_t x = translated.text.find("'x'") + 1;
    EXPECT_EQ(translated.writtenTokenAt(x), "\"x\"");
    EXPECT_EQ(translated.writtenTokenAt(translated.text.size() + 5), "");
}
