// "Copy Database" and "Edit/Restructure Table" on a server alias, driven by
// clicks and keys as a user drives them.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include "controls/radio_group.h"
#include "engine/aliases.h"
#include "engine/pg/pg_connection.h"
#include "engine/table.h"
#include "tables/table_edit_dlg.h"
#include "tests/support/box_recorder.h"
#include "tests/support/pg_server.h"
#include "tests/tables/field_list_input.h"
#include "tests/workspace/workspace_test_support.h"
#include "workspace/copy_db_dlg.h"
#include "workspace/open_db_dlg.h"

namespace tarnel::test {
namespace {

void ClickItem(QListWidget* list, const QString& text)
{
    const auto found = list->findItems(text, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << text.toStdString();
    list->scrollToItem(found[0]);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found[0]).center());
}

void Retype(QLineEdit* edit, const QString& text)
{
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, text);
}

// Every row of a table as text, blanks padding fixed-width text left off.
std::vector<std::vector<std::string>> RowsOf(const std::string& database, const std::string& name)
{
    Table t;
    t.setDatabaseName(database);
    t.setTableName(name);
    t.setReadOnly(true);
    t.open();
    std::vector<std::vector<std::string>> rows;
    for (t.first(); !t.eof(); t.next()) {
        rows.emplace_back();
        for (int f = 0; f < t.fieldCount(); ++f) {
            std::string text = t.asText(f);
            text.erase(text.find_last_not_of(' ') + 1);
            rows.back().push_back(text);
        }
    }
    return rows;
}

class ServerDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        pg::Connection admin(PgServer::uri(), "");
        admin.exec("DROP DATABASE IF EXISTS dialogs");
        admin.exec("CREATE DATABASE dialogs");
        AddAlias("CLUB", PgServer::uri("dialogs"));
        server = std::make_unique<pg::Connection>(PgServer::uri("dialogs"), "CLUB");
    }

    ChooserEnvironment env;   // first: the alias store lives in it
    BoxRecorder boxes;
    std::unique_ptr<pg::Connection> server;
};

class CopyDialog : public ServerDialogs {
protected:
    void SetUp() override
    {
        ServerDialogs::SetUp();
        Table t;
        t.setDatabaseName(folder.path());
        t.setTableName("caves.dbf");
        t.addFieldDef("STATION", ftString, 16);
        t.addFieldDef("DEPTH", ftFloat, 10, false, 2);
        t.addFieldDef("FOUND", ftDate, 0);
        t.addFieldDef("WET", ftBoolean, 0);
        t.createTable();
        t.open();
        const char* stations[] = {"Grotte à l'eau", "B\\2", "", "Höhle 4"};
        for (int i = 0; i < 4; ++i) {
            t.append();
            t.setText(0, stations[i]);
            if (i != 2) t.setText(1, std::to_string(i * 12) + ".75");
            t.setText(2, "2024-03-1" + std::to_string(i));
            t.setText(3, i % 2 ? "T" : "F");
            t.post();
        }
        dlg.ChooseTable = [this](QString& path, QString& table) { return chooser.ExecuteOpenDBDlg(path, table); };
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    }
    void ChooseMode(const char* mode)
    {
        for (int i = 0; i < 5; ++i) {
            QRadioButton* item = dlg.CopyModeRadio->item(i);
            if (item->text() == mode) QTest::mouseClick(item, Qt::LeftButton, {}, QPoint(6, item->height() / 2));
        }
        ASSERT_EQ(dlg.CopyModeRadio->item(dlg.CopyModeRadio->ItemIndex())->text(), mode);
    }
    void Side(QLineEdit* path, QLineEdit* table, const std::string& p, const char* t)
    {
        Retype(path, QString::fromStdString(p));
        Retype(table, t);
    }

    ScratchDir folder;
    TOpenDBDlg chooser;
    TCopyDBDlg dlg;
};

TEST_F(CopyDialog, RowsGoOntoTheServerAndBackValueForValue)
{
    // Onto the server: the alias typed as the destination, a new table by Copy.
    Side(dlg.SourcePathEdit, dlg.SourceTableEdit, folder.path(), "caves.dbf");
    Side(dlg.DestPathEdit, dlg.DestTableEdit, "CLUB", "caves");
    ChooseMode("Copy");
    QTest::mouseClick(dlg.CopyBtn, Qt::LeftButton);
    ASSERT_EQ(boxes.errors(), QStringList());
    const auto rows = RowsOf(folder.path(), "caves.dbf");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(RowsOf("CLUB", "caves"), rows);
    EXPECT_EQ(server->exec("SELECT \"STATION\" FROM caves WHERE \"DEPTH\" IS NULL").text(0, 0), "");

    // Back from the server: the alias and the table chosen in the Open Database dialog.
    WhenShown(&chooser, [this] {
        if (!chooser.UseAliasChk->isChecked()) QTest::mouseClick(chooser.UseAliasChk, Qt::LeftButton);
        ClickItem(chooser.AliasList, "CLUB");
        ClickItem(chooser.TableList, "caves");
        QTest::mouseClick(chooser.OKBtn, Qt::LeftButton);
    });
    QTest::mouseClick(dlg.BrowseSourceBtn, Qt::LeftButton);
    EXPECT_EQ(dlg.SourcePathEdit->text(), "CLUB");
    EXPECT_EQ(dlg.SourceTableEdit->text(), "caves");
    Side(dlg.DestPathEdit, dlg.DestTableEdit, folder.path(), "back.dbf");
    QTest::keyClick(dlg.DestTableEdit, Qt::Key_Return);   // Enter presses Copy
    ASSERT_EQ(boxes.errors(), QStringList());
    EXPECT_EQ(RowsOf(folder.path(), "back.dbf"), rows);

    // Append onto the server table adds the rows once more.
    Side(dlg.SourcePathEdit, dlg.SourceTableEdit, folder.path(), "caves.dbf");
    Side(dlg.DestPathEdit, dlg.DestTableEdit, "CLUB", "caves");
    ChooseMode("Append");
    QTest::mouseClick(dlg.CopyBtn, Qt::LeftButton);
    ASSERT_EQ(boxes.errors(), QStringList());
    EXPECT_EQ(server->exec("SELECT count(*), count(DISTINCT \"STATION\") FROM caves").text(0, 0), "8");
}

