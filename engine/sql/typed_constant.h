#pragma once
// A quoted constant compared with a typed field, written as a SQLite constant
// of the field's type, so that (FOUND  = "2000-07-18") compares dates and
// (WET  = "True") compares logical values.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "engine/dataset.h"

namespace tarnel::sql {

// Reads a date written the user's way (the short date format of the desktop);
// false when the text is not one.
using UserDateReader = std::function<bool(std::string_view text, std::int64_t& dayNumber)>;

// The SQLite constant for `text` compared with `field`:
//   Date, DateTime, TimeStamp  yyyy-mm-dd [hh:mm[:ss]], the user's date
//                              [hh:mm[:ss]], or a day number
//   Time                       hh:mm[:ss]
//   Boolean                    the logical words field editing takes: True,
//                              False, T, F, Yes, No, Y, N, 1, 0 (any case)
//   numbers                    a finite numeral, as field editing takes it
// Nothing for text and other fields: the text is compared as it is. Throws
// EngineError naming the field and the text when it is none of these.
std::optional<std::string> TypedConstant(const FieldDef& field, std::string_view text,
                                         const UserDateReader& userDate = {});

} // namespace tarnel::sql
