#pragma once
// The process-wide decimal and thousands separators used when numbers are
// turned into text for people. The viewer needs "." and "," whatever the
// user's locale, so a send switches them for its duration.
#include <QLocale>

namespace tarnel::query {

// false: "." and ","; true: the user's locale (its decimal separator, "."
// when it gives none; its thousands separator, "," when it gives none).
// true reads the locale again: it does not restore earlier values.
// Also switches the C library's numeric locale and Qt's default locale, so
// that every conversion in the process follows.
void SetLocaleSeparators(bool useLocale);
// The same, with the locale to read for true given (for tests).
void SetLocaleSeparators(bool useLocale, const QLocale& userLocale);

QChar DecimalSeparator();
QChar ThousandSeparator();

} // namespace tarnel::query
