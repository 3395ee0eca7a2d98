#include "viewer/plan_layout.h"

#include <algorithm>
#include <cmath>

void TPlanLayout::setFacing(double degrees)
{
    if (!std::isfinite(degrees)) degrees = 0;
    facing_ = std::fmod(std::fmod(degrees, 360.0) + 360.0, 360.0);
    double r = facing_ * M_PI / 180.0;
    cos_ = std::cos(r);
    sin_ = std::sin(r);
}

void TPlanLayout::setScale(double pixelsPerMetre)
{
    if (!std::isfinite(pixelsPerMetre)) return;
    scale_ = std::clamp(pixelsPerMetre, kMinScale, kMaxScale);
}

QPointF TPlanLayout::project(const TSurveyPoint& p) const
{
    double x = p.x / 100.0, y = p.y / 100.0;
    if (!elevation_) return {x, y};
    return {x * cos_ - y * sin_, p.z / 100.0};
}

QTransform TPlanLayout::toScreen(QSizeF view) const
{
    return QTransform(scale_, 0, 0, -scale_, view.width() / 2 - centre_.x() * scale_,
                      view.height() / 2 + centre_.y() * scale_);
}

QPointF TPlanLayout::fromScreen(QPointF pixel, QSizeF view) const
{
    return {centre_.x() + (pixel.x() - view.width() / 2) / scale_,
            centre_.y() - (pixel.y() - view.height() / 2) / scale_};
}

void TPlanLayout::fit(const QRectF& bounds, QSizeF view, double margin)
{
    centre_ = bounds.center();
    double w = std::max(view.width() - 2 * margin, 1.0);
    double h = std::max(view.height() - 2 * margin, 1.0);
    double sx = bounds.width() > 0 ? w / bounds.width() : kMaxScale;
    double sy = bounds.height() > 0 ? h / bounds.height() : kMaxScale;
    // A single point (or nothing at all) shows at a scale of 10 px a metre.
    double s = std::min(sx, sy);
    if (bounds.width() <= 0 && bounds.height() <= 0) s = 10;
    setScale(s);
}

void TPlanLayout::zoomAt(double factor, QPointF pixel, QSizeF view)
{
    if (!(factor > 0) || !std::isfinite(factor)) return;
    QPointF fixed = fromScreen(pixel, view);
    setScale(scale_ * factor);
    // Put `fixed` back under the pixel.
    QPointF now = fromScreen(pixel, view);
    centre_ += fixed - now;
}

void TPlanLayout::pan(QPointF delta)
{
    centre_ -= QPointF(delta.x() / scale_, -delta.y() / scale_);
}

QRectF ProjectedBounds(const TSurvey& survey, const TPlanLayout& layout)
{
    bool any = false;
    double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    auto add = [&](const TSurveyPoint& p) {
        QPointF q = layout.project(p);
        if (!any) {
            x0 = x1 = q.x();
            y0 = y1 = q.y();
            any = true;
            return;
        }
        x0 = std::min(x0, q.x());
        x1 = std::max(x1, q.x());
        y0 = std::min(y0, q.y());
        y1 = std::max(y1, q.y());
    };
    for (const TSurveyLeg& leg : survey.legs) {
        add(leg.from);
        add(leg.to);
    }
    for (const TSurveyStation& s : survey.stations) add(s.at);
    return QRectF(QPointF(x0, y0), QPointF(x1, y1));
}

double ScaleBarMetres(double scale, double maxPixels)
{
    if (!(scale > 0) || !(maxPixels > 0)) return 0;
    double most = maxPixels / scale;
    double power = std::pow(10.0, std::floor(std::log10(most)));
    for (double step : {5.0, 2.0, 1.0})
        if (step * power <= most) return step * power;
    return power;
}
