// The plan as the viewer draws it: the headless renderer's picture after each
// poke, and the window's plan and feature list.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>

#include "query/dbus_viewer_link.h"
#include "tests/viewer/survey_files.h"
#include "tests/viewer/viewer_bus.h"
#include "viewer/plan_picture.h"
#include "viewer/plan_renderer.h"
#include "viewer/plan_view.h"
#include "viewer/viewer_window.h"

using namespace tarnel::test;

namespace {

// Where a station lands in a picture of `size` showing the whole survey.
QPoint StationPixel(const TCave& cave, const char* reference, QSize size, TPlanLayout layout = {})
{
    TStationMatch m = cave.index.match(reference);
    EXPECT_EQ(m.status, TStationMatch::Found) << reference;
    if (m.status != TStationMatch::Found) return {};
    if (layout.scale() == 1 && layout.centre().isNull()) layout.fit(ProjectedBounds(cave.survey, layout), size);
    return layout.screenPoint(cave.survey.stations[m.station].at, size).toPoint();
}

bool Near(QColor a, QColor b, int tolerance = 40)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue())
           <= tolerance;
}

void Poke(const std::vector<std::string>& lines)
{
    tarnel::query::TDBusViewerLink link;
    ASSERT_TRUE(link.openLink("Oculo32", "ViewerTopic"));
    EXPECT_TRUE(link.poke("ViewerItem", lines));
    link.closeLink();
}

QByteArray Block(const char* text)
{
    return QByteArray(text) + QByteArray(1, '\0');
}

// Closes the error box an action is about to show, keeping its text.
void CloseNextBox(QString* text)
{
    QTimer::singleShot(0, [text] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            if (auto* m = qobject_cast<QMessageBox*>(box)) *text = m->text();
            box->close();
        }
    });
}

} // namespace

TEST_F(ViewerBus, RenderedPlanShowsEachPokeAtItsStations)
{
    ScratchDir dir;
    std::string survey = ProcessSurvey(dir, "cave", kTwoBranchSurvey);
    ASSERT_FALSE(survey.empty());
    QString picture = QString::fromStdString(dir.file("plan.png"));
    qint64 viewer = startHeadlessViewer(QString::fromStdString(dir.file("log")),
                                        {QStringLiteral("--survey"), QString::fromStdString(survey),
                                         QStringLiteral("--render"), picture});
    ASSERT_TRUE(WaitFor([&] { return QFileInfo::exists(picture); }));
    const QByteArray empty = ReadAll(picture);

    TCave cave(ReadSurvey3d(survey));
    const QSize size(TPlanRenderer::kWidth, TPlanRenderer::kHeight);
    // "S1" names a station in two surveys and "Z9" none: neither is drawn.
    Poke({"#R,Depths,0,10", "#L,north.S2,0", "#L,cave.south.S3,10", "#L,S1,5", "#L,Z9,5"});
    ASSERT_TRUE(WaitFor([&] { QByteArray now = ReadAll(picture); return !now.isEmpty() && now != empty; }));
    QImage image(picture);
    ASSERT_EQ(image.size(), size);
    EXPECT_TRUE(Near(image.pixelColor(StationPixel(cave, "north.S2", size)), RangeColour(0, 0, 10)));
    EXPECT_TRUE(Near(image.pixelColor(StationPixel(cave, "south.S3", size)), RangeColour(10, 0, 10)));
    const QColor middle = RangeColour(5, 0, 10);
    for (const char* s : {"north.S1", "south.S1"})
        EXPECT_FALSE(Near(image.pixelColor(StationPixel(cave, s, size)), middle, 120)) << s;

    // A continuous line through two stations, drawn on top of the markers.
    const QByteArray before = ReadAll(picture);
    Poke({"#F,Route", "#M,north.S3", "#D,top.T1"});
    ASSERT_TRUE(WaitFor([&] { QByteArray now = ReadAll(picture); return !now.isEmpty() && now != before; }));
    image = QImage(picture);
    QPoint a = StationPixel(cave, "north.S3", size), b = StationPixel(cave, "top.T1", size);
    EXPECT_TRUE(Near(image.pixelColor((a + b) / 2), FeatureColour(1), 60));
    StopProcess(viewer);
}

TEST(ViewerRender, BadSurveyOrMissingOptionsAreErrors)
{
    ScratchDir dir;
    std::string broken = dir.file("broken.3d");
    std::ofstream(broken) << "Survex 3D Image File\nv8\ntitle\n@1\n";
    QProcess viewer;
    viewer.start(QString::fromStdString(kViewerProgram),
                 {QStringLiteral("--headless"), QStringLiteral("--survey"), QString::fromStdString(broken),
                  QStringLiteral("--render"), QString::fromStdString(dir.file("x.png"))});
    ASSERT_TRUE(viewer.waitForFinished(10000));
    EXPECT_EQ(viewer.exitCode(), 1);
    EXPECT_TRUE(viewer.readAllStandardError().contains("broken.3d: the survey file is truncated"));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(dir.file("x.png"))));

    viewer.start(QString::fromStdString(kViewerProgram),
                 {QStringLiteral("--headless"), QStringLiteral("--render"), QStringLiteral("x.png")});
    ASSERT_TRUE(viewer.waitForFinished(10000));
    EXPECT_EQ(viewer.exitCode(), 2);
}

