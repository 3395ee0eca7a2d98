#include "viewer/plan_renderer.h"

#include <cstdio>

#include "viewer/plan_picture.h"

TPlanRenderer::TPlanRenderer(std::shared_ptr<const TCave> cave, const QString& picturePath, QObject* parent)
    : QObject(parent), cave_(std::move(cave)), path_(picturePath)
{
    layout_.fit(ProjectedBounds(cave_->survey, layout_), QSizeF(kWidth, kHeight));
}

bool TPlanRenderer::render()
{
    QString error = SavePlanPicture(path_, QSize(kWidth, kHeight), *cave_, features_, layout_, TPlanOptions());
    if (error.isEmpty()) return true;
    std::fprintf(stderr, "Oculo32: %s\n", qPrintable(error));
    return false;
}

void TPlanRenderer::addStream(const QByteArray& data)
{
    AddFeatures(features_, ParseFeatureStream(data), cave_.get());
    render();
}
