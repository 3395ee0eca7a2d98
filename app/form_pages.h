#pragma once
// The "Query Builder" and "Do Query" pages of the main window: made here and
// wired to each other, to the window's current table and to the viewer.
#include <functional>

#include "tables/table_reference.h"

class QWidget;

namespace tarnel::query {
class TDoQueryPage;
class TQueryBuilderPage;
}

namespace tarnel::app {

query::TQueryBuilderPage* CreateQueryBuilderPage(QWidget* parent);
// The "Do Query" page takes its condition from the builder's QueryEdit and,
// each time "Do Query" runs, its table from `currentTable`, so that it is
// always the window's current table, even after a failed open. "Send To
// Viewer" sends the result over the viewer link; the "Run Viewer" button
// watches and starts the viewer.
query::TDoQueryPage* CreateDoQueryPage(QWidget* parent, query::TQueryBuilderPage* builder,
                                       std::function<TableReference()> currentTable);

} // namespace tarnel::app