TEST(ViewerWindowPlan, DrawsFeaturesAndHidesThemFromTheList)
{
    QStandardPaths::setTestModeEnabled(true);
    ScratchDir dir;
    std::string survey = ProcessSurvey(dir, "cave", kTwoBranchSurvey);
    ASSERT_FALSE(survey.empty());
    TViewerWindow window;
    window.resize(900, 600);
    window.show();
    // Features that came before the survey are placed when it opens.
    window.showStream(Block("#R,Depths,0,10\r\n#L,north.S2,10\r\n#L,S1,0\r\n#L,nowhere,1\r\n"));
    auto* features = window.findChild<QTreeWidget*>("features");
    ASSERT_TRUE(features);
    EXPECT_EQ(features->topLevelItem(0)->text(3), "");
    EXPECT_FALSE(window.plan()->isVisible());
    ASSERT_TRUE(window.openSurvey(QString::fromStdString(survey)));
    EXPECT_EQ(TViewerWindow::lastSurvey(), QString::fromStdString(survey));
    EXPECT_EQ(features->topLevelItem(0)->text(3), "2");
    auto* stations = window.findChild<QTreeWidget*>("stations");
    EXPECT_EQ(stations->topLevelItem(0)->text(3), "cave.north.S2");
    EXPECT_EQ(stations->topLevelItem(1)->text(3), "fits 2 stations");
    EXPECT_EQ(stations->topLevelItem(2)->text(3), "not in the survey");

    TPlanView* plan = window.plan();
    ASSERT_TRUE(plan->isVisible());
    TCave cave(ReadSurvey3d(survey));
    QPoint at = StationPixel(cave, "north.S2", plan->size(), plan->layout());
    const QColor red = RangeColour(10, 0, 10);
    EXPECT_TRUE(Near(plan->grab().toImage().pixelColor(at), red));

    // The user unticks the feature: it goes from the plan.
    features->setFocus();
    QTest::keyClick(features, Qt::Key_Space);
    EXPECT_EQ(features->topLevelItem(0)->checkState(0), Qt::Unchecked);
    EXPECT_FALSE(window.placedFeatures()[0].visible);
    EXPECT_FALSE(Near(plan->grab().toImage().pixelColor(at), red, 120));

    // Zooming with the keyboard keeps the centre where it is.
    plan->setFocus();
    QPointF centre = plan->layout().centre();
    double scale = plan->layout().scale();
    QTest::keyClick(plan, Qt::Key_Plus);
    EXPECT_DOUBLE_EQ(plan->layout().scale(), scale * 1.25);
    EXPECT_NEAR(plan->layout().centre().x(), centre.x(), 1e-9);

    // A damaged survey: an error box naming it, and the open survey stays.
    std::string broken = dir.file("broken.3d");
    std::ofstream(broken) << "Survex 3D Image File\nv8\n";
    QString message;
    CloseNextBox(&message);
    EXPECT_FALSE(window.openSurvey(QString::fromStdString(broken)));
    EXPECT_TRUE(message.contains(QString::fromStdString(broken))) << message.toStdString();
    EXPECT_EQ(plan->cave()->survey.legs.size(), cave.survey.legs.size());
    EXPECT_EQ(TViewerWindow::lastSurvey(), QString::fromStdString(survey));
}

TEST(PlanPicture, WritesPngAndSvgOrSaysWhyNot)
{
    ScratchDir dir;
    std::string survey = ProcessSurvey(dir, "cave", kTwoBranchSurvey);
    ASSERT_FALSE(survey.empty());
    TCave cave(ReadSurvey3d(survey));
    std::vector<TPlacedFeature> features;
    TFeature f{QStringLiteral("Pools"), QStringLiteral("As Line Segments"), QString(),
               {{QStringLiteral("#S"), QStringLiteral("north.S2"), QStringLiteral("2.5")}}};
    AddFeatures(features, {f}, &cave);
    ASSERT_EQ(features[0].segments.size(), 1u);
    EXPECT_EQ(features[0].segments[0].legs.size(), 2u);
    TPlanLayout layout;
    layout.fit(ProjectedBounds(cave.survey, layout), QSizeF(400, 300));

    QString png = QString::fromStdString(dir.file("plan.png")), svg = QString::fromStdString(dir.file("plan.svg"));
    EXPECT_EQ(SavePlanPicture(png, QSize(400, 300), cave, features, layout, {}), "");
    EXPECT_EQ(QImage(png).size(), QSize(400, 300));
    EXPECT_EQ(SavePlanPicture(svg, QSize(400, 300), cave, features, layout, {}), "");
    QFile file(svg);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("<svg"));
    EXPECT_TRUE(text.contains(">2.5<"));   // the segment's value label

    QString nowhere = QString::fromStdString(dir.file("no/such/folder/plan.png"));
    EXPECT_TRUE(SavePlanPicture(nowhere, QSize(400, 300), cave, features, layout, {}).startsWith(
        QStringLiteral("Cannot write ") + nowhere));
    EXPECT_FALSE(SavePlanPicture(png, QSize(0, 300), cave, features, layout, {}).isEmpty());
}
