#pragma once
// A pair of arrow buttons, up above down, that reports which one was clicked,
// with the pair itself as sender.
#include <QPointer>
#include <QWidget>

#include "controls/arrow_button.h"

namespace tarnel {

class TUpDownButton : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool Pressed READ Pressed)

public:
    explicit TUpDownButton(QWidget* parent = nullptr);

    TArrowButton* upButton() const { return up_; }
    TArrowButton* downButton() const { return down_; }
    // The arrow that Space clicks and that carries the focus mark.
    TArrowButton* focusedButton() const { return focused_; }

    // A control that takes the focus when an arrow is pressed (none: the pair
    // takes it itself when it is a tab stop). Forgotten when it is destroyed.
    QWidget* FocusControl() const { return focusControl_; }
    void setFocusControl(QWidget* control) { focusControl_ = control; }

    // Whether the pair is in the tab order and takes the focus on a press.
    bool TabStop() const { return focusPolicy() != Qt::NoFocus; }
    void setTabStop(bool on) { setFocusPolicy(on ? Qt::StrongFocus : Qt::NoFocus); }

    // True while either arrow is held down.
    bool Pressed() const { return up_->held() || down_->held(); }

    QSize sizeHint() const override { return {17, 23}; }

signals:
    void OnUpClick(tarnel::TUpDownButton* sender);
    void OnDownClick(tarnel::TUpDownButton* sender);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layoutButtons();
    void fire(TArrowButton* button);
    void setFocusedButton(TArrowButton* button);
    void arrowPressed(TArrowButton* button);

    TArrowButton* up_;
    TArrowButton* down_;
    TArrowButton* focused_;
    QPointer<QWidget> focusControl_;
};

} // namespace tarnel
