// The viewer link end to end: the built Oculo32 on a private session bus that
// this test starts, reached by the D-Bus link and by "Send To Viewer".
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/database.h"
#include "engine/table.h"
#include "query/dbus/dbus_viewer_link.h"
#include "query/process_list.h"
#include "query/core/viewer_send.h"
#include "tests/support/memory_dataset.h"
#include "tests/support/test_paths.h"
#include "tests/viewer/viewer_bus.h"

using namespace tarnel;
using namespace tarnel::query;
using tarnel::test::Field;
using tarnel::test::MemoryDataSet;
using tarnel::test::ScratchDir;
using namespace tarnel::test;

namespace {

MemoryDataSet PoolsResult()
{
    MemoryDataSet ds({Field("STATION", ftString), Field("DEPTH", ftFloat)});
    ds.addRow({Value::text("A1"), Value::real(2.5)});
    ds.addRow({Value::text("A2"), Value::real(10)});
    ds.addRow({Value::text("B7"), Value::real(7.25)});
    return ds;
}

TViewerSendRequest PoolsRequest(MemoryDataSet& ds)
{
    TViewerSendRequest r;
    r.result = &ds;
    r.availableFields = {"STATION", "DEPTH"};
    r.stationFieldName = "STATION";
    r.numberFieldName = "DEPTH";
    r.featureName = "Pools";
    r.userLocale = QLocale::c();
    return r;
}

} // namespace

TEST_F(ViewerBus, RunningViewerReceivesEveryPokeByteForByte)
{
    ScratchDir dir;
    QString log = QString::fromStdString(dir.file("received.log"));
    qint64 viewer = startHeadlessViewer(log);
    EXPECT_TRUE(IsProgramRunning("Oculo32.exe"));

    MemoryDataSet ds = PoolsResult();
    std::vector<std::string> messages;
    auto box = [&](const std::string& m) { messages.push_back(m); };
    QByteArray expected;
    // Each send closes its link right after the poke: none may get lost.
    for (int k = 0; k < 12; ++k) {
        TViewerSendRequest request = PoolsRequest(ds);
        request.displayMethod = k % 3;
        TDBusViewerLink link;
        ASSERT_TRUE(UseResultSend(request, link, box));
        EXPECT_FALSE(link.isOpen());
        EXPECT_EQ(link.startedPid(), 0);
    }
    const char* blocks[] = {"#R,Pools,2.5,10\r\n#L,A1,2.5\r\n#L,A2,10\r\n#L,B7,7.25\r\n",
                            "#F,Pools\r\n#S,A1,2.5\r\n#S,A2,10\r\n#S,B7,7.25\r\n",
                            "#F,Pools\r\n#M,A1\r\n#D,A2\r\n#D,B7\r\n"};
    for (int k = 0; k < 12; ++k) expected += QByteArray(blocks[k % 3]) + QByteArray(1, '\0');
    EXPECT_TRUE(WaitFor([&] { return ReadAll(log).size() >= expected.size(); }));
    EXPECT_EQ(ReadAll(log), expected);
    EXPECT_TRUE(messages.empty());

    // A large stream in one poke, UTF-8 text included.
    MemoryDataSet big({Field("STATION", ftString)});
    for (int k = 0; k < 50000; ++k) big.addRow({Value::text("Grotte \xc3\xa9 " + std::to_string(k))});
    TLineList lines;
    WriteLineSegments(big, "Big", {1, -1, -1}, lines);
    TDBusViewerLink link;
    ASSERT_TRUE(link.openLink("Oculo32", "ViewerTopic"));
    EXPECT_TRUE(link.poke("ViewerItem", lines));
    link.closeLink();
    expected += QByteArray::fromStdString(ViewerPokeData(lines));
    EXPECT_TRUE(WaitFor([&] { return ReadAll(log).size() >= expected.size(); }));
    EXPECT_EQ(ReadAll(log), expected);

    // A second viewer does not take over the name.
    QProcess second;
    second.start(QString::fromStdString(kViewerProgram), {QStringLiteral("--headless")});
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_EQ(second.exitCode(), 1);

    StopProcess(viewer);
    EXPECT_TRUE(WaitFor([] { return !NameOwned(QStringLiteral("org.vantor.Oculo32")); }));
}

