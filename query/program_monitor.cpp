// Starting a program and watching for its end.
#include "query/program_monitor.h"

#include <QProcess>
#include <spawn.h>
#include <sys/wait.h>

#include "controls/error_guard.h"

extern char** environ;

namespace tarnel::query {

TProgramMonitor::TProgramMonitor(QObject* owner) : QObject(owner)
{
    watchTimer_.setInterval(250);
    connect(&watchTimer_, &QTimer::timeout, this, Guarded(nullptr, [this] { WatchTimerTick(); }));
}

TProgramMonitor::~TProgramMonitor() = default;

bool TProgramMonitor::StartProgram(const std::string& commandLine)
{
    monitorType_ = mtProgram;
    if (running_) former_.push_back(pid_);

    QStringList words = QProcess::splitCommand(QString::fromStdString(commandLine));
    bool ok = false;
    if (!words.isEmpty()) {
        std::vector<std::string> args;
        for (const auto& w : words) args.push_back(w.toStdString());
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        // posix_spawnp reports a program that cannot be run (not found, not
        // executable) as its own failure.
        ok = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0;
        if (ok) pid_ = pid;
    }
    if (ok) watchTimer_.start();
    else if (former_.empty()) watchTimer_.stop();
    running_ = ok;
    return ok;
}

void TProgramMonitor::CollectFormerPrograms()
{
    for (auto it = former_.begin(); it != former_.end();) {
        pid_t r = waitpid(*it, nullptr, WNOHANG);
        if (r == *it || r < 0) it = former_.erase(it);
        else ++it;
    }
}

void TProgramMonitor::WatchTimerTick()
{
    CollectFormerPrograms();
    if (!running_) {
        if (former_.empty()) watchTimer_.stop();
        return;
    }
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == 0) return;   // still running

    running_ = false;
    if (former_.empty()) watchTimer_.stop();
    if (r == pid_) {
        if (WIFEXITED(status)) exitCode_ = static_cast<std::uint32_t>(WEXITSTATUS(status));
        else if (WIFSIGNALED(status)) exitCode_ = 128u + static_cast<std::uint32_t>(WTERMSIG(status));
    }
    if (OnFinish) OnFinish(this, monitorType_);
}

} // namespace tarnel::query
