// A server table in the main window: the first rows before the count, the
// Refresh button beside another user's change, a URI typed into the Open
// dialog, and a server that stops while the grid shows its rows.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <gtest/gtest.h>

#include "app/db_navigator.h"
#include "controls/dataset_model.h"
#include "engine/aliases.h"
#include "engine/pg/pg_connection.h"
#include "tests/app/form_fixture.h"
#include "tests/support/pg_server.h"
#include "workspace/open_db_dlg.h"

using namespace tarnel;
using tarnel::app::NavButton;
using tarnel::test::PgServer;

namespace {

class ServerWindow : public test::FormTest {
protected:
    void SetUp() override
    {
        ::setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
        AddAlias("CLUB", PgServer::uri());
        FormTest::SetUp();
    }
    void TearDown() override
    {
        FormTest::TearDown();
        ::unsetenv("XDG_CONFIG_HOME");
    }

    static std::string Query(const std::string& sql)
    {
        pg::Connection c(PgServer::uri(), "");
        pg::Result r = c.exec(sql);
        return r.rows() ? r.text(0, 0) : std::string();
    }
    static void MakeTrail(const std::string& name, int rows)
    {
        Query("DROP TABLE IF EXISTS " + name);
        Query("CREATE TABLE " + name + " (id integer PRIMARY KEY, note varchar(40), hits integer)");
        Query("INSERT INTO " + name + " SELECT g, 'note ' || g, 0 FROM generate_series(1, " + std::to_string(rows) +
              ") g");
    }
    // The Open Database command, answered with a database (alias or URI) and a table.
    void Open(const QString& database, const QString& table)
    {
        services->openPath = database;
        services->openTable = table;
        form->OpenDBFileMenu->trigger();
        form->show();
    }
    void Click(NavButton which) { QTest::mouseClick(form->DBNavigator1->button(which), Qt::LeftButton); }
    QString Cell(int row, int column) { return form->DataSource1->data(form->DataSource1->index(row, column)).toString(); }

    test::ScratchDir config_;
};

} // namespace

