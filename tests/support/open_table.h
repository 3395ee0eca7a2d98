#pragma once
// A table opened on a folder and name, read-only unless asked otherwise.
#include <memory>
#include <string>

#include "engine/table.h"

namespace tarnel::test {

inline std::unique_ptr<Table> OpenTable(const std::string& folder, const std::string& name, bool readOnly = true)
{
    auto t = std::make_unique<Table>();
    t->setDatabaseName(folder);
    t->setTableName(name);
    t->setReadOnly(readOnly);
    t->open();
    return t;
}

} // namespace tarnel::test
