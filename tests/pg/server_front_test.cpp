// A server alias table from the outside: tarnel-cli, and the password dialog
// a user types into when the server wants a password.
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <gtest/gtest.h>

#include "engine/aliases.h"
#include "engine/error.h"
#include "engine/pg/pg_connection.h"
#include "engine/table.h"
#include "tests/cli/run_cli.h"
#include "tests/support/pg_server.h"
#include "tests/support/test_paths.h"
#include "tests/support/thrown_by.h"
#include "workspace/password_dlg.h"

using namespace tarnel;
using tarnel::test::PgServer;

namespace {

class ServerFront : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1); }
    void TearDown() override
    {
        pg::SetPasswordPrompt(nullptr);
        ::unsetenv("XDG_CONFIG_HOME");
    }
    test::ScratchDir config_;
};

void Exec(const std::string& sql)
{
    pg::Connection c(PgServer::uri(), "");
    c.exec(sql);
}

// Opens LOCKED.caves while the dialog is answered by typing `typed` (Enter),
// or cancelled with Escape when typed is empty. Returns the error, if any.
std::string OpenTyping(TPasswordDlg& dialog, const QString& typed, Table& t)
{
    QTimer::singleShot(0, &dialog, [&dialog, typed] {
        QTest::keyClicks(dialog.PasswordEdit, typed);
        QTest::keyClick(dialog.PasswordEdit, typed.isEmpty() ? Qt::Key_Escape : Qt::Key_Return);
    });
    t.close();
    t.setDatabaseName("LOCKED");
    t.setTableName("caves");
    return test::ThrownBy([&] { t.open(); });
}

} // namespace

TEST_F(ServerFront, TheCliReadsAServerAliasTable)
{
    Exec("DROP TABLE IF EXISTS survey");
    Exec("CREATE TABLE survey (id integer PRIMARY KEY, station varchar(12), depth numeric(6,1))");
    Exec("INSERT INTO survey SELECT g, 'A' || g, g * 1.5 FROM generate_series(1, 1000) g");
    AddAlias("CLUB", PgServer::uri());
    test::Outcome info = test::RunCli({"info", "CLUB", "survey"}, config_.path());
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out, "rows\t1000\n1\tid\tInteger\t0\n2\tstation\tString\t12\n3\tdepth\tBCD\t6\n");
    test::Outcome dump = test::RunCli({"dump", "CLUB", "survey", "--limit", "2"}, config_.path());
    ASSERT_EQ(dump.status, 0) << dump.err;
    EXPECT_EQ(dump.out, "id,station,depth\r\n1,A1,1.5\r\n2,A2,3\r\n");
    test::Outcome missing = test::RunCli({"dump", "CLUB", "nothere"}, config_.path());
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("nothere on the alias CLUB"), std::string::npos) << missing.err;
}

TEST_F(ServerFront, APasswordTheServerWantsIsTypedIntoTheDialog)
{
    Exec("DROP TABLE IF EXISTS caves");
    Exec("CREATE TABLE caves (id integer PRIMARY KEY, name varchar(20))");
    Exec("INSERT INTO caves VALUES (1, 'Deep Hole')");
    Exec("DROP ROLE IF EXISTS digger");
    Exec("CREATE ROLE digger LOGIN PASSWORD 'under ground'");
    Exec("GRANT SELECT ON caves TO digger");
    ASSERT_TRUE(PgServer::requirePassword("digger")) << PgServer::lastError();
    ::unsetenv("PGPASSWORD");
    ::setenv("PGPASSFILE", (config_.path() + "/no-pgpass").c_str(), 1);
    AddAlias("LOCKED", "postgresql:///postgres?host=" + PgServer::socketFolder() + "&user=digger");

    Table t;
    t.setDatabaseName("LOCKED");
    t.setTableName("caves");
    // Without a way to ask, the server's refusal is the error.
    std::string error = test::ThrownBy([&] { t.open(); });
    EXPECT_EQ(error.rfind("Cannot connect to the alias LOCKED: ", 0), 0u) << error;

    TPasswordDlg dialog;
    InstallPasswordPrompt(&dialog);
    error = OpenTyping(dialog, "", t);   // cancelled
    EXPECT_NE(error.find("no password supplied"), std::string::npos) << error;
    error = OpenTyping(dialog, "wrong", t);
    EXPECT_NE(error.find("password authentication failed"), std::string::npos) << error;
    EXPECT_NE(error.find("LOCKED"), std::string::npos) << error;
    error = OpenTyping(dialog, "under ground", t);
    ASSERT_EQ(error, "");
    EXPECT_EQ(t.valueAt(0, 1).s, "Deep Hole");
    EXPECT_TRUE(dialog.PasswordEdit->text().isEmpty());   // nothing kept in the window
    ::unsetenv("PGPASSFILE");
}
