// The viewer link over the D-Bus session bus: finding or starting the viewer, the poke.
#include "query/dbus/dbus_viewer_link.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <filesystem>

namespace tarnel::query {

namespace {

std::atomic<int> g_linkCounter{0};

QDBusConnection Connection(const QString& name)
{
    return QDBusConnection(name);
}

// The viewer program: on PATH, then in the running program's own folder (as
// the viewer is installed beside this program).
QString FindViewerProgram(const std::string& service)
{
    const QString name = QString::fromStdString(service);
    QString program = QStandardPaths::findExecutable(name);
    if (!program.isEmpty()) return program;
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return QStandardPaths::findExecutable(name, {QString::fromStdString(self.parent_path().string())});
}

} // namespace

QString TDBusViewerLink::BusName(const std::string& service)
{
    return QStringLiteral("org.vantor.") + QString::fromStdString(service);
}

QString TDBusViewerLink::ObjectPath(const std::string& topic)
{
    return QStringLiteral("/") + QString::fromStdString(topic);
}

TDBusViewerLink::TDBusViewerLink()
    : connectionName_(QStringLiteral("tarnel-viewer-link-%1").arg(++g_linkCounter))
{
}

TDBusViewerLink::~TDBusViewerLink()
{
    closeLink();
}

bool TDBusViewerLink::connectBus()
{
    // An explicit address wins; without one libdbus finds the session bus
    // its own way (e.g. $XDG_RUNTIME_DIR/bus).
    QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    QDBusConnection bus = address.isEmpty()
        ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName_)
        : QDBusConnection::connectToBus(QString::fromUtf8(address), connectionName_);
    connected_ = true;   // registered under our name even when it failed
    return bus.isConnected();
}

bool TDBusViewerLink::viewerPresent()
{
    QDBusConnection bus = Connection(connectionName_);
    QDBusConnectionInterface* daemon = bus.interface();
    if (!daemon) return false;
    QDBusReply<bool> reply = daemon->isServiceRegistered(busName_);
    return reply.isValid() && reply.value();
}

bool TDBusViewerLink::startViewerAndWait(const std::string& service, const std::string& topic)
{
    QString program = FindViewerProgram(service);
    if (program.isEmpty()) return false;

    QDBusConnection bus = Connection(connectionName_);
    QDBusServiceWatcher watcher(busName_, bus, QDBusServiceWatcher::WatchForRegistration);
    // The command line stays "Oculo32 ViewerTopic"; the wish to start minimised
    // travels in the environment, for a viewer that can honour it.
    QProcess process;
    process.setProgram(program);
    process.setArguments({QString::fromStdString(topic)});
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("OCULO32_SHOW"), QStringLiteral("minimized"));
    process.setProcessEnvironment(environment);
    // The viewer outlives the send: it must not hold this program's streams
    // (a caller reading our output to its end would wait for the viewer).
    // startDetached also gives it a session of its own.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!process.startDetached(&pid)) return false;
    startedPid_ = pid;

    if (!QCoreApplication::instance()) {
        // No event loop to wait in: poll.
        QDeadlineTimer deadline(startTimeoutMs_);
        while (!deadline.hasExpired() && !viewerPresent()) QThread::msleep(50);
        return true;
    }
    // Up to a few seconds (the caller shows the hourglass meanwhile).
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &loop, &QEventLoop::quit);
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    // The watcher's match rule reaches the bus daemon asynchronously: a name
    // taken before that would go unseen, so look now and then as well.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (viewerPresent()) loop.quit();
    });
    timeout.start(startTimeoutMs_);
    poll.start(100);
    if (!viewerPresent()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    return true;
}

bool TDBusViewerLink::openLink(const std::string& service, const std::string& topic)
{
    closeLink();
    busName_ = BusName(service);
    objectPath_ = ObjectPath(topic);
    startedPid_ = 0;

    bool ok = connectBus() && (viewerPresent()
                               || (startViewerAndWait(service, topic) && viewerPresent()));
    if (!ok) {
        closeLink();
        return false;
    }
    open_ = true;
    return true;
}

bool TDBusViewerLink::poke(const std::string& item, const std::vector<std::string>& lines)
{
    if (!open_) return false;
    QDBusConnection bus = Connection(connectionName_);
    std::string data = ViewerPokeData(lines);
    // Past the limit the D-Bus library would end the whole program.
    if (data.size() > kMaxPokeBytes) {
        char size[32];
        std::snprintf(size, sizeof size, "%.1f", static_cast<double>(data.size()) / (1024.0 * 1024.0));
        throw TViewerLinkError(std::string("The result is too large to send to the viewer: its ") + size
                               + " MB are more than the 64 MB one send can carry.");
    }
    QDBusMessage message = QDBusMessage::createMethodCall(busName_, objectPath_,
                                                          QString::fromLatin1(kInterface),
                                                          QStringLiteral("Poke"));
    message << QString::fromStdString(item)
            << QByteArray(data.data(), static_cast<qsizetype>(data.size()));
    message.setAutoStartService(false);
    bool sent = bus.send(message);

    // send() only queues the message for the connection's thread. A round
    // trip to the bus daemon itself makes sure it has left this process
    // before the link is closed (messages on a connection stay in order).
    QDBusMessage ping = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
    bus.call(ping, QDBus::Block, 10000);
    return sent;
}

void TDBusViewerLink::closeLink()
{
    if (connected_) {
        QDBusConnection::disconnectFromBus(connectionName_);
        connected_ = false;
    }
    open_ = false;
    busName_.clear();
    objectPath_.clear();
}

} // namespace tarnel::query
