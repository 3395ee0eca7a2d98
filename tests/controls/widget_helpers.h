#pragma once
// Small helpers for driving the controls in the offscreen window tests.
#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <ostream>

#include "tests/support/box_recorder.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace tarnel::test {

// Sends a mouse event straight to a widget, with the left button held for
// presses and moves.
inline void SendMouse(QWidget* w, QEvent::Type type, QPoint pos,
                      Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, held, mods);
    QApplication::sendEvent(w, &event);
}

// Shows a top-level window and waits until it is the active one, so that
// focus changes happen as they would for a user.
inline bool ShowActive(QWidget& window)
{
    window.show();
    QApplication::setActiveWindow(&window);
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

// Collects the messages the controls report instead of showing error boxes.
struct CapturedErrors {
    BoxRecorder recorder;
    QStringList messages() const { return recorder.errors(); }
};

} // namespace tarnel::test
