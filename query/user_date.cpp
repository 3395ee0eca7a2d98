#include "query/user_date.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>

#include "controls/date_spin.h"
#include "engine/daynum.h"

namespace tarnel::query {

bool ReadUserDate(const QString& text, std::int64_t& dayNumber)
{
    const QString pattern = ShortDatePattern();
    QString fourDigits = pattern;
    fourDigits.replace(QRegularExpression(QStringLiteral("y+")), QStringLiteral("yyyy"));
    const QLocale locale;
    QDate date = locale.toDate(text.trimmed(), fourDigits);
    if (!date.isValid()) date = locale.toDate(text.trimmed(), pattern);
    if (!date.isValid()) return false;
    dayNumber = DayNumber(date.year(), date.month(), date.day());
    return true;
}

sql::UserDateReader UserDateReader()
{
    return [](std::string_view text, std::int64_t& dayNumber) {
        return ReadUserDate(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), dayNumber);
    };
}

} // namespace tarnel::query
