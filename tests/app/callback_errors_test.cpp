// An engine error raised inside each kind of Qt callback is shown in the
// error box, and the program goes on.
#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "engine/error.h"
#include "query/do_query_page.h"
#include "query/program_monitor.h"
#include "query/viewer_watch.h"
#include "tests/app/form_fixture.h"

namespace tarnel::test {

namespace {

// An object whose event handler fails on every posted event, with no guard of
// its own: only the application's last line of defence stands between it and
// an abort.
class FailingReceiver : public QObject {
public:
    int seen = 0;
    bool event(QEvent* e) override
    {
        if (e->type() != QEvent::User) return QObject::event(e);
        ++seen;
        throw EngineError("Record locked by another user");
    }
};

} // namespace

TEST_F(FormTest, AnEngineErrorInAnyCallbackIsShownAndTheProgramGoesOn)
{
    // An event handler.
    FailingReceiver receiver;
    QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    EXPECT_EQ(receiver.seen, 2);
    EXPECT_EQ(errors, QStringList({"Record locked by another user", "Record locked by another user"}));
    EXPECT_EQ(boxes.value(0).title, ApplicationTitle());

    // A timer: the viewer watch's look at the process table.
    errors.clear();
    auto* watch = form->DoQueryPage->findChild<query::TViewerWatch*>();
    ASSERT_TRUE(watch);
    watch->SetRunningTest([]() -> bool { throw EngineError("Process table unreadable"); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !errors.isEmpty(); }, 3000));
    EXPECT_EQ(errors.value(0), "Process table unreadable");
    EXPECT_TRUE(watch->Timer1()->isActive());
    watch->SetRunningTest([] { return false; });

    // A timer: the program monitor's watch for the end of a started program.
    errors.clear();
    query::TProgramMonitor monitor;
    monitor.OnFinish = [](query::TProgramMonitor*, query::TMonitorType) {
        throw EngineError("Viewer ended");
    };
    ASSERT_TRUE(monitor.StartProgram("true"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !errors.isEmpty(); }, 5000));
    EXPECT_EQ(errors.value(0), "Viewer ended");
    EXPECT_FALSE(monitor.Running());

    // A signal: a click on a button whose handler fails.
    errors.clear();
    form->DoQueryPage->setCurrentTableSource([]() -> std::pair<QString, QString> {
        throw EngineError("Table is busy");
    });
    QTest::mouseClick(form->DoQueryPage->DoQueryBtn, Qt::LeftButton);
    EXPECT_EQ(errors, QStringList({"Table is busy"}));

    // A model callback: a cell value the field cannot take.
    errors.clear();
    MakeTable("a.dbf", 2);
    OpenThroughDialog("a.dbf");
    EnableEditing(true);
    DataSetModel* model = form->DataSource1;
    EXPECT_FALSE(model->setData(model->index(0, 1), "deep", Qt::EditRole));
    EXPECT_EQ(errors.size(), 1);

    // Work deferred to the event loop: a damaged table named on the command
    // line, opened once the window is up.
    errors.clear();
    const std::string junk = dir.file("junk.dbf");
    {
        QFile f(QString::fromStdString(junk));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is not a table");
    }
    app::TForm1 second(std::make_unique<FakeServices>(), QStringList{"tarnel", QString::fromStdString(junk)});
    second.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !errors.isEmpty(); }, 3000));
    EXPECT_EQ(errors.size(), 1);
    second.close();

    // Still working: the table opens again.
    errors.clear();
    OpenThroughDialog("a.dbf");
    EXPECT_TRUE(form->Table1.active());
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

} // namespace tarnel::test
