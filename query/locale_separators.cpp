#include "query/locale_separators.h"

#include <clocale>

namespace tarnel::query {

namespace {

QChar g_decimal = QLatin1Char('.');
QChar g_thousands = QLatin1Char(',');

QChar FirstOr(const QString& text, char fallback)
{
    return text.isEmpty() ? QChar(QLatin1Char(fallback)) : text.front();
}

} // namespace

void SetLocaleSeparators(bool useLocale)
{
    SetLocaleSeparators(useLocale, QLocale::system());
}

void SetLocaleSeparators(bool useLocale, const QLocale& userLocale)
{
    if (!useLocale) {
        g_decimal = QLatin1Char('.');
        g_thousands = QLatin1Char(',');
        std::setlocale(LC_NUMERIC, "C");
        QLocale::setDefault(QLocale::c());
        return;
    }
    g_decimal = FirstOr(userLocale.decimalPoint(), '.');
    g_thousands = FirstOr(userLocale.groupSeparator(), ',');
    std::setlocale(LC_NUMERIC, "");
    QLocale::setDefault(userLocale);
}

QChar DecimalSeparator() { return g_decimal; }
QChar ThousandSeparator() { return g_thousands; }

} // namespace tarnel::query
