#pragma once
// An edit box for one 64-bit whole number, stepped by its arrows or the
// Up/Down keys (Ctrl: ten steps), kept within limits, shown in decimal or
// hexadecimal.
#include <functional>

#include "controls/custom_spin.h"
#include "controls/integer_value.h"

namespace tarnel {

class TIntegerSpin;
// The owner's step: `inc` is true for up; `value` comes in as the current
// value and what the handler leaves in it becomes the new value.
using TIntegerIncEvent = std::function<void(TIntegerSpin* sender, bool inc, qint64& value)>;

class TIntegerSpin : public TCustomSpin {
    Q_OBJECT
    Q_PROPERTY(qint64 Increment READ Increment WRITE setIncrement)
    Q_PROPERTY(qint64 MaxValue READ MaxValue WRITE setMaxValue)
    Q_PROPERTY(qint64 MinValue READ MinValue WRITE setMinValue)
    Q_PROPERTY(qint64 Value READ Value WRITE setValue)
    Q_PROPERTY(bool OwnerIncrement READ OwnerIncrement WRITE setOwnerIncrement)
    Q_PROPERTY(bool HexMode READ HexMode WRITE setHexMode)
    Q_PROPERTY(int HexDigits READ HexDigits WRITE setHexDigits)

public:
    explicit TIntegerSpin(QWidget* parent = nullptr);

    qint64 Increment() const { return increment_; }
    void setIncrement(qint64 increment) { increment_ = increment; }
    qint64 MaxValue() const { return maxValue_; }
    void setMaxValue(qint64 maxValue);
    qint64 MinValue() const { return minValue_; }
    void setMinValue(qint64 minValue);

    // The number in the box, limited; the last good value while the text is
    // not a number (empty, a lone sign...).
    qint64 Value();
    void setValue(qint64 value);

    bool OwnerIncrement() const { return ownerIncrement_; }
    void setOwnerIncrement(bool on) { ownerIncrement_ = on; }
    TIntegerIncEvent OnIncrement;

    bool HexMode() const { return hexMode_; }
    void setHexMode(bool on);
    int HexDigits() const { return hexDigits_; }
    void setHexDigits(int digits);

    // One step up or down (Increment, or ten of them while Ctrl is held).
    // Throws IntegerOverflowError past the 64-bit range, value unchanged.
    virtual void StepUp();
    virtual bool AcceptsChar(char32_t ch) const;
    virtual void StepDown();

protected:
    void upClick() override { StepUp(); }
    void downClick() override { StepDown(); }
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    qint64 limited(qint64 value);
    void step(bool up);
    int stepFactor() const;

    qint64 increment_ = 1;
    qint64 maxValue_ = 0;
    qint64 minValue_ = 0;
    qint64 lastGood_ = 0;
    bool ownerIncrement_ = false;
    bool hexMode_ = false;
    int hexDigits_ = 4;
    const QKeyEvent* keyInProgress_ = nullptr;
};

} // namespace tarnel
