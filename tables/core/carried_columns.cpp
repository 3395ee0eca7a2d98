#include "tables/core/carried_columns.h"

#include <algorithm>
#include <cmath>

#include "engine/error.h"

namespace tarnel::tables {

CarriedColumns::CarriedColumns(Table& copy, const std::vector<FieldDef>& newFields)
    : copy_(copy), format_(*copy.format())
{
    for (const auto& f : newFields) {
        FieldDef def;
        const FieldDef* old = copy.findField(f.name);
        if (old) def = *old;
        else def.type = ftString;
        def.name = f.name;
        def.number = static_cast<int>(fields_.size()) + 1;
        def.required = false;
        fields_.push_back(std::move(def));
        from_.push_back(old ? static_cast<int>(old - copy.fields().data()) : -1);
        trimmed_.push_back(old && (old->type == ftString || old->type == ftFixedChar));
    }
    const TableType type = format_.type();
    readsTrimmed_ = type == TableType::dBASE || type == TableType::FoxPro;
    copy_.first();
    record_ = copy_.eof() ? -1 : copy_.currentRecord();
    setCursor(0, copy_.eof());
}

void CarriedColumns::moveTo(std::int64_t row)
{
    copy_.moveTo(row);
    record_ = copy_.eof() ? -1 : copy_.currentRecord();
    setCursor(copy_.row(), copy_.eof());
}

Value CarriedColumns::carried(int field, Value v) const
{
    if (v.kind == Value::Kind::Text && trimmed_[static_cast<size_t>(field)]) {
        size_t n = v.s.size();
        while (n > 0 && v.s[n - 1] == ' ') --n;
        v.s.resize(n);
    } else if (v.kind == Value::Kind::Float && std::isnan(v.f)) {
        v = Value::null();   // SQL knows no NaN
    }
    return v;
}

Value CarriedColumns::value(int field) const
{
    const int from = from_.at(static_cast<size_t>(field));
    requireRow();
    return from < 0 ? Value::text({}) : carried(field, format_.value(record_, from));
}

Value CarriedColumns::valueAt(std::int64_t row, int field) const
{
    const int from = from_.at(static_cast<size_t>(field));
    Value v = copy_.valueAt(row, from < 0 ? 0 : from);   // throws past the end
    return from < 0 ? Value::text({}) : carried(field, std::move(v));
}

DataSet::StoredSource CarriedColumns::storedSource(int field) const
{
    const int from = from_.at(static_cast<size_t>(field));
    // The select gives a NaN as Null, so a float that may hold one goes by value.
    if (from < 0 || (fields_[static_cast<size_t>(field)].type == ftFloat && format_.storedMayBeNaN(from))) return {};
    return {&format_, from};
}

std::int64_t CarriedColumns::storedRecord(int field) const
{
    if (record_ < 0 || !trimmed_[static_cast<size_t>(field)] || readsTrimmed_) return record_;
    // The text ends at its first NUL or with the field.
    const std::string_view bytes = format_.storedBytes(record_, from_[static_cast<size_t>(field)]);
    const size_t end = std::min(bytes.find('\0'), bytes.size());
    return end > 0 && bytes[end - 1] == ' ' ? -1 : record_;
}

} // namespace tarnel::tables
