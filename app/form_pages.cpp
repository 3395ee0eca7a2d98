// The two query pages of the main window and their wiring.
#include "app/form_pages.h"

#include <QPointer>
#include <QToolButton>

#include "controls/error_guard.h"
#include "query/core/viewer_send.h"
#include "query/dbus/dbus_viewer_link.h"
#include "query/do_query_page.h"
#include "query/query_builder_page.h"
#include "query/viewer_watch.h"
#include "shell/suite_settings.h"
#include "tables/field_types.h"

namespace tarnel::app {

namespace {

// One send: the result and the remembered names go to the viewer.
void SendToViewer(query::TDoQueryPage* page)
{
    WaitCursor wait;
    query::TDBusViewerLink link;
    query::UseResultSend(page->SendRequest(), link,
                         [page](const std::string& message) { ShowErrorBox(page, QString::fromStdString(message)); });
}

} // namespace

query::TQueryBuilderPage* CreateQueryBuilderPage(QWidget* parent)
{
    auto* page = new query::TQueryBuilderPage(parent);
    page->setTypeNameFunction([](int type) {
        QString name;
        FieldTypeDisplayName(type, name);
        return name;
    });
    return page;
}

query::TDoQueryPage* CreateDoQueryPage(QWidget* parent, query::TQueryBuilderPage* builder,
                                       std::function<TableReference()> currentTable)
{
    auto* page = new query::TDoQueryPage(parent);
    QPointer<query::TQueryBuilderPage> source(builder);
    page->setConditionSource([source] { return source ? source->queryText() : QString(); });
    page->setCurrentTableSource([currentTable = std::move(currentTable)] {
        const TableReference table = currentTable();
        return std::make_pair(table.DatabaseName, table.TableName);
    });
    QObject::connect(page, &query::TDoQueryPage::useResultRequested, page,
                     [page] { RunGuarded(page, [page] { SendToViewer(page); }); });
    auto* runViewBtn = new QToolButton(page);
    runViewBtn->setObjectName(QStringLiteral("RunViewBtn"));
    page->addUseResultButton(runViewBtn);
    new query::TViewerWatch(runViewBtn, [] { return ViewerPath(); }, page);
    return page;
}

} // namespace tarnel::app
