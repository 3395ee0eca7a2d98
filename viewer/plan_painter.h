#pragma once
// Draws a survey and the features placed on it onto any paint device: the
// plan window, a picture file or an SVG drawing.
#include <QSize>
#include <vector>

#include "viewer/feature_plan.h"
#include "viewer/plan_layout.h"

class QPainter;

struct TPlanOptions {
    bool stations = true;      // small marks at the stations
    bool names = false;        // every station's name (where there is room)
    bool splays = true;
    bool surface = true;
    int hoverStation = -1;     // named however the other names are set
};

// Features are drawn in the order given: the last on top.
void PaintPlan(QPainter& painter, QSize size, const TCave& cave, const std::vector<TPlacedFeature>& features,
               const TPlanLayout& layout, const TPlanOptions& options);

// The station nearest to `pixel` within `radius` pixels, or -1.
int StationNear(const TCave& cave, const TPlanLayout& layout, QSizeF view, QPointF pixel, double radius);
