#pragma once
// The one place where a field's values change form: stored numerals into
// Values, Values into the engine's text and into numbers, and text or a value
// of another type into the Value a field of a given type holds. Every reader
// (grid, dump, SQL, export) and every writer (editing, batch moves) goes
// through these; a format's fast path must give the same result as they do.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/dataset.h"

namespace tarnel {

// --- reading --------------------------------------------------------------

// The engine's text of a value of the field (see FormatValueText in dataset.h),
// appended to out.
void AppendValueText(const FieldDef& field, const Value& value, std::string& out);

// A decimal numeral as stored in a table's record (blanks around it allowed)
// as the value of a field of the given type. The stored text is the truth: an
// integer field whose text has a fraction reads as a Float of that fraction,
// and a whole number past the 64-bit range as a Float. Null when the text is
// blank or no number.
Value NumeralValue(std::string_view text, TFieldType type);

// The number a value stands for: integers, floats, and text that parses as a
// number. False for anything else (NULL, binary, other text).
bool ValueAsNumber(const Value& value, double& out);

// The text a text field stores for a value: numbers in the general format,
// text and bytes as they are, NULL empty.
std::string PlainText(const Value& value);

// A value as a number, for DataSet::asFloat: NULL is 0; throws EngineError
// naming the field when the value is not a number.
double ValueToFloat(const FieldDef& field, const Value& value);

// --- writing --------------------------------------------------------------

// Text typed for a field, as a value of the field's type. Blank text is NULL
// (empty bytes for binary fields). Throws EngineError naming the field when the
// text does not parse for the type.
Value ParseValueText(const FieldDef& field, std::string_view text);

// A value brought to the kind the field's type travels as (see value.h).
// `from` is the type of the field the value was read from (ftUnknown when not
// known): a date, time or logical becomes its text in a text field, a day
// number moves between Date and DateTime. Throws EngineError naming the field
// when the value does not parse, is not a whole number for an integer field,
// or is out of the field's range.
Value ConvertValue(const FieldDef& field, Value value, TFieldType from = ftUnknown);

// Whole numbers and logicals as text: "+12", " 7 "; "T", "yes", "0"...
bool ParseInteger(std::string_view text, std::int64_t& out);
bool ParseBoolean(std::string_view text, std::int64_t& out);

} // namespace tarnel
