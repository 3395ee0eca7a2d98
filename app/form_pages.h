#pragma once
// The "Query Builder" and "Do Query" pages of the main window, and the few
// things the table session asks of them. The window sees the pages only
// through these functions.
#include <functional>
#include <vector>

#include "engine/dataset.h"
#include "tables/table_reference.h"

class QWidget;

namespace tarnel::app {

QWidget* CreateQueryBuilderPage(QWidget* parent);
QWidget* CreateDoQueryPage(QWidget* parent);
// The "Do Query" page takes its condition from the builder's QueryEdit, and
// the table's fields reach both pages' field lists.
void ConnectQueryPages(QWidget* queryBuilderPage, QWidget* doQueryPage);

// Query Builder page: empties Term1Edit, Op1Edit, Term2Edit, Term3Edit,
// Op2Edit and Term4Edit.
void ClearStatementBoxes(QWidget* queryBuilderPage);

// Do Query page.
void CloseQuery(QWidget* doQueryPage);                 // closes Query1
void ClearCaveFieldBoxes(QWidget* doQueryPage);        // StationEdit, SecondEdit, NumberEdit
void ClearFieldLists(QWidget* doQueryPage);            // FieldList1, then FieldList2
void FillFieldLists(QWidget* doQueryPage, const std::vector<FieldDef>& fields);
// The table a query reads: asked for each time "Do Query" runs, so that it is
// always the window's current table, even after a failed open.
void SetQueryTableSource(QWidget* doQueryPage, std::function<TableReference()> source);
void SetExportControlsEnabled(QWidget* doQueryPage, bool enabled);

} // namespace tarnel::app
