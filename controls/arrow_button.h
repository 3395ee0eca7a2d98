#pragma once
// An auto-repeat button that draws a small up or down triangle.
#include <QPolygon>

#include "controls/auto_button.h"

namespace tarnel {

class TArrowButton : public TAutoButton {
    Q_OBJECT
    Q_PROPERTY(bool UpArrow READ UpArrow WRITE setUpArrow)

public:
    explicit TArrowButton(QWidget* parent = nullptr);

    bool UpArrow() const { return upArrow_; }
    void setUpArrow(bool up);

    // The dotted focus mark, set by the owning pair.
    bool focusMark() const { return focusMark_; }
    void setFocusMark(bool on);

    // The triangle's corners for a button of the given size.
    static QPolygon ArrowPolygon(int width, int height, bool up);
    // The focus rectangle for a button of the given size, shown up or down.
    static QRect FocusMarkRect(int width, int height, bool down);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool upArrow_ = true;
    bool focusMark_ = false;
};

} // namespace tarnel
