#include "viewer/plan_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>

namespace {
const std::vector<TPlacedFeature> kNoFeatures;
}

TPlanView::TPlanView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("plan"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 160);
}

void TPlanView::setCave(std::shared_ptr<const TCave> cave)
{
    cave_ = std::move(cave);
    options_.hoverStation = -1;
    fitToWindow();
}

void TPlanView::setFeatures(const std::vector<TPlacedFeature>* features)
{
    features_ = features;
    update();
}

void TPlanView::fitToWindow()
{
    if (cave_ && width() > 0 && height() > 0) layout_.fit(ProjectedBounds(cave_->survey, layout_), size());
    moved_ = false;
    update();
}

void TPlanView::zoomBy(double factor)
{
    layout_.zoomAt(factor, QPointF(width() / 2.0, height() / 2.0), size());
    moved_ = true;
    update();
}

void TPlanView::setElevation(bool on)
{
    layout_.setElevation(on);
    fitToWindow();
}

void TPlanView::setNamesShown(bool on)
{
    options_.names = on;
    update();
}

void TPlanView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!cave_) {
        p.fillRect(rect(), palette().window());
        return;
    }
    PaintPlan(p, size(), *cave_, features_ ? *features_ : kNoFeatures, layout_, options_);
}

void TPlanView::resizeEvent(QResizeEvent*)
{
    // Until the user moves the drawing, it follows the window's size.
    if (!moved_) fitToWindow();
}

void TPlanView::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        dragging_ = true;
        lastMouse_ = e->position();
        setCursor(Qt::ClosedHandCursor);
    }
}

void TPlanView::mouseMoveEvent(QMouseEvent* e)
{
    if (dragging_) {
        layout_.pan(e->position() - lastMouse_);
        lastMouse_ = e->position();
        moved_ = true;
        update();
        return;
    }
    if (!cave_) return;
    int near = StationNear(*cave_, layout_, size(), e->position(), 6);
    if (near != options_.hoverStation) {
        options_.hoverStation = near;
        update();
    }
}

void TPlanView::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && dragging_) {
        dragging_ = false;
        unsetCursor();
    }
}

void TPlanView::wheelEvent(QWheelEvent* e)
{
    double steps = e->angleDelta().y() / 120.0;
    if (steps == 0) return;
    layout_.zoomAt(std::pow(1.25, steps), e->position(), size());
    moved_ = true;
    update();
}

void TPlanView::keyPressEvent(QKeyEvent* e)
{
    const double step = 40;
    auto pan = [&](QPointF by) {
        layout_.pan(by);
        moved_ = true;
        update();
    };
    switch (e->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomBy(1.25);
        break;
    case Qt::Key_Minus:
        zoomBy(0.8);
        break;
    case Qt::Key_Left:
        pan(QPointF(step, 0));
        break;
    case Qt::Key_Right:
        pan(QPointF(-step, 0));
        break;
    case Qt::Key_Up:
        pan(QPointF(0, step));
        break;
    case Qt::Key_Down:
        pan(QPointF(0, -step));
        break;
    case Qt::Key_F:
    case Qt::Key_Home:
        fitToWindow();
        break;
    case Qt::Key_E:
        setElevation(!layout_.elevation());
        break;
    case Qt::Key_BracketLeft:
    case Qt::Key_BracketRight:
        layout_.setFacing(layout_.facing() + (e->key() == Qt::Key_BracketLeft ? -15 : 15));
        update();
        break;
    case Qt::Key_N:
        setNamesShown(!options_.names);
        break;
    default:
        QWidget::keyPressEvent(e);
    }
}

void TPlanView::leaveEvent(QEvent*)
{
    if (options_.hoverStation >= 0) {
        options_.hoverStation = -1;
        update();
    }
}
