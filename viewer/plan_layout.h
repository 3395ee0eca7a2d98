#pragma once
// Where the cave lands on the screen: a plan (north up) or an elevation seen
// from a chosen bearing, scaled and shifted into a view of a given size.
// Drawing-plane coordinates are metres, x to the right and y up; pixels have
// y down.
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QTransform>

#include "viewer/survey_3d.h"

class TPlanLayout {
public:
    static constexpr double kMinScale = 1e-4;   // pixels per metre
    static constexpr double kMaxScale = 1e4;

    double scale() const { return scale_; }
    QPointF centre() const { return centre_; }
    bool elevation() const { return elevation_; }
    double facing() const { return facing_; }

    void setElevation(bool on) { elevation_ = on; }
    // The bearing the elevation looks toward, degrees clockwise from north.
    void setFacing(double degrees);
    void setScale(double pixelsPerMetre);
    void setCentre(QPointF centre) { centre_ = centre; }

    QPointF project(const TSurveyPoint& p) const;
    QTransform toScreen(QSizeF view) const;   // drawing plane to pixels
    QPointF screenPoint(const TSurveyPoint& p, QSizeF view) const { return toScreen(view).map(project(p)); }
    QPointF fromScreen(QPointF pixel, QSizeF view) const;

    // Shows all of `bounds` (drawing plane) in the view, `margin` pixels clear.
    void fit(const QRectF& bounds, QSizeF view, double margin = 32);
    // Scales by `factor` keeping the point under `pixel` where it is.
    void zoomAt(double factor, QPointF pixel, QSizeF view);
    // Moves the drawing with the mouse by `delta` pixels.
    void pan(QPointF delta);

private:
    double scale_ = 1;
    QPointF centre_;
    bool elevation_ = false;
    double facing_ = 0;
    double cos_ = 1, sin_ = 0;
};

// The bounds of every leg and station of the survey in the drawing plane.
QRectF ProjectedBounds(const TSurvey& survey, const TPlanLayout& layout);

// A round length in metres (1, 2 or 5 times a power of ten) that spans at most
// `maxPixels` at `scale` pixels per metre.
double ScaleBarMetres(double scale, double maxPixels);