TEST_F(CopyDialog, AServerThatIsDownIsNamedInAnErrorBoxAndTheDialogGoesOn)
{
    Side(dlg.SourcePathEdit, dlg.SourceTableEdit, folder.path(), "caves.dbf");
    Side(dlg.DestPathEdit, dlg.DestTableEdit, "CLUB", "caves");
    ChooseMode("Copy");
    server.reset();
    PgServer::stop();
    QTest::mouseClick(dlg.CopyBtn, Qt::LeftButton);
    ASSERT_TRUE(PgServer::restart());
    ASSERT_EQ(boxes.errors().size(), 1);
    const QString error = boxes.errors()[0];
    EXPECT_TRUE(error.startsWith("Cannot connect to the alias CLUB: ")) << error.toStdString();
    EXPECT_TRUE(error.contains("No such file")) << error.toStdString();   // the server's own words
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.DestPathEdit->text(), "CLUB");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // The server back, the same click copies.
    QTest::mouseClick(dlg.CopyBtn, Qt::LeftButton);
    EXPECT_EQ(boxes.errors().size(), 1);
    EXPECT_EQ(RowsOf("CLUB", "caves"), RowsOf(folder.path(), "caves.dbf"));
}

class RestructureDialog : public ServerDialogs {
protected:
    void SetUp() override
    {
        ServerDialogs::SetUp();
        server->exec("CREATE TABLE trail (id serial PRIMARY KEY, station varchar(8), depth integer)");
        server->exec("INSERT INTO trail (station, depth) VALUES ('A1', 10), ('B2', 20), ('C3', 30)");
        table.setDatabaseName("CLUB");
        table.setTableName("trail");
        table.open();
    }
    QStringList TableFields() const
    {
        QStringList names;
        for (const FieldDef& f : table.fields()) names << QString::fromStdString(f.name);
        return names;
    }
    void MoveUp(int row, int times)
    {
        ClickRow(dlg.FieldList, row);
        for (int i = 0; i < times; ++i) QTest::mouseClick(dlg.MoveUpBtn, Qt::LeftButton);
    }

    Table table;
    TTableEditDlg dlg;
};

TEST_F(RestructureDialog, ANewOrderIsKeptAndACancelledWaitLeavesTheTable)
{
    const std::string before = "1,A1,10;2,B2,20;3,C3,30;";
    auto contents = [this](const char* columns) {
        pg::Result r = server->exec(std::string("SELECT ") + columns + " FROM trail ORDER BY id");
        std::string all;
        for (int i = 0; i < r.rows(); ++i) all += r.text(i, 0) + "," + r.text(i, 1) + "," + r.text(i, 2) + ";";
        return all;
    };
    WhenShown(&dlg, [&] {
        MoveUp(2, 2);   // depth first
        QTest::mouseClick(dlg.CommitBtn, Qt::LeftButton);
        EXPECT_EQ(boxes.errors(), QStringList());
        EXPECT_EQ(EntryNames(dlg.FieldList), QStringList({"depth", "id", "station"}));

        // Another user reads the table: the rebuild waits behind a busy
        // progress box, whose Cancel stops it and rolls it back.
        pg::Connection reader(PgServer::uri("dialogs"), "CLUB");
        reader.exec("BEGIN");
        reader.exec("LOCK TABLE trail IN ACCESS SHARE MODE");
        MoveUp(2, 1);
        bool busy = false;
        QTimer cancel;
        QObject::connect(&cancel, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QProgressDialog*>(w);
                if (!box || !box->isVisible()) continue;
                busy = box->maximum() == 0;
                for (QPushButton* button : box->findChildren<QPushButton*>())
                    if (button->text() == "Cancel") QTest::mouseClick(button, Qt::LeftButton);
                cancel.stop();
            }
        });
        cancel.start(50);
        QTest::mouseClick(dlg.CommitBtn, Qt::LeftButton);
        reader.exec("COMMIT");
        EXPECT_TRUE(busy);
        EXPECT_EQ(boxes.errors(), QStringList());
        EXPECT_EQ(EntryNames(dlg.FieldList), QStringList({"depth", "station", "id"}));   // the edit stays
        QTest::mouseClick(dlg.CancelBtn, Qt::LeftButton);
    });
    dlg.ExecuteTableEditDlg(table);
    ASSERT_TRUE(table.active());
    EXPECT_EQ(TableFields(), QStringList({"depth", "id", "station"}));
    EXPECT_EQ(contents("id, station, depth"), before);
    EXPECT_FALSE(table.readOnly());
}

} // namespace
} // namespace tarnel::test