TEST_F(ServerWindow, TheGridShowsTheFirstRowsWhileTheRowsAreCounted)
{
    MakeTrail("trail", 5000);
    Open("CLUB", "trail");
    DataSetModel* m = form->DataSource1;
    // The count comes back through the event loop, which has not run yet.
    EXPECT_EQ(form->RowDis->text(), "counting");
    EXPECT_LT(m->rowCount(), 5000);
    EXPECT_EQ(Cell(0, 1), "note 1");
    EXPECT_TRUE(form->DBNavigator1->button(NavButton::Last)->isEnabled());

    ASSERT_TRUE(QTest::qWaitFor([&] { return form->RowDis->text() == "5000"; }, 5000)) << form->RowDis->text().toStdString();
    EXPECT_EQ(m->rowCount(), 5000);
    QTest::keyClick(form->DBGrid1, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(m->currentRow(), 4999);
    EXPECT_EQ(Cell(4999, 0), "5000");
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(ServerWindow, RefreshKeepsTheRowInEditingAndItsPostChecksTheRowReadAgain)
{
    MakeTrail("ledger", 500);
    Open("CLUB", "ledger");
    EnableEditing(true);
    DataSetModel* m = form->DataSource1;
    QTableView* grid = form->DBGrid1;
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(m->index(2, 1)).center());
    QTest::keyClick(grid, 'm');
    auto* editor = grid->viewport()->findChild<QLineEdit*>();
    ASSERT_TRUE(editor);
    QTest::keyClicks(editor, "ine");
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(m->editing());

    Query("UPDATE ledger SET hits = 7 WHERE id = 3");   // another user, meanwhile
    Click(NavButton::Refresh);
    EXPECT_TRUE(m->editing());
    EXPECT_EQ(Cell(2, 1), "mine");
    EXPECT_EQ(Query("SELECT note FROM ledger WHERE id = 3"), "note 3");   // nothing posted

    // The post goes through against the row as read again, keeping the other user's change.
    Click(NavButton::Post);
    EXPECT_FALSE(m->editing());
    EXPECT_EQ(Query("SELECT note || '/' || hits FROM ledger WHERE id = 3"), "mine/7");
    EXPECT_EQ(Cell(2, 2), "7");

    // Cancel after a refresh leaves the row as the server holds it.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(m->index(4, 1)).center());
    QTest::keyClick(grid, 'x');
    QTest::keyClick(grid->viewport()->findChild<QLineEdit*>(), Qt::Key_Return);
    Query("UPDATE ledger SET note = 'theirs' WHERE id = 5");
    Click(NavButton::Refresh);
    EXPECT_EQ(Cell(4, 1), "x");
    Click(NavButton::Cancel);
    EXPECT_EQ(Cell(4, 1), "theirs");
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(ServerWindow, AServerUriTypedIntoTheOpenDialogOpensLikeAnAlias)
{
    MakeTrail("depot", 20);
    const QString uri = QString::fromStdString(PgServer::uri());
    const QString down = QStringLiteral("postgresql:///postgres?host=/nonexistent-socket-folder");
    TOpenDBDlg dlg;
    QString database, table;
    QString errorWhileOpen;
    QTimer::singleShot(0, &dlg, [&] {
        auto typeUri = [&](const QString& text) {
            dlg.FileEdit1->selectAll();
            QTest::keyClicks(dlg.FileEdit1, text);
            QTest::keyClick(dlg.FileEdit1, Qt::Key_Return);
        };
        typeUri(down);   // told, and the dialog stays
        errorWhileOpen = errors.join("\n");
        typeUri(uri);
        const QList<QListWidgetItem*> found = dlg.TableList->findItems("depot", Qt::MatchExactly);
        if (found.isEmpty()) {
            dlg.reject();
            return;
        }
        QTest::mouseClick(dlg.TableList->viewport(), Qt::LeftButton, {},
                          dlg.TableList->visualItemRect(found.first()).center());
        QTest::mouseClick(dlg.OKBtn, Qt::LeftButton);
    });
    ASSERT_TRUE(dlg.ExecuteOpenDBDlg(database, table)) << errorWhileOpen.toStdString();
    EXPECT_TRUE(errorWhileOpen.startsWith("Cannot connect to the alias " + down + ": ")) << errorWhileOpen.toStdString();
    EXPECT_TRUE(errorWhileOpen.contains("No such file")) << errorWhileOpen.toStdString();
    EXPECT_EQ(database, uri);
    EXPECT_EQ(table, "depot");

    errors.clear();
    Open(database, table);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    EXPECT_EQ(form->RowDis->text(), "20");
    EXPECT_EQ(Cell(19, 1), "note 20");
    EXPECT_EQ(services->added.value(0), "$:/" + uri + "/depot");
}

TEST_F(ServerWindow, AServerStoppedUnderTheGridIsToldAndRefreshRecovers)
{
    MakeTrail("cavern", 3000);
    Open("CLUB", "cavern");
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->RowDis->text() == "3000"; }, 5000));
    PgServer::stop();
    QTest::keyClick(form->DBGrid1, Qt::Key_End, Qt::ControlModifier);
    const bool told = QTest::qWaitFor([&] { return !errors.isEmpty(); }, 5000);
    ASSERT_TRUE(PgServer::restart());
    ASSERT_TRUE(told);
    EXPECT_TRUE(errors.first().startsWith("Cannot connect to the alias CLUB: ")) << errors.first().toStdString();
    EXPECT_TRUE(errors.first().contains("No such file")) << errors.first().toStdString();

    errors.clear();
    Click(NavButton::Refresh);
    EXPECT_EQ(Cell(2999, 0), "3000");
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->RowDis->text() == "3000"; }, 5000));
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}
