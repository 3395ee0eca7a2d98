#pragma once
// The one table of table formats. Everything the rest of the engine knows
// about a format (its name, table type ordinal, file extensions, companion
// files, how to recognise, open and create it, which field types it holds)
// is asked here. Adding a format is one entry in format_registry.cpp plus
// its module.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/table_format.h"

namespace tarnel {

// A field type a format can hold, and what it becomes there.
struct HeldType {
    TFieldType type;
    const char* storedAs;   // the format's own notation, for people: "C(size)", "N(20,4)", "Alpha"
};

struct TableFormatInfo {
    TableType type;
    const char* name;                      // as tarnel-cli takes it: "dbase"
    const char* title;                     // for messages: "dBASE"
    std::vector<std::string> extensions;   // of the data file, lower case; the first names new tables
    // Extensions of the files that belong to a table beside its data file,
    // lower case; '#' stands for one hexadecimal digit.
    std::vector<std::string> companions;
    const char* requiredCompanion;         // a data file is a table only with this beside it (or null)
    std::vector<HeldType> holds;
    std::unique_ptr<TableFormat> (*open)(const std::string& path, TableType type, bool readOnly);
    void (*create)(const std::string& path, const std::vector<FieldDef>& fields, const CreateOptions& options);
    // Whether the first bytes of a file (up to 128) look like this format; null: not recognisable.
    bool (*looksLike)(const unsigned char* head, std::size_t n, std::int64_t fileSize);
    // Whether its tables can have a primary key (the leading fields marked key).
    bool keyed = false;
};

// All formats, in the order a bare table name looks for their extensions
// (dBASE, FoxPro, Paradox, ASCII).
const std::vector<TableFormatInfo>& TableFormats();
// The entry of a table type; throws for Default.
const TableFormatInfo& FormatInfo(TableType type);
// The entry a file name's extension stands for (dBASE for .dbf); null when none.
const TableFormatInfo* FormatOfFileName(const std::string& path);

// "default", "paradox", "dbase", "foxpro", "ascii".
const char* TableTypeName(TableType type);
// The table type of such a name (any letter case); false when there is none.
bool ParseTableType(const std::string& name, TableType& type);

// The format of an existing file: an explicit type wins; otherwise the
// content decides where it is recognisable, then the extension. Throws when
// neither knows the file.
TableType ResolveTableType(const std::string& path, TableType asked);

// What a field becomes in a format; throws naming the field and its type
// when the format cannot hold it.
const HeldType& HeldTypeOf(TableType type, const FieldDef& field, const std::string& table);

// The files of the table whose data file is `path` that exist now: the data
// file first, then its companions (any letter case), for the formats that
// share the extension of `path` or the given type.
std::vector<std::string> TableFiles(const std::string& path, TableType type);

// Removes a table with its companion files. The files are first moved aside
// together, so that a failure leaves the table whole.
void DeleteTableFiles(const std::string& path, TableType type);

} // namespace tarnel
