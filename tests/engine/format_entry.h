#pragma once
// The Paradox and ASCII modules' entry points, for the tests that exercise
// them directly. Anything with rows goes through a TableFormat.
#include <memory>
#include <string>
#include <vector>

#include "engine/table_format.h"

namespace tarnel {
std::unique_ptr<TableFormat> OpenParadoxTable(const std::string& path, TableType type, bool readOnly);
void CreateParadoxTable(const std::string& path, const std::vector<FieldDef>& fields, const CreateOptions& options);
std::unique_ptr<TableFormat> OpenAsciiTable(const std::string& path, TableType type, bool readOnly);
void CreateAsciiTable(const std::string& path, const std::vector<FieldDef>& fields, const CreateOptions& options);

namespace test {
inline FieldDef Def(const std::string& name, TFieldType type, int size = 0, int decimals = 0)
{
    FieldDef f;
    f.name = name;
    f.type = type;
    f.size = size;
    f.decimals = decimals;
    return f;
}
} // namespace test
} // namespace tarnel
