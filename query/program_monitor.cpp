// Starting a program and watching for its end.
#include "query/program_monitor.h"

#include <QProcess>
#include <cstring>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "controls/error_guard.h"

extern char** environ;

namespace tarnel::query {

std::vector<std::string> CommandWords(const std::string& commandLine)
{
    // A path with blanks written without quotes, or in single quotes, is one
    // program when the whole of it names a file.
    std::string whole = commandLine;
    const auto notBlank = whole.find_first_not_of(" \t");
    whole.erase(0, notBlank == std::string::npos ? whole.size() : notBlank);
    whole.erase(whole.find_last_not_of(" \t") + 1);
    if (whole.size() >= 2 && whole.front() == '\'' && whole.back() == '\'')
        whole = whole.substr(1, whole.size() - 2);
    struct stat st {};
    if (!whole.empty() && ::stat(whole.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return {whole};

    std::vector<std::string> words;
    for (const QString& w : QProcess::splitCommand(QString::fromStdString(commandLine)))
        words.push_back(w.toStdString());
    return words;
}

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

    std::vector<std::string> args = CommandWords(commandLine);
    bool ok = false;
    startError_.clear();
    if (args.empty()) {
        startError_ = "No program to start";
    } else {
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        // posix_spawnp reports a program that cannot be run (not found, not
        // executable) as its own failure.
        const int err = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
        ok = err == 0;
        if (ok) pid_ = pid;
        else startError_ = "Cannot start " + args.front() + ": " + std::strerror(err);
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
