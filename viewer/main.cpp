// Oculo32: a stand-in for the cave viewer. It takes the bus name
// org.vantor.Oculo32 on the session bus and shows every feature poked to it.
//
//   Oculo32 [TOPIC] [--log FILE] [--headless]
#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <cstdio>
#include <cstring>
#include <memory>

#include "viewer/viewer_service.h"
#include "viewer/viewer_window.h"

namespace {

struct Options {
    QString logPath;
    bool headless = false;
};

void Usage(FILE* to)
{
    std::fprintf(to, "usage: Oculo32 [TOPIC] [--log FILE] [--headless]\n");
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    for (int k = 1; k < argc; ++k) {
        const char* arg = argv[k];
        if (std::strcmp(arg, "--log") == 0) {
            if (k + 1 >= argc) {
                Usage(stderr);
                return 2;
            }
            options.logPath = QString::fromLocal8Bit(argv[++k]);
        } else if (std::strcmp(arg, "--headless") == 0) {
            options.headless = true;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            Usage(stdout);
            return 0;
        }
        // Anything else is the topic (or an option of Qt's): accepted, not used.
    }

    std::unique_ptr<QCoreApplication> app;
    if (options.headless) app = std::make_unique<QCoreApplication>(argc, argv);
    else app = std::make_unique<QApplication>(argc, argv);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "Oculo32: no D-Bus session bus: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }

    TViewerService service(options.logPath);
    new TViewerAdaptor(&service);
    if (!bus.registerObject(QLatin1String(kViewerObjectPath), &service,
                            QDBusConnection::ExportAdaptors)) {
        std::fprintf(stderr, "Oculo32: cannot register %s\n", kViewerObjectPath);
        return 1;
    }
    // The object is in place before the name is taken: whoever sees the name
    // can poke at once.
    if (!bus.registerService(QLatin1String(kViewerBusName))) {
        std::fprintf(stderr, "Oculo32: %s is taken: another viewer is running\n", kViewerBusName);
        return 1;
    }

    std::unique_ptr<TViewerWindow> window;
    if (!options.headless) {
        window = std::make_unique<TViewerWindow>();
        QObject::connect(&service, &TViewerService::streamReceived, window.get(),
                         &TViewerWindow::showStream);
        // Started by a send, the viewer comes up minimised where the desktop allows.
        if (qgetenv("OCULO32_SHOW") == "minimized") window->showMinimized();
        else window->show();
    }
    return app->exec();
}
