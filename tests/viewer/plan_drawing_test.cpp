// The plan as the viewer draws it: the headless renderer's picture after each
// poke, and the window's plan and feature list.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QMouseEvent>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeWidget>
#include <cmath>
#include <cstdlib>

#include "query/dbus/dbus_viewer_link.h"
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

    // The mouse over a station names it.
    // (a test's mouse move without a button only sets the cursor: send it)
    QMouseEvent move(QEvent::MouseMove, QPointF(at), plan->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(plan, &move);
    ASSERT_GE(plan->options().hoverStation, 0);
    EXPECT_EQ(plan->cave()->survey.stations[plan->options().hoverStation].name, "cave.north.S2");

    // Ctrl+U lists the stations that are not drawn, and why.
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    features->setFocus();
    QString listed;
    CloseNextBox(&listed);
    QTest::keyClick(features, Qt::Key_U, Qt::ControlModifier);
    EXPECT_TRUE(listed.contains("S1: fits 2 stations")) << listed.toStdString();
    EXPECT_TRUE(listed.contains("nowhere: not in the survey")) << listed.toStdString();

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

TEST(PlanLayout, FitZoomPanAndScaleBar)
{
    const QSizeF view(800, 600);
    TPlanLayout layout;
    // 200 m by 50 m fills the width less the margins, centred.
    layout.fit(QRectF(QPointF(1000, 2000), QPointF(1200, 2050)), view, 50);
    EXPECT_DOUBLE_EQ(layout.scale(), 700.0 / 200);
    EXPECT_EQ(layout.toScreen(view).map(QPointF(1000, 2025)), QPointF(50, 300));
    EXPECT_EQ(layout.toScreen(view).map(QPointF(1100, 2050)), QPointF(400, 300 - 25 * 3.5));   // north is up

    // The point under the mouse stays there while zooming.
    const QPointF mouse(123, 456);
    const QPointF under = layout.fromScreen(mouse, view);
    layout.zoomAt(2.5, mouse, view);
    EXPECT_NEAR(layout.toScreen(view).map(under).x(), mouse.x(), 1e-6);
    EXPECT_NEAR(layout.toScreen(view).map(under).y(), mouse.y(), 1e-6);
    // Dragging moves the drawing with the mouse.
    layout.pan(QPointF(10, -20));
    EXPECT_NEAR(layout.toScreen(view).map(under).x(), mouse.x() + 10, 1e-6);
    EXPECT_NEAR(layout.toScreen(view).map(under).y(), mouse.y() - 20, 1e-6);
    // Zoom stays within bounds, whatever the wheel says.
    layout.zoomAt(1e30, mouse, view);
    EXPECT_EQ(layout.scale(), TPlanLayout::kMaxScale);
    layout.zoomAt(std::nan(""), mouse, view);
    EXPECT_EQ(layout.scale(), TPlanLayout::kMaxScale);

    // An elevation facing east shows north to the left and height upwards.
    layout.setElevation(true);
    layout.setFacing(90);
    QPointF p = layout.project(TSurveyPoint{100, 300, 500});
    EXPECT_NEAR(p.x(), -3, 1e-12);
    EXPECT_NEAR(p.y(), 5, 1e-12);

    EXPECT_EQ(ScaleBarMetres(3.5, 200), 50);    // 57 m would fit: 50
    EXPECT_EQ(ScaleBarMetres(100, 250), 2);
    EXPECT_EQ(ScaleBarMetres(0.01, 99), 5000);
    EXPECT_EQ(ScaleBarMetres(0, 100), 0);
}
