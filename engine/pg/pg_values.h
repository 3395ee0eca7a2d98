#pragma once
// Field values in the server's text form and back: what COPY, the parameters
// of a statement and a result's columns carry.
//   String, Memo    the UTF-8 text          Boolean   t / f
//   integers        decimal                 Float, BCD  %.17g (exact round trip)
//   Date            yyyy-mm-dd              Time      hh:mm:ss.mmm
//   DateTime        yyyy-mm-dd hh:mm:ss.mmm binary    \x and hexadecimal digits
#include <string>
#include <string_view>

#include "engine/dataset.h"
#include "engine/pg/pg_connection.h"

namespace tarnel::pg {

// The server's text of a value for a column of the field's type; nullopt for
// NULL. Throws EngineError naming the field when the value has the wrong kind.
Text ServerTextOfValue(const FieldDef& field, const Value& value);

// The engine's value of a column's text as the server sends it.
Value ValueOfServerText(const FieldDef& field, std::string_view text);

} // namespace tarnel::pg
