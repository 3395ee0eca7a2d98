#include "controls/up_down_button.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "controls/error_guard.h"

namespace tarnel {

TUpDownButton::TUpDownButton(QWidget* parent) : QWidget(parent)
{
    up_ = new TArrowButton(this);
    up_->setUpArrow(true);
    down_ = new TArrowButton(this);
    down_->setUpArrow(false);
    for (TArrowButton* b : {up_, down_}) {
        b->setDoRepeat(true);
        b->installEventFilter(this);
    }
    focused_ = up_;
    connect(up_, &QAbstractButton::clicked, this, [this] { fire(up_); });
    connect(down_, &QAbstractButton::clicked, this, [this] { fire(down_); });
    setFocusPolicy(Qt::NoFocus);
    setMinimumWidth(15);
    resize(17, 23);
    layoutButtons();
}

void TUpDownButton::fire(TArrowButton* button)
{
    // A failing handler ends the click (and any repeating) and is shown to the
    // user; the exception does not travel back through the button's event code.
    RunGuarded(this, [&] {
        try {
            if (button == up_) emit OnUpClick(this);
            else emit OnDownClick(this);
        } catch (...) {
            button->stopRepeat();
            throw;
        }
    });
}

void TUpDownButton::layoutButtons()
{
    // The down arrow overlaps the up arrow by one pixel, so their borders meet.
    const int w = width();
    const int h = height();
    const int upHeight = h / 2;
    up_->setGeometry(0, 0, w, upHeight);
    down_->setGeometry(0, upHeight - 1, w, h - upHeight + 1);
}

void TUpDownButton::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutButtons();
}

void TUpDownButton::setFocusedButton(TArrowButton* button)
{
    if (button == focused_) return;
    focused_->setFocusMark(false);
    focused_ = button;
    focused_->setFocusMark(hasFocus());
}

void TUpDownButton::arrowPressed(TArrowButton* button)
{
    const bool canFocus = TabStop() && isEnabled() && isVisible();
    if (canFocus) setFocusedButton(button);
    QWidget* control = focusControl_;
    if (control && control->focusPolicy() & Qt::TabFocus && control->isEnabled() &&
        control->isVisible() && !control->hasFocus()) {
        control->setFocus(Qt::MouseFocusReason);
    } else if (canFocus && !hasFocus()) {
        setFocus(Qt::MouseFocusReason);
    }
}

bool TUpDownButton::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == up_) arrowPressed(up_);
        else if (watched == down_) arrowPressed(down_);
    }
    return QWidget::eventFilter(watched, event);
}

void TUpDownButton::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Space:
        focused_->click();
        break;
    case Qt::Key_Up:
        setFocusedButton(up_);
        up_->click();
        break;
    case Qt::Key_Down:
        setFocusedButton(down_);
        down_->click();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TUpDownButton::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    focused_->setFocusMark(true);
}

void TUpDownButton::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    focused_->setFocusMark(false);
}

} // namespace tarnel
