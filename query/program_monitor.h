#pragma once
// TProgramMonitor starts a program and watches for its end.
//
// The command line is split as a shell-less command line is (double quotes
// group words), unless the whole of it (or all within a pair of single
// quotes) names an existing file: that is run as it stands, blanks and all.
// The program is found on PATH and runs in this program's
// current folder with its environment. A 250 ms timer looks for the end;
// when it comes, Running goes false, ExitCode is taken and OnFinish called.
// A newer start replaces the watched program: the older one goes on running,
// is no longer reported, and is only collected when it ends. Destroying the
// monitor leaves a running program running.
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarnel::query {

enum TMonitorType : int {
    mtNone = 0,
    mtProgram = 1,
};

// The program and its arguments as StartProgram runs them.
std::vector<std::string> CommandWords(const std::string& commandLine);

class TProgramMonitor;
using TMonitorEvent = std::function<void(TProgramMonitor* sender, TMonitorType monitorType)>;

class TProgramMonitor : public QObject {
    Q_OBJECT
public:
    explicit TProgramMonitor(QObject* owner = nullptr);
    ~TProgramMonitor() override;

    // Starts the program; true when it could be started (it is then watched).
    bool StartProgram(const std::string& commandLine);
    // Why the last start failed, naming the program; empty after a start.
    const std::string& StartError() const { return startError_; }

    bool Running() const { return running_; }
    TMonitorType MonitorType() const { return monitorType_; }
    std::uint32_t ExitCode() const { return exitCode_; }
    pid_t ProcessId() const { return pid_; }

    TMonitorEvent OnFinish;

    QTimer* WatchTimer() { return &watchTimer_; }

private:
    void WatchTimerTick();
    void CollectFormerPrograms();

    QTimer watchTimer_;
    pid_t pid_ = 0;
    bool running_ = false;
    TMonitorType monitorType_ = mtNone;
    std::uint32_t exitCode_ = 0;
    std::vector<pid_t> former_;   // replaced by a newer start, still to be collected
    std::string startError_;
};

} // namespace tarnel::query