namespace {

// Many rows of one long station name, made on demand.
class RepeatedRows : public DataSet {
public:
    explicit RepeatedRows(std::int64_t rows) : rows_(rows)
    {
        fields_.push_back(Field("STATION", ftString));
        fields_[0].number = 1;
    }
    bool active() const override { return true; }
    const std::vector<FieldDef>& fields() const override { return fields_; }
    std::int64_t recordCount() const override { return rows_; }
    void moveTo(std::int64_t row) override { setCursor(std::min(row, rows_), row >= rows_); }
    Value value(int) const override { return Value::text(std::string(60, 'S')); }
    Value valueAt(std::int64_t, int) const override { return Value::text(std::string(60, 'S')); }

private:
    std::vector<FieldDef> fields_;
    std::int64_t rows_;
};

} // namespace

TEST_F(ViewerBus, StreamTooLargeForOneSendIsAnErrorNotACrash)
{
    ScratchDir dir;
    QString log = QString::fromStdString(dir.file("received.log"));
    qint64 viewer = startHeadlessViewer(log);
    RepeatedRows rows(1200000);   // 1.2 million lines of 66 bytes: about 75 MB
    TViewerSendRequest request;
    request.result = &rows;
    request.availableFields = {"STATION"};
    request.stationFieldName = "STATION";
    request.featureName = "Huge";
    request.userLocale = QLocale::c();
    TDBusViewerLink link;
    try {
        UseResultSend(request, link, [](const std::string&) {});
        FAIL() << "expected an error";
    } catch (const TViewerLinkError& e) {
        EXPECT_NE(std::string(e.what()).find("too large to send to the viewer"), std::string::npos);
    }
    EXPECT_FALSE(link.isOpen());
    EXPECT_FALSE(rows.viewsDisabled());
    // Nothing went out, and the viewer still takes the next send.
    MemoryDataSet ds = PoolsResult();
    TDBusViewerLink next;
    ASSERT_TRUE(UseResultSend(PoolsRequest(ds), next, [](const std::string&) {}));
    EXPECT_TRUE(WaitFor([&] { return ReadAll(log).startsWith("#R,Pools,"); }));
    StopProcess(viewer);
}

TEST_F(ViewerBus, LinkStartsTheViewerFromPath)
{
    ASSERT_FALSE(NameOwned(QStringLiteral("org.vantor.Oculo32")));
    ScopedEnv path("PATH", std::string(TARNEL_BIN_DIR) + ":/usr/bin:/bin");
    MemoryDataSet ds = PoolsResult();
    std::vector<std::string> messages;
    TDBusViewerLink link;
    TViewerSendRequest request = PoolsRequest(ds);
    EXPECT_TRUE(UseResultSend(request, link, [&](const std::string& m) { messages.push_back(m); }));
    EXPECT_TRUE(messages.empty());
    qint64 started = link.startedPid();
    EXPECT_GT(started, 0);
    EXPECT_TRUE(NameOwned(QStringLiteral("org.vantor.Oculo32")));

    // The next send finds it running and starts nothing.
    TDBusViewerLink again;
    EXPECT_TRUE(UseResultSend(request, again, [&](const std::string& m) { messages.push_back(m); }));
    EXPECT_EQ(again.startedPid(), 0);
    StopProcess(started);
    EXPECT_TRUE(WaitFor([] { return !NameOwned(QStringLiteral("org.vantor.Oculo32")); }));
}

TEST_F(ViewerBus, NoViewerAnywhereGivesTheConnectionMessage)
{
    ASSERT_FALSE(NameOwned(QStringLiteral("org.vantor.Oculo32")));
    ScratchDir empty;
    ScopedEnv path("PATH", empty.path());
    MemoryDataSet ds = PoolsResult();
    std::vector<std::string> messages;
    TDBusViewerLink link;
    EXPECT_FALSE(UseResultSend(PoolsRequest(ds), link,
                               [&](const std::string& m) { messages.push_back(m); }));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], ViewerConnectionMessage());
    EXPECT_EQ(link.startedPid(), 0);
    EXPECT_FALSE(link.isOpen());
    EXPECT_FALSE(link.poke("ViewerItem", {"#F,x"}));   // no conversation, no poke
}

