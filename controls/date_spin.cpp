#include "controls/date_spin.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLocale>
#include <QPainter>

#include "controls/date_step.h"

namespace tarnel {

QString ShortDatePattern()
{
    return QLocale().dateFormat(QLocale::ShortFormat);
}

QString WithFourDigitYear(const QString& pattern)
{
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern[i];
        if (c == u'\'') {
            quoted = !quoted;
            out += c;
            ++i;
            continue;
        }
        if (quoted || c != u'y') {
            out += c;
            ++i;
            continue;
        }
        qsizetype run = 0;
        while (i + run < pattern.size() && pattern[i + run] == u'y') ++run;
        out += run < 4 ? QStringLiteral("yyyy") : pattern.mid(i, run);
        i += run;
    }
    return out;
}

TDateSpin::TDateSpin(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    resize(131, 26);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    layout->addStretch(1);
    for (auto& pair : pairs_) {
        pair = new TUpDownButton(this);
        pair->setFixedWidth(15);
        pair->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        layout->addWidget(pair);
        connect(pair, &TUpDownButton::OnUpClick, this, &TDateSpin::UpClick);
        connect(pair, &TUpDownButton::OnDownClick, this, &TDateSpin::DownClick);
    }

    const QDateTime now = QDateTime::currentDateTime();
    const QDate today = now.date();
    value_ = static_cast<double>(DayNumber(today.year(), today.month(), today.day())) +
             now.time().msecsSinceStartOfDay() / 86400000.0;
    UpdateCaption();
    stepOrder_ = QString::fromStdString(StepOrderFromPattern(ShortDatePattern().toStdString()));
}

CivilDate TDateSpin::date() const
{
    return DecodeDate(value_);
}

quint16 TDateSpin::Year() const { return static_cast<quint16>(date().year); }
quint16 TDateSpin::Month() const { return static_cast<quint16>(date().month); }
quint16 TDateSpin::Day() const { return static_cast<quint16>(date().day); }

void TDateSpin::setYear(quint16 year) { setPart('Y', year); }
void TDateSpin::setMonth(quint16 month) { setPart('M', month); }
void TDateSpin::setDay(quint16 day) { setPart('D', day); }

void TDateSpin::setPart(char part, int value)
{
    const double encoded = EncodeDate(SetDatePart(date(), part, value));   // may throw
    value_ = encoded;
    UpdateCaption();
    DoChanged();
}

void TDateSpin::step(TUpDownButton* sender, int delta)
{
    for (int i = 0; i < 3; ++i) {
        if (pairs_[i] == sender) {
            const char part = stepOrder_.at(i).toLatin1();
            value_ = EncodeDate(StepDatePart(date(), part, delta));   // may throw
            break;
        }
    }
    UpdateCaption();
    DoChanged();
}

void TDateSpin::UpClick(TUpDownButton* sender) { step(sender, +1); }
void TDateSpin::DownClick(TUpDownButton* sender) { step(sender, -1); }

void TDateSpin::DoChanged()
{
    emit OnChanged(this);
}

void TDateSpin::UpdateCaption()
{
    const CivilDate d = date();
    caption_ = QStringLiteral(" ") + QLocale().toString(QDate(d.year, d.month, d.day),
                                                          WithFourDigitYear(ShortDatePattern()));
    update();
}

void TDateSpin::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    QRect textArea = contentsRect();
    textArea.setRight(pairs_[0]->geometry().left() - 1);
    painter.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter, caption_);
}

} // namespace tarnel
