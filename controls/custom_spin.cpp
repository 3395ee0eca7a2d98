#include "controls/custom_spin.h"

#include <QApplication>
#include <QFocusEvent>
#include <QStyle>

namespace tarnel {

TDisPanel::TDisPanel(QWidget* parent) : QLabel(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    setAlignment(Qt::AlignCenter);
}

TCustomSpin::TCustomSpin(QWidget* parent) : TCustomEditEx(parent)
{
    button_ = new TUpDownButton(this);
    button_->resize(15, 17);
    button_->setFocusControl(this);
    button_->setCursor(Qt::ArrowCursor);
    connect(button_, &TUpDownButton::OnUpClick, this, [this] { upClick(); });
    connect(button_, &TUpDownButton::OnDownClick, this, [this] { downClick(); });

    panel_ = new TDisPanel(this);
    panel_->resize(0, 17);
    panel_->hide();

    setText(QStringLiteral("0"));
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!blockChange_) emit OnChange(this);
    });

    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    setMinimumHeight(fontMetrics().height() + 2 * frame + 2);
    layoutChildren();
}

void TCustomSpin::beep()
{
    QApplication::beep();
}

void TCustomSpin::setUnitsString(const QString& units)
{
    panel_->setText(units);
    panel_->setVisible(!units.isEmpty());
    layoutChildren();
}

void TCustomSpin::setPanelWidth(int width)
{
    panelWidth_ = width;
    layoutChildren();
}

void TCustomSpin::layoutChildren()
{
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int pairWidth = button_->width();
    const int innerHeight = height() - 2 * frame;
    button_->setGeometry(width() - pairWidth - frame, frame, pairWidth, innerHeight);

    int unitsWidth = 0;
    if (!panel_->text().isEmpty())
        unitsWidth = panelWidth_ != 0 ? panelWidth_
                                      : panel_->fontMetrics().horizontalAdvance(panel_->text()) + 6;
    panel_->setGeometry(button_->x() - unitsWidth, frame, unitsWidth, innerHeight);

    // Keep the typed text clear of the arrows and the units label.
    const int right = pairWidth + 2 + (panel_->isVisibleTo(this) ? unitsWidth : 0);
    setTextMargins(0, 0, right, 0);
}

void TCustomSpin::resizeEvent(QResizeEvent* event)
{
    TCustomEditEx::resizeEvent(event);
    layoutChildren();
}

void TCustomSpin::changeEvent(QEvent* event)
{
    TCustomEditEx::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        QPalette pal = panel_->palette();
        pal.setColor(QPalette::WindowText, isEnabled() ? QColor(0, 0, 0) : QColor(128, 128, 128));
        panel_->setPalette(pal);
    }
}

void TCustomSpin::focusInEvent(QFocusEvent* event)
{
    TCustomEditEx::focusInEvent(event);
    // The line edit selects everything when entered by keyboard; a press
    // places the caret instead. AutoSelect off keeps the caret as it is.
    const bool byKeyboard = event->reason() == Qt::TabFocusReason ||
                            event->reason() == Qt::BacktabFocusReason ||
                            event->reason() == Qt::ShortcutFocusReason;
    if (byKeyboard && autoSelect_) selectAll();
    else if (byKeyboard) deselect();
}

} // namespace tarnel
