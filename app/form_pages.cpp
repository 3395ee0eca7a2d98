// The two query pages of the main window, and what the table session asks
// of them. The "Do Query" page also carries the viewer controls: "Send To
// Viewer" sends the result over the viewer link, and the "Run Viewer" button
// watches and starts the viewer.
#include "app/form_pages.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QToolButton>

#include "app/guarded.h"
#include "query/dbus/dbus_viewer_link.h"
#include "query/do_query_page.h"
#include "query/query_builder_page.h"
#include "query/core/viewer_send.h"
#include "query/viewer_watch.h"
#include "shell/suite_settings.h"
#include "tables/field_types.h"

namespace tarnel::app {

namespace {

TQueryBuilderPage* Builder(QWidget* page) { return qobject_cast<TQueryBuilderPage*>(page); }
TDoQueryPage* DoQuery(QWidget* page) { return qobject_cast<TDoQueryPage*>(page); }

// The builder page whose condition and field list go with a "Do Query" page.
TQueryBuilderPage* BuilderOf(QWidget* doQueryPage)
{
    if (!doQueryPage) return nullptr;
    return qobject_cast<TQueryBuilderPage*>(doQueryPage->property("builderPage").value<QObject*>());
}

// One send: the result and the remembered names go to the viewer.
void SendToViewer(TDoQueryPage* page)
{
    query::TViewerSendRequest request;
    request.result = &page->query();
    for (int k = 0; k < page->FieldList2->count(); ++k)
        request.availableFields.push_back(page->FieldList2->item(k)->text().toStdString());
    request.stationFieldName = page->stationFieldName().toStdString();
    request.secondFieldName = page->secondFieldName().toStdString();
    request.numberFieldName = page->numberFieldName().toStdString();
    request.featureName = page->featureName().toStdString();
    request.displayMethod = page->displayMethod();
    query::TDBusViewerLink link;
    query::UseResultSend(request, link, [page](const std::string& message) {
        QMessageBox::critical(page->window(), QStringLiteral("Error"), QString::fromStdString(message));
    });
}

} // namespace

QWidget* CreateQueryBuilderPage(QWidget* parent)
{
    auto* page = new TQueryBuilderPage(parent);
    page->setTypeNameFunction([](int type) {
        QString name;
        FieldTypeDisplayName(type, name);
        return name;
    });
    return page;
}

QWidget* CreateDoQueryPage(QWidget* parent)
{
    auto* page = new TDoQueryPage(parent);
    QPointer<TDoQueryPage> guard(page);
    page->setErrorHandler([guard](const QString& message) { ReportError(guard ? guard->window() : nullptr, message); });
    QObject::connect(page, &TDoQueryPage::useResultRequested, page,
                     [page] { RunGuarded(page->window(), [page] { SendToViewer(page); }); });
    auto* runViewBtn = new QToolButton(page);
    runViewBtn->setObjectName(QStringLiteral("RunViewBtn"));
    page->addUseResultButton(runViewBtn);
    new query::TViewerWatch(runViewBtn, [] { return ViewerPath(); }, page);
    return page;
}

void ConnectQueryPages(QWidget* queryBuilderPage, QWidget* doQueryPage)
{
    TQueryBuilderPage* builder = Builder(queryBuilderPage);
    TDoQueryPage* page = DoQuery(doQueryPage);
    if (!builder || !page) return;
    page->setProperty("builderPage", QVariant::fromValue<QObject*>(builder));
    QPointer<TQueryBuilderPage> source(builder);
    page->setConditionSource([source] { return source ? source->queryText() : QString(); });
}

void ClearStatementBoxes(QWidget* queryBuilderPage)
{
    if (auto* builder = Builder(queryBuilderPage)) {
        // The six boxes; the field list is the session's to clear (ClearFieldLists).
        for (QLineEdit* box : {builder->Term1Edit, builder->Op1Edit, builder->Term2Edit, builder->Term3Edit,
                               builder->Op2Edit, builder->Term4Edit})
            box->clear();
    }
}

void CloseQuery(QWidget* doQueryPage)
{
    if (auto* page = DoQuery(doQueryPage)) page->query().close();
}

void ClearCaveFieldBoxes(QWidget* doQueryPage)
{
    if (auto* page = DoQuery(doQueryPage)) {
        page->StationEdit->clear();
        page->SecondEdit->clear();
        page->NumberEdit->clear();
    }
}

void ClearFieldLists(QWidget* doQueryPage)
{
    if (auto* builder = BuilderOf(doQueryPage)) builder->setFields(std::vector<FieldDef>());
    if (auto* page = DoQuery(doQueryPage)) page->ClearFieldList();
}

void FillFieldLists(QWidget* doQueryPage, const std::vector<FieldDef>& fields)
{
    if (auto* builder = BuilderOf(doQueryPage)) builder->setFields(fields);
    if (auto* page = DoQuery(doQueryPage)) page->FillFieldLists(fields);
}

void SetQueryTableSource(QWidget* doQueryPage, std::function<TableReference()> source)
{
    if (auto* page = DoQuery(doQueryPage))
        page->setCurrentTableSource([source = std::move(source)] {
            const TableReference table = source();
            return std::make_pair(table.DatabaseName, table.TableName);
        });
}

void SetExportControlsEnabled(QWidget* doQueryPage, bool enabled)
{
    if (auto* page = DoQuery(doQueryPage)) page->SetExportControlsEnabled(enabled);
}

} // namespace tarnel::app
