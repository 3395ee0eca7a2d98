#include <QElapsedTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include "controls/up_down_button.h"
#include "widget_helpers.h"

using namespace tarnel;
using namespace tarnel::test;

TEST(AutoButton, HoldingRepeatsAfterTheInitialDelayAndClicksOnceMoreAtRelease)
{
    TUpDownButton pair;
    pair.show();
    TArrowButton* up = pair.upButton();
    QElapsedTimer clock;
    std::vector<qint64> clicks;
    QObject::connect(&pair, &TUpDownButton::OnUpClick, [&] { clicks.push_back(clock.elapsed()); });

    const QPoint inside = up->rect().center();
    clock.start();
    SendMouse(up, QEvent::MouseButtonPress, inside);
    EXPECT_TRUE(pair.Pressed());
    QTest::qWait(1020);
    const size_t repeats = clicks.size();
    const qint64 held = clock.elapsed();
    SendMouse(up, QEvent::MouseButtonRelease, inside);
    EXPECT_FALSE(pair.Pressed());

    // 400, 500, ..., 1000 ms: seven repeats. A busy machine delivers ticks
    // late, and coarse timers at most a few per cent early, so the held
    // time bounds the count from above (one tick of slack).
    ASSERT_GE(repeats, 3u);
    EXPECT_LE(repeats, static_cast<size_t>((held - 400) / 100 + 2));
    EXPECT_GE(clicks.front(), 350);
    EXPECT_LE(clicks.front(), 700);
    EXPECT_EQ(clicks.size(), repeats + 1);   // the release over the button

    // A short press clicks exactly once, at the release.
    clicks.clear();
    SendMouse(up, QEvent::MouseButtonPress, inside);
    QTest::qWait(50);
    EXPECT_TRUE(clicks.empty());
    SendMouse(up, QEvent::MouseButtonRelease, inside);
    EXPECT_EQ(clicks.size(), 1u);
    QTest::qWait(500);
    EXPECT_EQ(clicks.size(), 1u);
}

TEST(AutoButton, ReleasingOutsideStopsTheRepeatsWithoutAClick)
{
    TUpDownButton pair;
    pair.show();
    TArrowButton* down = pair.downButton();
    int clicks = 0;
    QObject::connect(&pair, &TUpDownButton::OnDownClick, [&] { ++clicks; });
    QSignalSpy mouseUps(down, &TAutoButton::OnMouseUp);

    SendMouse(down, QEvent::MouseButtonPress, down->rect().center());
    QTest::qWait(650);
    EXPECT_GE(clicks, 1);
    const QPoint outside(down->width() + 40, down->height() + 40);
    SendMouse(down, QEvent::MouseMove, outside);
    const int atLeave = clicks;
    QTest::qWait(400);
    EXPECT_EQ(clicks, atLeave);
    SendMouse(down, QEvent::MouseButtonRelease, outside);
    EXPECT_EQ(clicks, atLeave);
    EXPECT_EQ(mouseUps.count(), 1);
}

TEST(AutoButton, RepeatsOnlyWhenAskedTo)
{
    TAutoButton plain;
    plain.resize(20, 20);
    plain.show();
    int clicks = 0;
    QObject::connect(&plain, &QAbstractButton::clicked, [&] { ++clicks; });
    SendMouse(&plain, QEvent::MouseButtonPress, {5, 5});
    QTest::qWait(600);
    SendMouse(&plain, QEvent::MouseButtonRelease, {5, 5});
    EXPECT_EQ(clicks, 1);

    // ControlRepeat: only a press with Ctrl held repeats.
    plain.setControlRepeat(true);
    clicks = 0;
    SendMouse(&plain, QEvent::MouseButtonPress, {5, 5}, Qt::ControlModifier);
    QTest::qWait(600);
    SendMouse(&plain, QEvent::MouseButtonRelease, {5, 5});
    EXPECT_GE(clicks, 2);
}

TEST(AutoButton, AFailingRepeatStopsAndIsReported)
{
    CapturedErrors errors;
    TUpDownButton pair;
    pair.show();
    int calls = 0;
    QObject::connect(&pair, &TUpDownButton::OnUpClick, [&] {
        ++calls;
        throw std::runtime_error("step failed");
    });
    TArrowButton* up = pair.upButton();
    SendMouse(up, QEvent::MouseButtonPress, up->rect().center());
    QTest::qWait(900);
    SendMouse(up, QEvent::MouseButtonRelease, up->rect().center());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(errors.messages(), QStringList{"step failed"});
}

