// Oculo32: a stand-in for the cave viewer. It takes the bus name
// org.vantor.Oculo32 on the session bus, shows every feature poked to it and,
// with a survey open, draws the features on the plan of the cave.
//
//   Oculo32 [TOPIC] [--log FILE] [--headless] [--survey FILE.3d] [--render FILE.png]
//
// --render (with --headless and --survey) writes the plan with every feature
// received so far to FILE.png at start and after every poke.
#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>
#include <cstring>
#include <memory>

#include "viewer/plan_renderer.h"
#include "viewer/viewer_service.h"
#include "viewer/viewer_window.h"

namespace {

struct Options {
    QString logPath;
    QString surveyPath;
    QString renderPath;
    bool headless = false;
};

void Usage(FILE* to)
{
    std::fprintf(to, "usage: Oculo32 [TOPIC] [--log FILE] [--headless] [--survey FILE.3d] [--render FILE.png]\n");
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    for (int k = 1; k < argc; ++k) {
        const char* arg = argv[k];
        bool log = std::strcmp(arg, "--log") == 0, survey = std::strcmp(arg, "--survey") == 0,
             render = std::strcmp(arg, "--render") == 0;
        if (log || survey || render) {
            if (k + 1 >= argc) {
                Usage(stderr);
                return 2;
            }
            QString value = QString::fromLocal8Bit(argv[++k]);
            (log ? options.logPath : survey ? options.surveyPath : options.renderPath) = value;
        } else if (std::strcmp(arg, "--headless") == 0) {
            options.headless = true;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            Usage(stdout);
            return 0;
        }
        // Anything else is the topic (or an option of Qt's): accepted, not used.
    }
    if (!options.renderPath.isEmpty() && (!options.headless || options.surveyPath.isEmpty())) {
        std::fprintf(stderr, "Oculo32: --render needs --headless and --survey\n");
        return 2;
    }

    // Drawing without a window still needs fonts: a headless renderer runs on
    // the offscreen platform.
    std::unique_ptr<QCoreApplication> app;
    if (options.headless && options.renderPath.isEmpty()) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else if (options.headless) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QApplication>(argc, argv);
    }

    std::shared_ptr<const TCave> cave;
    if (options.headless && !options.surveyPath.isEmpty()) {
        try {
            auto loaded = std::make_shared<TCave>(ReadSurvey3d(QFile::encodeName(options.surveyPath).toStdString()));
            loaded->path = options.surveyPath.toStdString();
            cave = std::move(loaded);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "Oculo32: cannot open the survey %s\n", e.what());
            return 1;
        }
    }

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

    std::unique_ptr<TPlanRenderer> renderer;
    if (!options.renderPath.isEmpty()) {
        renderer = std::make_unique<TPlanRenderer>(cave, options.renderPath);
        if (!renderer->render()) return 1;
        QObject::connect(&service, &TViewerService::streamReceived, renderer.get(), &TPlanRenderer::addStream);
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
        // The survey named on the command line, else the one open last time.
        QString survey = options.surveyPath.isEmpty() ? TViewerWindow::lastSurvey() : options.surveyPath;
#ifdef OCULO32_SAMPLE_SURVEY
        if (survey.isEmpty() && QFileInfo::exists(QStringLiteral(OCULO32_SAMPLE_SURVEY)))
            survey = QStringLiteral(OCULO32_SAMPLE_SURVEY);
#endif
        if (!survey.isEmpty() && (!options.surveyPath.isEmpty() || QFileInfo::exists(survey)))
            window->openSurvey(survey);
    }
    return app->exec();
}
