#pragma once
// The local SQL dialect, translated into SQLite's.
//
// Differences from SQLite:
//   - A double-quoted token names a column only when it is qualified
//     ("historic"."DEPTH": both parts are names). Anywhere else outside the
//     FROM clause a double-quoted token is a text constant: (NAME  = "LENGTH")
//     compares NAME with the text LENGTH, even when LENGTH is also a field,
//     and "" is the empty text. Two double quotes inside one stand for one.
//   - In the FROM clause double-quoted tokens name tables, and a table is
//     named by its file name stem ("historic") or its whole file name
//     ("TEMP.DBF").
//   - True and False are the logical constants 1 and 0.
// Single-quoted strings, comments, numbers and everything else pass through
// unchanged; the translation is a tokenizer, not a parser.
#include <string>
#include <string_view>
#include <vector>

namespace tarnel::sql {

struct TranslatedSql {
    std::string text;                 // the statement in SQLite's dialect
    std::vector<std::string> tables;  // table names found in FROM clauses, in order, unquoted
};

TranslatedSql TranslateDialect(std::string_view localSql);

} // namespace tarnel::sql
