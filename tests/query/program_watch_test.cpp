// Watching programs: the process-table look-up against real child processes,
// the program monitor's start and finish, and the "Run Viewer" button.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPalette>
#include <QTest>
#include <QToolButton>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include "controls/error_guard.h"
#include "tests/support/box_recorder.h"
#include "query/process_list.h"
#include "query/program_monitor.h"
#include "query/viewer_watch.h"
#include "tests/support/test_paths.h"

using namespace tarnel::query;
using tarnel::test::ScratchDir;
namespace fs = std::filesystem;

namespace {

// A copy of sleep under a name no other process has.
std::string ProgramCopy(const ScratchDir& dir, const std::string& name)
{
    std::string path = dir.file(name);
    fs::copy_file("/bin/sleep", path);
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

std::string UniqueName(const char* stem)
{
    return std::string(stem) + std::to_string(getpid());
}

template <typename Condition>
bool WaitFor(Condition done, int ms = 5000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(20);
    }
    return true;
}

std::string Upper(std::string s)
{
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

TEST(ProcessList, MatchNameIsTheTrimmedFileNameWithoutExe)
{
    EXPECT_EQ(ProgramMatchName("Oculo32.exe"), "Oculo32");
    EXPECT_EQ(ProgramMatchName("/opt/vantor/OCULO32.EXE"), "OCULO32");
    EXPECT_EQ(ProgramMatchName(" \tOculo32 \n"), "Oculo32");
    EXPECT_EQ(ProgramMatchName("viewer.exe.bak"), "viewer.exe.bak");
    EXPECT_EQ(ProgramMatchName("/usr/bin/"), "");
    EXPECT_FALSE(IsProgramRunning(""));
    EXPECT_FALSE(IsProgramRunning("/usr/bin/"));
}

TEST(ProcessList, SeesARunningChildByNameOnly)
{
    ScratchDir dir;
    std::string name = UniqueName("TarnelProbe");
    std::string path = ProgramCopy(dir, name);
    EXPECT_FALSE(IsProgramRunning(name));

    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execl(path.c_str(), name.c_str(), "30", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_TRUE(WaitFor([&] { return IsProgramRunning(name); }));
    EXPECT_TRUE(IsProgramRunning(Upper(name) + ".EXE"));           // case and .exe ignored
    EXPECT_TRUE(IsProgramRunning("/some/other/folder/" + name));   // folder ignored
    EXPECT_FALSE(IsProgramRunning(name.substr(0, name.size() - 1)));

    // Ended but not yet collected: not running.
    kill(pid, SIGKILL);
    EXPECT_TRUE(WaitFor([&] { return !IsProgramRunning(name); }));
    waitpid(pid, nullptr, 0);
    EXPECT_FALSE(IsProgramRunning(name));
}

TEST(ProgramMonitorTest, WatchesAStartedProgramToItsEnd)
{
    TProgramMonitor monitor;
    EXPECT_FALSE(monitor.Running());
    EXPECT_EQ(monitor.MonitorType(), mtNone);
    EXPECT_FALSE(monitor.WatchTimer()->isActive());

    int finished = 0;
    TMonitorType reported = mtNone;
    monitor.OnFinish = [&](TProgramMonitor* sender, TMonitorType type) {
        EXPECT_EQ(sender, &monitor);
        reported = type;
        ++finished;
    };
    // Quotes group words; no shell is involved in the split.
    ASSERT_TRUE(monitor.StartProgram("sh -c \"sleep 0.2; exit 7\""));
    EXPECT_TRUE(monitor.Running());
    EXPECT_EQ(monitor.MonitorType(), mtProgram);
    EXPECT_EQ(monitor.WatchTimer()->interval(), 250);
    EXPECT_TRUE(monitor.WatchTimer()->isActive());

    ASSERT_TRUE(WaitFor([&] { return finished > 0; }));
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(reported, mtProgram);
    EXPECT_FALSE(monitor.Running());
    EXPECT_EQ(monitor.ExitCode(), 7u);
    EXPECT_FALSE(monitor.WatchTimer()->isActive());
}

TEST(ProgramMonitorTest, FailedStartLeavesItIdle)
{
    ScratchDir dir;
    TProgramMonitor monitor;
    for (std::string line : {std::string(), std::string("   "), dir.file("missing-program"),
                             dir.path() /* a folder */}) {
        EXPECT_FALSE(monitor.StartProgram(line)) << line;
        EXPECT_FALSE(monitor.Running());
        EXPECT_EQ(monitor.MonitorType(), mtProgram);
        EXPECT_FALSE(monitor.WatchTimer()->isActive());
    }
}

TEST(ProgramMonitorTest, QuotedProgramPathWithBlanks)
{
    ScratchDir dir;
    fs::create_directory(dir.file("with blank"));
    std::string prog = dir.file("with blank/run me");
    fs::copy_file("/bin/true", prog);
    TProgramMonitor monitor;
    bool done = false;
    monitor.OnFinish = [&](TProgramMonitor*, TMonitorType) { done = true; };
    ASSERT_TRUE(monitor.StartProgram("\"" + prog + "\" ignored-argument"));
    ASSERT_TRUE(WaitFor([&] { return done; }));
    EXPECT_EQ(monitor.ExitCode(), 0u);
}

TEST(ProgramMonitorTest, NewerStartReplacesTheWatchedProgram)
{
    TProgramMonitor monitor;
    int finished = 0;
    monitor.OnFinish = [&](TProgramMonitor*, TMonitorType) { ++finished; };
    ASSERT_TRUE(monitor.StartProgram("sh -c \"exit 1\""));
    pid_t first = monitor.ProcessId();
    ASSERT_TRUE(monitor.StartProgram("sh -c \"sleep 0.3; exit 2\""));
    ASSERT_TRUE(WaitFor([&] { return finished > 0; }));
    QTest::qWait(300);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(monitor.ExitCode(), 2u);
    // The older one was collected too: no zombie left behind.
    EXPECT_EQ(waitpid(first, nullptr, WNOHANG), -1);
}

namespace {

struct WatchedButton {
    QToolButton button;
    std::string viewerPath;
    bool running = false;
    TViewerWatch watch{&button, [this] { return viewerPath; }};

    WatchedButton() { watch.SetRunningTest([this] { return running; }); }
    QColor textColour() const { return button.palette().color(QPalette::ButtonText); }
};

} // namespace

TEST(ViewerWatchTest, ButtonFollowsTheViewer)
{
    WatchedButton w;
    EXPECT_EQ(w.button.text(), "Run Viewer");
    EXPECT_TRUE(w.button.isCheckable());
    EXPECT_FALSE(w.button.isChecked());
    EXPECT_EQ(w.button.focusPolicy(), Qt::NoFocus);
    // Bold black text until the first tick, whatever the desktop's colours.
    EXPECT_TRUE(w.button.font().bold());
    EXPECT_EQ(w.textColour(), QColor(Qt::black));
    EXPECT_EQ(w.watch.Timer1()->interval(), 500);
    EXPECT_TRUE(w.watch.Timer1()->isActive());

    w.running = true;
    ASSERT_TRUE(WaitFor([&] { return w.button.text() == "Viewer Running"; }, 1500));
    EXPECT_TRUE(w.button.isChecked());
    EXPECT_EQ(w.textColour(), QColor(0, 128, 0));

    w.running = false;
    ASSERT_TRUE(WaitFor([&] { return w.button.text() == "Run Viewer"; }, 1500));
    EXPECT_FALSE(w.button.isChecked());
    EXPECT_EQ(w.textColour(), QColor(255, 0, 0));
}

TEST(ViewerWatchTest, ClickStartsTheViewerOnlyWhenItIsNotRunning)
{
    WatchedButton w;
    w.running = true;
    w.watch.RefreshViewerButton();
    QTest::mouseClick(&w.button, Qt::LeftButton);
    EXPECT_EQ(w.watch.ProgramMonitor1()->MonitorType(), mtNone);   // nothing started
    EXPECT_TRUE(w.button.isChecked());

    // Not running, no viewer path: a failed start (reported), released and red.
    w.running = false;
    w.watch.RefreshViewerButton();
    {
        tarnel::test::BoxRecorder boxes;
        QTest::mouseClick(&w.button, Qt::LeftButton);
        EXPECT_EQ(boxes.errors().size(), 1);
    }
    EXPECT_EQ(w.watch.ProgramMonitor1()->MonitorType(), mtProgram);
    EXPECT_FALSE(w.watch.ProgramMonitor1()->Running());
    EXPECT_FALSE(w.button.isChecked());
    EXPECT_EQ(w.button.text(), "Run Viewer");
    EXPECT_EQ(w.textColour(), QColor(255, 0, 0));
}

TEST(ViewerWatchTest, ClickRunsTheViewerPathAndTheButtonSeesIt)
{
    // A program named like the viewer, found through the real process table.
    ScratchDir dir;
    std::string viewer = ProgramCopy(dir, "Oculo32");
    QToolButton button;
    TViewerWatch watch(&button, [&] { return viewer + " 30"; });
    QTest::mouseClick(&button, Qt::LeftButton);
    TProgramMonitor* monitor = watch.ProgramMonitor1();
    ASSERT_TRUE(monitor->Running());
    ASSERT_TRUE(WaitFor([&] { return button.text() == "Viewer Running"; }, 2000));
    EXPECT_TRUE(button.isChecked());

    kill(monitor->ProcessId(), SIGTERM);
    ASSERT_TRUE(WaitFor([&] { return !monitor->Running(); }));
    EXPECT_EQ(monitor->ExitCode(), 128u + SIGTERM);
}

TEST(ProcessList, SeesAProgramByTheNameItWasRunAs)
{
    // Through a symbolic link, the executable is sleep; through a wrapper
    // script, it is the shell. Both still go by the viewer's name.
    ScratchDir dir;
    const std::string name = UniqueName("Lnk");
    fs::create_symlink("/bin/sleep", dir.file(name));
    const std::string script = UniqueName("Wrp");
    {
        std::ofstream out(dir.file(script));
        out << "#!/bin/sh\nsleep 30\n:\n";
    }
    fs::permissions(dir.file(script), fs::perms::owner_all);
    EXPECT_FALSE(IsProgramRunning(name));
    EXPECT_FALSE(IsProgramRunning(script));

    TProgramMonitor linked, wrapped;
    ASSERT_TRUE(linked.StartProgram(dir.file(name) + " 30"));
    ASSERT_TRUE(wrapped.StartProgram(dir.file(script)));
    EXPECT_TRUE(WaitFor([&] { return IsProgramRunning(Upper(name) + ".exe"); }));
    EXPECT_TRUE(WaitFor([&] { return IsProgramRunning(script); }));
    kill(linked.ProcessId(), SIGKILL);
    kill(wrapped.ProcessId(), SIGKILL);
    EXPECT_TRUE(WaitFor([&] { return !linked.Running() && !wrapped.Running(); }));
}

TEST(ProgramMonitorTest, UnquotedOrSingleQuotedPathWithBlanksRunsAsItStands)
{
    ScratchDir dir;
    fs::create_directory(dir.file("cave tools"));
    const std::string prog = dir.file("cave tools/Oculo32");
    fs::copy_file("/bin/true", prog);
    EXPECT_EQ(CommandWords(prog), std::vector<std::string>{prog});
    EXPECT_EQ(CommandWords(" '" + prog + "' "), std::vector<std::string>{prog});
    // Not a file as a whole: split as before.
    EXPECT_EQ(CommandWords(prog + " -s"), (std::vector<std::string>{dir.file("cave"), "tools/Oculo32", "-s"}));

    TProgramMonitor monitor;
    bool done = false;
    monitor.OnFinish = [&](TProgramMonitor*, TMonitorType) { done = true; };
    ASSERT_TRUE(monitor.StartProgram(prog));
    ASSERT_TRUE(WaitFor([&] { return done; }));
    EXPECT_EQ(monitor.ExitCode(), 0u);
}

TEST(ViewerWatchTest, FailedStartShowsAnErrorNamingTheProgram)
{
    ScratchDir dir;
    const std::string missing = dir.file("cave tools/Oculo32") + " -s";
    tarnel::test::BoxRecorder boxes;
    QToolButton button;
    std::string viewerPath = missing;
    TViewerWatch watch(&button, [&] { return viewerPath; });
    watch.SetRunningTest([] { return false; });
    QTest::mouseClick(&button, Qt::LeftButton);
    viewerPath.clear();
    QTest::mouseClick(&button, Qt::LeftButton);
    const QStringList shown = boxes.errors();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[0].startsWith(QString::fromStdString("Cannot start " + dir.file("cave")))) << shown[0].toStdString();
    EXPECT_TRUE(shown[1].contains("no viewer program is set")) << shown[1].toStdString();
    EXPECT_FALSE(button.isChecked());
}
