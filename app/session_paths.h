#pragma once
// Texts of the table session: recent-files entries, folder parts, and the
// file dialogs' filter lists. "/" is the folder separator.
#include <QString>
#include <QStringList>

#include "tables/table_reference.h"

namespace tarnel::app {

// The mark that starts an entry written from a path-or-alias and a table name.
inline const QString kAliasMarker = QStringLiteral("$:/");

// "$:/" + path-or-alias + "/" + table name. A folder keeps its own final
// "/" and so gains a second one: "$://data/caves//historic.dbf".
QString MakeRecentEntry(const QString& pathOrAlias, const QString& tableName);

// Everything up to and including the last "/" (empty when there is none).
QString FolderPart(const QString& path);

// The database name and table name a recent-files entry (either form) stands for.
// The table type is Default.
TableReference ParseRecentEntry(const QString& entry);

// The window caption for an open table: "historic.dbf - Tarnel 32".
QString TableCaption(const QString& tableName);

// A filter text "Description|pattern;pattern|Description|pattern" as name
// filters for a file dialog. The patterns match without regard to letter
// case, and "*.*" matches every file, with or without an extension.
QStringList NameFiltersFromFilterText(const QString& filterText);

} // namespace tarnel::app
