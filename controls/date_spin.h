#pragma once
// A bevelled panel that shows a date and carries one up/down arrow pair per
// date component, in the order of the locale's short date format.
#include <QFrame>
#include <QString>

#include "controls/up_down_button.h"
#include "engine/daynum.h"

namespace tarnel {

class TDateSpin : public QFrame {
    Q_OBJECT
    Q_PROPERTY(quint16 Year READ Year WRITE setYear)
    Q_PROPERTY(quint16 Month READ Month WRITE setMonth)
    Q_PROPERTY(quint16 Day READ Day WRITE setDay)

public:
    explicit TDateSpin(QWidget* parent = nullptr);

    quint16 Year() const;
    quint16 Month() const;
    quint16 Day() const;
    // Each set clamps into a real date, drops the time of day and notifies;
    // a year above 9999 throws DateEncodeError and changes nothing.
    void setYear(quint16 year);
    void setMonth(quint16 month);
    void setDay(quint16 day);

    // Days since 30 December 1899, time of day in the fraction.
    double value() const { return value_; }
    CivilDate date() const;

    // Which component each pair steps, left to right: "DMY", "MDY" or "YMD".
    const QString& StepOrder() const { return stepOrder_; }
    TUpDownButton* pair(int index) const { return pairs_[index]; }
    // " " followed by the date in the short date format.
    const QString& caption() const { return caption_; }

    QSize sizeHint() const override { return {131, 26}; }

public slots:
    virtual void UpClick(tarnel::TUpDownButton* sender);
    virtual void DownClick(tarnel::TUpDownButton* sender);

signals:
    void OnChanged(tarnel::TDateSpin* sender);

protected:
    virtual void DoChanged();
    void paintEvent(QPaintEvent* event) override;

private:
    void setPart(char part, int value);
    void step(TUpDownButton* sender, int delta);
    void UpdateCaption();

    double value_ = 0;
    TUpDownButton* pairs_[3] = {nullptr, nullptr, nullptr};
    QString stepOrder_;
    QString caption_;
};

// The short date pattern of the program's locale (the system's unless the
// program set another default).
QString ShortDatePattern();

// The pattern with its year widened to four digits: a two-digit year cannot
// tell 1899 from 1999 or 2099.
QString WithFourDigitYear(const QString& pattern);

} // namespace tarnel