TEST(ArrowButton, TriangleGeometryAndColour)
{
    EXPECT_EQ(TArrowButton::ArrowPolygon(15, 11, false),
              QPolygon({QPoint(4, 4), QPoint(10, 4), QPoint(7, 7)}));
    EXPECT_EQ(TArrowButton::ArrowPolygon(15, 12, true),
              QPolygon({QPoint(4, 6), QPoint(10, 6), QPoint(7, 3)}));
    EXPECT_EQ(TArrowButton::ArrowPolygon(5, 2, false),   // truncation toward zero
              QPolygon({QPoint(-1, 0), QPoint(5, 0), QPoint(2, 3)}));
    EXPECT_EQ(TArrowButton::FocusMarkRect(15, 12, false), QRect(3, 3, 9, 6));
    EXPECT_EQ(TArrowButton::FocusMarkRect(15, 12, true), QRect(4, 4, 9, 6));

    TArrowButton arrow;
    arrow.setUpArrow(false);
    arrow.resize(15, 11);
    const QPoint inside(7, 5);
    EXPECT_EQ(arrow.grab().toImage().pixelColor(inside), QColor(0, 0, 0));
    arrow.setEnabled(false);
    EXPECT_EQ(arrow.grab().toImage().pixelColor(inside), QColor(128, 128, 128));
}

TEST(UpDownButton, LayoutSplitsTheHeightWithAOnePixelOverlap)
{
    TUpDownButton pair;
    EXPECT_EQ(pair.size(), QSize(17, 23));
    pair.show();
    pair.resize(15, 25);
    EXPECT_EQ(pair.upButton()->geometry(), QRect(0, 0, 15, 12));
    EXPECT_EQ(pair.downButton()->geometry(), QRect(0, 11, 15, 14));
    EXPECT_TRUE(pair.upButton()->UpArrow());
    EXPECT_FALSE(pair.downButton()->UpArrow());
    pair.resize(5, 20);
    EXPECT_EQ(pair.width(), 15);
}

TEST(UpDownButton, KeysClickTheFocusedArrowAndMoveTheMark)
{
    QWidget window;
    auto* pair = new TUpDownButton(&window);
    auto* other = new QLineEdit(&window);
    other->move(40, 0);
    pair->setTabStop(true);
    ASSERT_TRUE(ShowActive(window));
    QStringList log;
    QObject::connect(pair, &TUpDownButton::OnUpClick, [&](TUpDownButton* s) {
        EXPECT_EQ(s, pair);
        log << "up";
    });
    QObject::connect(pair, &TUpDownButton::OnDownClick, [&](TUpDownButton* s) {
        EXPECT_EQ(s, pair);
        log << "down";
    });

    pair->setFocus();
    EXPECT_TRUE(pair->upButton()->focusMark());
    QTest::keyClick(pair, Qt::Key_Space);
    QTest::keyClick(pair, Qt::Key_Down);
    EXPECT_TRUE(pair->downButton()->focusMark());
    EXPECT_FALSE(pair->upButton()->focusMark());
    QTest::keyClick(pair, Qt::Key_Space);
    QTest::keyClick(pair, Qt::Key_Up);
    EXPECT_EQ(log, QStringList({"up", "down", "down", "up"}));

    other->setFocus();
    EXPECT_FALSE(pair->upButton()->focusMark());

    // A press on an arrow makes it the focused one and takes the focus.
    QTest::mouseClick(pair->downButton(), Qt::LeftButton);
    EXPECT_TRUE(pair->hasFocus());
    EXPECT_EQ(pair->focusedButton(), pair->downButton());
    EXPECT_TRUE(pair->downButton()->focusMark());
}

TEST(UpDownButton, PressGivesTheFocusToTheFocusControl)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* target = new QLineEdit(&window);
    auto* pair = new TUpDownButton(&window);
    layout->addWidget(target);
    layout->addWidget(pair);
    ASSERT_TRUE(ShowActive(window));
    pair->setFocusControl(target);
    QTest::mouseClick(pair->upButton(), Qt::LeftButton);
    EXPECT_TRUE(target->hasFocus());

    delete target;
    EXPECT_EQ(pair->FocusControl(), nullptr);
    QTest::mouseClick(pair->upButton(), Qt::LeftButton);   // no tab stop: focus stays put
    EXPECT_FALSE(pair->hasFocus());
}
