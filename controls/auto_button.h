#pragma once
// A flat push button that repeats its click while it is held down.
#include <QAbstractButton>

namespace tarnel {

class TAutoButton : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(int InitialDelay READ InitialDelay WRITE setInitialDelay)
    Q_PROPERTY(int RepeatDelay READ RepeatDelay WRITE setRepeatDelay)
    Q_PROPERTY(bool DoRepeat READ DoRepeat WRITE setDoRepeat)
    Q_PROPERTY(bool ControlRepeat READ ControlRepeat WRITE setControlRepeat)

public:
    explicit TAutoButton(QWidget* parent = nullptr);

    int InitialDelay() const { return initialDelay_; }
    void setInitialDelay(int ms) { initialDelay_ = ms; }
    int RepeatDelay() const { return repeatDelay_; }
    void setRepeatDelay(int ms) { repeatDelay_ = ms; }
    bool DoRepeat() const { return doRepeat_; }
    void setDoRepeat(bool on) { doRepeat_ = on; }
    bool ControlRepeat() const { return controlRepeat_; }
    void setControlRepeat(bool on) { controlRepeat_ = on; }

    // True from the mouse press to the mouse release.
    bool held() const { return held_; }

    // Ends a repeating press at once: no more ticks, no click at the release.
    void stopRepeat();

    QSize sizeHint() const override;

signals:
    void OnMouseUp(tarnel::TAutoButton* sender);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

    // The flat button face, raised or (while pressed) sunken.
    void paintFace(QPainter& painter);

private:
    int initialDelay_ = 400;
    int repeatDelay_ = 100;
    bool doRepeat_ = false;
    bool controlRepeat_ = false;
    bool held_ = false;
};

} // namespace tarnel
