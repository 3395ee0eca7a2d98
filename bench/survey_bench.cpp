// The viewer's plan of a large survey: reading a .3d file of LEGS legs
// (default 50,000) against the survey-data tool's own `dump3d` of the same
// file, one frame of the plan (fitted, then zoomed in and panned), and
// MARKERS marked locations (default 100,000) placed and drawn.
// Goals: load under 0.5 s; a frame well under 50 ms; markers under 1 s.
//
//   survey_bench [LEGS] [MARKERS] [FOLDER]
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "viewer/feature_plan.h"
#include "viewer/plan_painter.h"

using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// Passages of 500 legs each, in surveys of their own, each starting from a
// station of the one before.
std::string MakeSurvey(const std::string& folder, long legs)
{
    std::filesystem::create_directories(folder);
    std::string svx = folder + "/big" + std::to_string(legs) + ".svx";
    std::string out = folder + "/big" + std::to_string(legs) + ".3d";
    if (std::filesystem::exists(out)) return out;
    std::ofstream f(svx);
    f.setf(std::ios::fixed);
    f.precision(2);
    std::mt19937 random(17);
    std::uniform_real_distribution<double> tape(2, 12), turn(-40, 40), clino(-20, 20);
    const long perPassage = 500;
    long passages = (legs + perPassage - 1) / perPassage;
    f << "*begin big\n*fix p0.1 0 0 0\n";
    for (long p = 0; p < passages; ++p) {
        f << "*begin p" << p << "\n";
        double bearing = static_cast<double>((p * 137) % 360);
        for (long k = 1; k <= perPassage && p * perPassage + k <= legs; ++k) {
            bearing += turn(random);
            while (bearing < 0) bearing += 360;
            while (bearing >= 360) bearing -= 360;
            f << k << ' ' << k + 1 << ' ' << tape(random) << ' ' << bearing << ' ' << clino(random) << "\n";
        }
        f << "*end p" << p << "\n";
        if (p > 0) f << "*equate p" << p << ".1 p" << (p - 1) << "." << 1 + (p * 53) % perPassage << "\n";
    }
    f << "*end big\n";
    f.close();
    QProcess cavern;
    cavern.start(QStringLiteral("cavern"), {QStringLiteral("--output=") + QString::fromStdString(out),
                                            QString::fromStdString(svx)});
    if (!cavern.waitForFinished(600000) || cavern.exitCode() != 0) {
        std::fprintf(stderr, "cavern failed: %s\n", cavern.readAllStandardError().constData());
        std::exit(2);
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    long legs = argc > 1 ? std::atol(argv[1]) : 50000;
    long markers = argc > 2 ? std::atol(argv[2]) : 100000;
    std::string folder = argc > 3 ? argv[3] : "/tmp/tarnel-survey-bench";
    std::string path = MakeSurvey(folder, legs);

    auto t0 = Clock::now();
    TSurvey survey = ReadSurvey3d(path);
    auto read = Clock::now();
    TCave cave(std::move(survey));
    auto t1 = Clock::now();
    QProcess dump;
    dump.setStandardOutputFile(QProcess::nullDevice());
    dump.start(QStringLiteral("dump3d"), {QString::fromStdString(path)});
    dump.waitForFinished(600000);
    auto t2 = Clock::now();
    std::printf("survey %s: %zu legs, %zu stations\n", path.c_str(), cave.survey.legs.size(),
                cave.survey.stations.size());
    std::printf("load: %.0f ms (read %.0f ms, station index %.0f ms); dump3d process: %.0f ms; ratio %.2f\n",
                Ms(t0, t1), Ms(t0, read), Ms(read, t1), Ms(t1, t2), Ms(t0, t1) / Ms(t1, t2));

    const QSize size(1280, 900);
    QImage image(size, QImage::Format_RGB32);
    TPlanLayout layout;
    layout.fit(ProjectedBounds(cave.survey, layout), size);
    std::vector<TPlacedFeature> none;
    auto frames = [&](int n, bool moving) {
        auto a = Clock::now();
        for (int k = 0; k < n; ++k) {
            if (moving) layout.pan(QPointF(7, 3));
            QPainter p(&image);
            PaintPlan(p, size, cave, none, layout, TPlanOptions());
        }
        return Ms(a, Clock::now()) / n;
    };
    double fitted = frames(10, false);
    layout.zoomAt(4, QPointF(640, 450), size);
    double zoomed = frames(20, true);
    std::printf("plan frame %dx%d: fitted %.1f ms, zoomed x4 while panning %.1f ms\n", size.width(),
                size.height(), fitted, zoomed);

    // Marked locations spread over the survey's named stations.
    TFeature f;
    f.name = QStringLiteral("Many");
    f.method = QStringLiteral("As Marked Locations");
    f.range = QStringLiteral("0 .. 100");
    std::vector<std::string> names;
    for (const TSurveyStation& s : cave.survey.stations)
        if (!s.name.empty()) names.push_back(s.name);
    f.stations.reserve(markers);
    for (long k = 0; k < markers; ++k)
        f.stations.append(TStationLine{QStringLiteral("#L"), QString::fromStdString(names[k % names.size()]),
                           QString::number(k % 101)});
    layout.fit(ProjectedBounds(cave.survey, layout), size);
    auto m0 = Clock::now();
    std::vector<TPlacedFeature> features;
    AddFeatures(features, {f}, &cave);
    auto m1 = Clock::now();
    {
        QPainter p(&image);
        PaintPlan(p, size, cave, features, layout, TPlanOptions());
    }
    auto m2 = Clock::now();
    std::printf("%ld marked locations: placed %.0f ms, drawn with the plan %.0f ms, total %.0f ms (%zu not found)\n",
                markers, Ms(m0, m1), Ms(m1, m2), Ms(m0, m2), features[0].unfound.size());
    bool fast = Ms(t0, t1) < 500 && Ms(m0, m2) < 1000;
    return fast ? 0 : 1;
}
