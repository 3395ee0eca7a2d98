// Which table format module handles a file: by the table type asked for, or,
// for Default, by the file's extension.
#include <algorithm>
#include <cctype>

#include "engine/error.h"
#include "engine/table_format.h"

namespace tarnel {

// Each format module provides these two.
std::unique_ptr<TableFormat> OpenDbfTable(const std::string& path, TableType type, bool readOnly);
void CreateDbfTable(const std::string& path, const std::vector<FieldDef>& fields,
                    const CreateOptions& options);
std::unique_ptr<TableFormat> OpenParadoxTable(const std::string& path, TableType type, bool readOnly);
void CreateParadoxTable(const std::string& path, const std::vector<FieldDef>& fields,
                        const CreateOptions& options);
std::unique_ptr<TableFormat> OpenAsciiTable(const std::string& path, TableType type, bool readOnly);
void CreateAsciiTable(const std::string& path, const std::vector<FieldDef>& fields,
                      const CreateOptions& options);

namespace {
std::string LowerExtension(const std::string& path)
{
    auto slash = path.find_last_of('/');
    auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

TableType Resolve(const std::string& path, TableType type)
{
    if (type != TableType::Default) return type;
    TableType byName = TableTypeOfFile(path);
    if (byName == TableType::Default)
        throw EngineError(path + ": unknown table type (expected a .dbf, .db or .txt file)");
    return byName;
}
} // namespace

TableType TableTypeOfFile(const std::string& path)
{
    std::string ext = LowerExtension(path);
    if (ext == ".dbf") return TableType::dBASE;
    if (ext == ".db") return TableType::Paradox;
    if (ext == ".txt") return TableType::ASCII;
    return TableType::Default;
}

std::unique_ptr<TableFormat> OpenTableFormat(const std::string& path, TableType type, bool readOnly)
{
    switch (Resolve(path, type)) {
    case TableType::dBASE:
    case TableType::FoxPro: return OpenDbfTable(path, type, readOnly);
    case TableType::Paradox: return OpenParadoxTable(path, type, readOnly);
    case TableType::ASCII: return OpenAsciiTable(path, type, readOnly);
    default: break;
    }
    throw EngineError(path + ": this table type is not supported yet");
}

void CreateTableFiles(const std::string& path, const std::vector<FieldDef>& fields,
                      const CreateOptions& options)
{
    CreateOptions o = options;
    o.type = Resolve(path, options.type);
    switch (o.type) {
    case TableType::dBASE:
    case TableType::FoxPro: CreateDbfTable(path, fields, o); return;
    case TableType::Paradox: CreateParadoxTable(path, fields, o); return;
    case TableType::ASCII: CreateAsciiTable(path, fields, o); return;
    default: break;
    }
    throw EngineError(path + ": this table type cannot be created yet");
}

} // namespace tarnel
