// The process-wide number separators and the switch between "." and the locale's.
#include "query/core/locale_separators.h"

#include <clocale>

namespace tarnel::query {

namespace {

QChar FirstOr(const QString& text, char fallback)
{
    return text.isEmpty() ? QChar(QLatin1Char(fallback)) : text.front();
}

struct Separators {
    QChar decimal;
    QChar thousands;
};

// The user's locale until the first switch.
Separators& Current()
{
    static Separators current{FirstOr(QLocale::system().decimalPoint(), '.'),
                              FirstOr(QLocale::system().groupSeparator(), ',')};
    return current;
}

} // namespace

void SetLocaleSeparators(bool useLocale)
{
    SetLocaleSeparators(useLocale, QLocale::system());
}

void SetLocaleSeparators(bool useLocale, const QLocale& userLocale)
{
    if (!useLocale) {
        Current() = {QLatin1Char('.'), QLatin1Char(',')};
        std::setlocale(LC_NUMERIC, "C");
        QLocale::setDefault(QLocale::c());
        return;
    }
    Current() = {FirstOr(userLocale.decimalPoint(), '.'), FirstOr(userLocale.groupSeparator(), ',')};
    std::setlocale(LC_NUMERIC, "");
    QLocale::setDefault(userLocale);
}

QChar DecimalSeparator() { return Current().decimal; }
QChar ThousandSeparator() { return Current().thousands; }

} // namespace tarnel::query
