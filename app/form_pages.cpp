// Until the query pages are plugged in, each page is an empty panel with a
// note, and the calls below do nothing. Plugging a page in means creating it
// here and forwarding each call to it.
#include "app/form_pages.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

namespace tarnel::app {

namespace {
QWidget* PlaceholderPage(QWidget* parent, const QString& note)
{
    auto* page = new QWidget(parent);
    auto* layout = new QVBoxLayout(page);
    auto* label = new QLabel(note, page);
    label->setAlignment(Qt::AlignCenter);
    label->setEnabled(false);
    layout->addWidget(label);
    return page;
}
} // namespace

// --- Query Builder page (TQueryBuilderPage) ---
QWidget* CreateQueryBuilderPage(QWidget* parent)
{
    return PlaceholderPage(parent, QStringLiteral("The query builder is not available in this build."));
}

void ClearStatementBoxes(QWidget*) {}

// --- Do Query page (TDoQueryPage) ---
QWidget* CreateDoQueryPage(QWidget* parent)
{
    return PlaceholderPage(parent, QStringLiteral("Queries are not available in this build."));
}

void CloseQuery(QWidget*) {}
void ClearCaveFieldBoxes(QWidget*) {}
void ClearFieldLists(QWidget*) {}
void FillFieldLists(QWidget*, const std::vector<FieldDef>&) {}
void SetQueryTable(QWidget*, const TableReference&) {}
void SetExportControlsEnabled(QWidget*, bool) {}

} // namespace tarnel::app
