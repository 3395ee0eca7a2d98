#pragma once
// The plan of the cave in the viewer's window: drag to pan, the wheel or the
// + and - keys to zoom, arrows to move, F or Home to fit, E to switch between
// plan and elevation ([ and ] turn the elevation), N to show every station's
// name. The name of the station under the mouse is shown.
#include <QWidget>
#include <memory>
#include <vector>

#include "viewer/plan_painter.h"

class TPlanView : public QWidget {
    Q_OBJECT
public:
    explicit TPlanView(QWidget* parent = nullptr);

    void setCave(std::shared_ptr<const TCave> cave);
    const TCave* cave() const { return cave_.get(); }
    // The features to draw, the last on top; the caller keeps them alive.
    void setFeatures(const std::vector<TPlacedFeature>* features);

    TPlanLayout& layout() { return layout_; }
    const TPlanLayout& layout() const { return layout_; }
    TPlanOptions& options() { return options_; }
    const TPlanOptions& options() const { return options_; }

    void fitToWindow();
    void zoomBy(double factor);
    void setElevation(bool on);
    void setNamesShown(bool on);

    QSize sizeHint() const override { return QSize(640, 520); }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    std::shared_ptr<const TCave> cave_;
    const std::vector<TPlacedFeature>* features_ = nullptr;
    TPlanLayout layout_;
    TPlanOptions options_;
    bool moved_ = false;       // by the user: a resize no longer fits the cave
    bool dragging_ = false;
    QPointF lastMouse_;
};
