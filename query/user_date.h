#pragma once
// Dates in a query written the user's way: the short date format of the
// program's locale, with a two- or four-digit year.
#include <QString>
#include <cstdint>

#include "engine/sql/typed_constant.h"

namespace tarnel::query {

// The day number of `text` in the user's short date format; a four-digit
// year is read as it stands even where the format has two. False when the
// text is no such date.
bool ReadUserDate(const QString& text, std::int64_t& dayNumber);

// ReadUserDate for the engine.
sql::UserDateReader UserDateReader();

} // namespace tarnel::query
