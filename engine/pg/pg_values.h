#pragma once
// Field values between the engine and a PostgreSQL server's text form.
//
// The server writes dates, times and timestamps in ISO form (the server
// tables set DateStyle to ISO), booleans as t/f, bytea as \x and hex digits.
// Values go back as the same text, passed as statement parameters.
#include <string_view>

#include "engine/dataset.h"
#include "engine/pg/pg_connection.h"

namespace tarnel::pg {

// The engine's value of a column's text as the server sent it. Text the
// field's type cannot read (a date before year 1, "infinity") is kept as
// text rather than lost.
Value ValueOfServerText(const FieldDef& field, std::string_view text);
inline Value ValueOfServerText(const FieldDef& field, const Text& text)
{
    return text ? ValueOfServerText(field, std::string_view(*text)) : Value::null();
}

// The server's text for a value of a field (nullopt for NULL). The value is
// of the kind the field's type travels as (see value.h).
Text ServerTextOfValue(const FieldDef& field, const Value& value);

} // namespace tarnel::pg
