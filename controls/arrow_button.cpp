#include "controls/arrow_button.h"

#include <QPainter>
#include <QStyleOptionFocusRect>

namespace tarnel {

TArrowButton::TArrowButton(QWidget* parent) : TAutoButton(parent) {}

void TArrowButton::setUpArrow(bool up)
{
    if (upArrow_ == up) return;
    upArrow_ = up;
    update();
}

void TArrowButton::setFocusMark(bool on)
{
    if (focusMark_ == on) return;
    focusMark_ = on;
    update();
}

QPolygon TArrowButton::ArrowPolygon(int width, int height, bool up)
{
    // Integer division truncates toward zero, also for tiny buttons.
    const int x = (width - 7) / 2;
    if (up) {
        const int y = (height - 3) / 2 - 1;
        return QPolygon({QPoint(x, y + 3), QPoint(x + 6, y + 3), QPoint(x + 3, y)});
    }
    const int y = (height - 3) / 2;
    return QPolygon({QPoint(x, y), QPoint(x + 6, y), QPoint(x + 3, y + 3)});
}

QRect TArrowButton::FocusMarkRect(int width, int height, bool down)
{
    QRect r(3, 3, width - 6, height - 6);
    if (down) r.translate(1, 1);
    return r;
}

void TArrowButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintFace(painter);

    const QColor colour = isEnabled() ? QColor(0, 0, 0) : QColor(128, 128, 128);
    painter.setPen(colour);
    painter.setBrush(colour);
    painter.drawPolygon(ArrowPolygon(width(), height(), upArrow_));

    if (focusMark_) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = FocusMarkRect(width(), height(), isDown());
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

} // namespace tarnel
