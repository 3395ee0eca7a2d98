#pragma once
// The one description of a table in the program: where it lives, its name,
// and the table type it is opened or created with.
#include <QString>

#include "engine/table_format.h"

namespace tarnel {

struct TableReference {
    QString DatabaseName;                    // a folder path ending in "/", or an alias name
    QString TableName;                       // file name with extension, or the alias's table name
    tarnel::TableType TableType = tarnel::TableType::Default;

    bool operator==(const TableReference&) const = default;
};

} // namespace tarnel
