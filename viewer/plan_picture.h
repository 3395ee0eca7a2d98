#pragma once
// Writes the plan with its features to a picture file: an SVG drawing when the
// name ends in ".svg", a PNG image otherwise. The file is replaced only once
// the whole picture is written.
#include <QSize>
#include <QString>
#include <vector>

#include "viewer/plan_painter.h"

// An empty text on success, else what went wrong (naming the file).
QString SavePlanPicture(const QString& path, QSize size, const TCave& cave,
                        const std::vector<TPlacedFeature>& features, const TPlanLayout& layout,
                        const TPlanOptions& options);
