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
//   - A double-quoted constant compared with a field (DEPTH  = "12",
//     "T" = historic.WET) is given to a converter, which may write it as a
//     constant of the field's type.
// Single-quoted strings, comments, numbers and everything else pass through
// unchanged; the translation is a tokenizer, not a parser.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnel::sql {

struct TranslatedSql {
    std::string text;                 // the statement in SQLite's dialect
    std::vector<std::string> tables;  // table names found in FROM clauses, in order, unquoted

    // The token of the statement as written that became the token at
    // `offset` of `text`; empty past the end.
    std::string_view writtenTokenAt(size_t offset) const;
    // The same token as it stands in `text`.
    std::string_view translatedTokenAt(size_t offset) const;

    struct Piece {
        size_t at = 0;                // start in text
        std::string_view written;     // the token in the statement as written
        size_t length = 0;            // its length in text
    };
    std::vector<Piece> pieces;        // every token, in order
};

// Writes a double-quoted constant compared with a field as a SQLite constant:
// gets the field's qualifier (empty when none), its name and the constant's
// text; nothing keeps it a text constant. May throw to refuse the constant.
using ConstantConverter = std::function<std::optional<std::string>(
    const std::string& qualifier, const std::string& field, const std::string& text)>;

// The pieces refer to `localSql`, which must outlive the result's use of them.
TranslatedSql TranslateDialect(std::string_view localSql, const ConstantConverter& convert = {});

} // namespace tarnel::sql
