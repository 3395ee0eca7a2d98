#include "controls/integer_spin.h"

#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLocale>

#include "controls/error_guard.h"

namespace tarnel {

TIntegerSpin::TIntegerSpin(QWidget* parent) : TCustomSpin(parent) {}

qint64 TIntegerSpin::limited(qint64 value)
{
    const LimitedValue result =
        ApplyLimits(value, IntegerLimits{minValue_, maxValue_, UseLimit(), Wrap()});
    if (result.wrapped) emit OnWrap(this, *result.wrapped);
    return result.value;
}

qint64 TIntegerSpin::Value()
{
    const auto parsed = ParseIntegerText(text().toStdString(), hexMode_);
    if (!parsed) return lastGood_;
    lastGood_ = limited(*parsed);
    return lastGood_;
}

void TIntegerSpin::setValue(qint64 value)
{
    lastGood_ = limited(value);
    setText(QString::fromStdString(FormatIntegerText(lastGood_, hexMode_, hexDigits_)));
}

void TIntegerSpin::setMaxValue(qint64 maxValue)
{
    if (maxValue == maxValue_) return;
    if (Value() > maxValue) setValue(maxValue);
    maxValue_ = maxValue;
}

void TIntegerSpin::setMinValue(qint64 minValue)
{
    if (minValue == minValue_) return;
    if (Value() < minValue) setValue(minValue);
    minValue_ = minValue;
}

void TIntegerSpin::setHexMode(bool on)
{
    if (on == hexMode_) return;
    const qint64 v = Value();
    hexMode_ = on;
    setValue(v);
}

void TIntegerSpin::setHexDigits(int digits)
{
    if (digits == hexDigits_) return;
    const qint64 v = Value();
    hexDigits_ = digits;
    setValue(v);
}

int TIntegerSpin::stepFactor() const
{
    const Qt::KeyboardModifiers mods =
        keyInProgress_ ? keyInProgress_->modifiers() : QGuiApplication::keyboardModifiers();
    return (mods & Qt::ControlModifier) ? 10 : 1;
}

void TIntegerSpin::step(bool up)
{
    const int factor = stepFactor();
    if (isReadOnly()) {
        beep();
        return;
    }
    if (ownerIncrement_) {
        qint64 v = Value();
        if (OnIncrement) OnIncrement(this, up, v);
        setValue(v);
        return;
    }
    setValue(StepInteger(Value(), increment_, factor, up));
}

void TIntegerSpin::StepUp() { step(true); }
void TIntegerSpin::StepDown() { step(false); }

bool TIntegerSpin::AcceptsChar(char32_t ch) const
{
    const QString sep = QLocale().decimalPoint();
    const char32_t decimal = sep.isEmpty() ? U'.' : static_cast<char32_t>(sep.toUcs4().value(0));
    return AcceptsIntegerChar(ch, hexMode_, EditorEnabled(), decimal);
}

void TIntegerSpin::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
        keyInProgress_ = event;
        const bool up = event->key() == Qt::Key_Up;
        RunGuarded(this, [&] { up ? StepUp() : StepDown(); });
        keyInProgress_ = nullptr;
        event->accept();
        return;
    }
    const char32_t ch = KeyCharacter(event);
    // Enter is left to the line edit, which hands it on to the dialog.
    if (ch != 0 && ch != 13 && !AcceptsChar(ch)) {
        beep();
        event->accept();
        return;
    }
    TCustomSpin::keyPressEvent(event);
}

void TIntegerSpin::focusOutEvent(QFocusEvent* event)
{
    TCustomSpin::focusOutEvent(event);
    // Leaving for another control (not a menu or another window) puts a
    // limited, formatted number back into the box.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    if (text().isEmpty()) setValue(lastGood_);
    setValue(Value());
}

} // namespace tarnel
