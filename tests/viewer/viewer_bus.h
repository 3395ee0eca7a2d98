#pragma once
// The built viewer on a private session bus that the tests start.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace tarnel::test {

inline const std::string kViewerProgram = std::string(TARNEL_BIN_DIR) + "/Oculo32";

template <typename Condition>
inline bool WaitFor(Condition done, int ms = 5000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QTest::qWait(20);
    }
    return true;
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

inline bool NameOwned(const QString& busName)
{
    // A connection of our own, so the test sees the bus as a stranger would.
    QDBusConnection bus = QDBusConnection::connectToBus(
        QString::fromUtf8(qgetenv("DBUS_SESSION_BUS_ADDRESS")), QStringLiteral("test-observer"));
    bool owned = bus.interface() && bus.interface()->isServiceRegistered(busName).value();
    QDBusConnection::disconnectFromBus(QStringLiteral("test-observer"));
    return owned;
}

// Gone, or ended and waiting to be collected by whoever adopted it.
inline bool ProcessEnded(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return true;
    QByteArray line = stat.readAll();
    int close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) == "Z";
}

inline void StopProcess(qint64 pid)
{
    if (pid <= 0) return;
    kill(static_cast<pid_t>(pid), SIGTERM);
    EXPECT_TRUE(WaitFor([&] { return ProcessEnded(pid); }, 3000));
}

// One private dbus-daemon for the whole program: the bus address is set in
// this process's environment before any connection is made.
class ViewerBus : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        FILE* p = popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
        ASSERT_NE(p, nullptr);
        char address[512] = {0};
        long pid = 0;
        ASSERT_NE(fgets(address, sizeof address, p), nullptr) << "dbus-daemon did not start";
        ASSERT_EQ(fscanf(p, "%ld", &pid), 1);
        pclose(p);
        std::string a(address);
        while (!a.empty() && (a.back() == '\n' || a.back() == '\r')) a.pop_back();
        daemonPid_ = pid;
        setenv("DBUS_SESSION_BUS_ADDRESS", a.c_str(), 1);
    }
    static void TearDownTestSuite()
    {
        if (daemonPid_ > 0) kill(static_cast<pid_t>(daemonPid_), SIGTERM);
    }

    // Runs the viewer without a window, logging what it receives.
    qint64 startHeadlessViewer(const QString& log, const QStringList& more = {})
    {
        qint64 pid = 0;
        bool started = QProcess::startDetached(QString::fromStdString(kViewerProgram),
                                               QStringList{QStringLiteral("ViewerTopic"), QStringLiteral("--headless"),
                                                           QStringLiteral("--log"), log} + more,
                                               QString(), &pid);
        EXPECT_TRUE(started);
        EXPECT_TRUE(WaitFor([] { return NameOwned(QStringLiteral("org.vantor.Oculo32")); }));
        return pid;
    }

    static QByteArray ReadAll(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    inline static long daemonPid_ = 0;
};

} // namespace tarnel::test
