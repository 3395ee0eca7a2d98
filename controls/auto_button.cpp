#include "controls/auto_button.h"

#include <QMouseEvent>

#include "controls/error_guard.h"
#include <QPainter>
#include <QStyleOptionButton>

namespace tarnel {

TAutoButton::TAutoButton(QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

QSize TAutoButton::sizeHint() const
{
    return {23, 22};
}

void TAutoButton::paintFace(QPainter& painter)
{
    QStyleOption option;
    option.initFrom(this);
    option.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_PanelButtonTool, &option, &painter, this);
}

void TAutoButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintFace(painter);
    if (!text().isEmpty())
        painter.drawText(rect(), Qt::AlignCenter, text());
}

void TAutoButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        held_ = true;
        // The button's own repeat timer does the repeating: first tick after
        // InitialDelay, then every RepeatDelay while the button stays down
        // (the mouse still over it); release over the button clicks once more.
        const bool repeat =
            doRepeat_ || (controlRepeat_ && (event->modifiers() & Qt::ControlModifier));
        setAutoRepeatDelay(initialDelay_);
        setAutoRepeatInterval(repeatDelay_);
        setAutoRepeat(repeat);
    }
    QAbstractButton::mousePressEvent(event);
}

void TAutoButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) held_ = false;
    // The release over the button clicks once more; a failing click is reported.
    RunGuarded(this, [&] { QAbstractButton::mouseReleaseEvent(event); });
    if (event->button() == Qt::LeftButton) {
        setAutoRepeat(false);
        emit OnMouseUp(this);
    }
}

void TAutoButton::stopRepeat()
{
    setAutoRepeat(false);
    setDown(false);
}

void TAutoButton::timerEvent(QTimerEvent* event)
{
    RunGuarded(this, [&] {
        try {
            QAbstractButton::timerEvent(event);
        } catch (...) {
            // A failing click ends the repeating before the error is shown, so
            // that the timer does not go on clicking behind the error box.
            stopRepeat();
            throw;
        }
    });
}

} // namespace tarnel