TEST_F(ViewerBus, StartedProgramThatNeverAnswersGivesTheMessageAfterTheWait)
{
    // An "Oculo32" on PATH that is no viewer: the link waits, then gives up.
    ScratchDir dir;
    std::string fake = dir.file("Oculo32");
    {
        FILE* f = std::fopen(fake.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("#!/bin/sh\nexec sleep 5\n", f);
        std::fclose(f);
        chmod(fake.c_str(), 0755);
    }
    ScopedEnv path("PATH", dir.path() + ":/usr/bin:/bin");
    TDBusViewerLink link;
    link.setStartTimeout(600);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(link.openLink("Oculo32", "ViewerTopic"));
    EXPECT_GE(clock.elapsed(), 550);
    EXPECT_GT(link.startedPid(), 0);
    StopProcess(link.startedPid());
}

TEST(ViewerNoBus, NoSessionBusGivesTheConnectionMessage)
{
    ScratchDir dir;
    ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.file("no-such-bus"));
    ScopedEnv path("PATH", dir.path());
    MemoryDataSet ds = PoolsResult();
    std::vector<std::string> messages;
    TDBusViewerLink link;
    EXPECT_FALSE(UseResultSend(PoolsRequest(ds), link,
                               [&](const std::string& m) { messages.push_back(m); }));
    EXPECT_EQ(messages, std::vector<std::string>{ViewerConnectionMessage()});
}

namespace {

// The device a process's standard stream number `fd` is open on.
std::string StreamTarget(qint64 pid, int fd)
{
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd), ec)
        .string();
}

long SessionOf(qint64 pid) { return static_cast<long>(getsid(static_cast<pid_t>(pid))); }

} // namespace

TEST_F(ViewerBus, CliSendStartsTheViewerBesideItAndLeavesItsOutputFree)
{
    ASSERT_FALSE(NameOwned(QStringLiteral("org.vantor.Oculo32")));
    ScratchDir dir;
    CreateTableFiles(JoinPath(dir.path(), "pools.dbf"), {{"STATION", ftString, 10, 1}}, {});
    {
        Table t;
        t.setDatabaseName(dir.path());
        t.setTableName("pools.dbf");
        t.open();
        t.append();
        t.setValue(0, Value::text("A1"));
        t.post();
        t.close();
    }
    // PATH without the program folder, and the output read to its end by a pipe.
    QProcess shell;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    shell.setProcessEnvironment(env);
    shell.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), QStringLiteral("\"$0\" export \"$1\" pools --feature Pools --method marked "
                                                      "--station STATION --send | cat"),
                 QStringLiteral(TARNEL_BIN_DIR "/tarnel-cli"), QString::fromStdString(dir.path())});
    const bool ended = shell.waitForFinished(15000);
    if (!ended) shell.kill();
    EXPECT_TRUE(ended) << "the pipe stayed open";
    EXPECT_EQ(shell.readAllStandardOutput(), "Sent 2 lines of feature \"Pools\" to the viewer\n")
        << shell.readAllStandardError().toStdString();

    QDBusConnection bus = QDBusConnection::connectToBus(
        QString::fromUtf8(qgetenv("DBUS_SESSION_BUS_ADDRESS")), QStringLiteral("test-pid"));
    const qint64 viewer = bus.interface()->servicePid(QStringLiteral("org.vantor.Oculo32")).value();
    QDBusConnection::disconnectFromBus(QStringLiteral("test-pid"));
    ASSERT_GT(viewer, 0);
    for (int fd = 0; fd <= 2; ++fd) EXPECT_EQ(StreamTarget(viewer, fd), "/dev/null") << fd;
    EXPECT_NE(SessionOf(viewer), SessionOf(getpid()));
    StopProcess(viewer);
    EXPECT_TRUE(WaitFor([] { return !NameOwned(QStringLiteral("org.vantor.Oculo32")); }));
}
