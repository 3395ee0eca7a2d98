#pragma once
// The schema file (NAME.SCH) that describes an ASCII table (NAME.TXT):
//
//   [NAME]
//   FILETYPE=VARYING          (or FIXED)
//   CHARSET=ANSIINTL          (language driver: decides the code page)
//   DELIMITER="               (around text values, VARYING only)
//   SEPARATOR=,               (between values, VARYING only)
//   Field1=NAME,CHAR,20,00,00 (name, type, width, decimals, offset)
#include <string>
#include <vector>

#include "engine/dataset.h"

namespace tarnel::ascii {

enum class ColumnKind { Char, Float, Number, Bool, LongInt, Short, Date, Time, Timestamp, Bcd, Currency };

struct Column {
    FieldDef def;
    ColumnKind kind = ColumnKind::Char;
    int width = 0;
    int decimals = 0;
    int offset = 0;   // FIXED: where the value starts in the row
};

struct Schema {
    std::string section;     // the table name in brackets
    bool fixed = false;
    std::string charset = "ANSIINTL";
    int codePage = 1252;
    char delimiter = '"';
    char separator = ',';
    std::vector<Column> columns;
};

// Parses schema text; throws EngineError naming the schema file.
Schema ParseSchema(const std::string& text, const std::string& path);
std::string SchemaText(const Schema& schema);

// A schema for new field definitions; throws for types an ASCII table cannot hold.
Schema SchemaForFields(const std::vector<FieldDef>& fields, const std::string& section, int codePage,
                       const std::string& path);

// Code page of a language driver name, and a driver name for a code page.
int CodePageOfCharset(const std::string& charset);
std::string CharsetOfCodePage(int codePage);

} // namespace tarnel::ascii
