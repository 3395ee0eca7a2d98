#pragma once
// The plan without a window: after every received stream, the picture file
// is written again with the survey and every feature received so far.
#include <QByteArray>
#include <QObject>
#include <QSize>
#include <memory>
#include <vector>

#include "viewer/feature_plan.h"
#include "viewer/plan_layout.h"

class TPlanRenderer : public QObject {
    Q_OBJECT
public:
    static constexpr int kWidth = 1024, kHeight = 768;

    TPlanRenderer(std::shared_ptr<const TCave> cave, const QString& picturePath, QObject* parent = nullptr);

    // Draws the picture; false (after a message on the error output) when it
    // could not be written.
    bool render();
    void addStream(const QByteArray& data);

    const TPlanLayout& layout() const { return layout_; }

private:
    std::shared_ptr<const TCave> cave_;
    QString path_;
    std::vector<TPlacedFeature> features_;
    TPlanLayout layout_;
};
