#pragma once
// The rows a restructure refills its table with, read straight from the
// temporary copy: one column per new field, in order, taken from the copy's
// field of that name (letter case ignored), else the empty text. It yields
// what the refill select (RestructureSelect) over the copy yields - the same
// field types and sizes, the same values (texts without trailing blanks, a
// NaN as Null) - without passing every value through SQLite.
#include <cstdint>
#include <vector>

#include "engine/table.h"

namespace tarnel::tables {

class CarriedColumns : public DataSet {
public:
    // `copy` must be open, and stay open while this is read.
    CarriedColumns(Table& copy, const std::vector<FieldDef>& newFields);

    bool active() const override { return copy_.active(); }
    const std::vector<FieldDef>& fields() const override { return fields_; }
    std::int64_t recordCount() const override { return copy_.recordCount(); }
    void moveTo(std::int64_t row) override;
    Value valueAt(std::int64_t row, int field) const override;
    Value value(int field) const override;
    // The copy's fields, except numbers stored as floating point (a NaN is
    // carried as Null); a text only where its stored bytes read without
    // trailing blanks.
    StoredSource storedSource(int field) const override;
    std::int64_t storedRecord(int field) const override;

private:
    Value carried(int field, Value v) const;   // as the select gives it

    Table& copy_;
    TableFormat& format_;
    std::vector<FieldDef> fields_;
    std::vector<int> from_;        // the copy's field, -1 for the empty text
    std::vector<bool> trimmed_;    // text padded with blanks in the file
    bool readsTrimmed_ = false;    // the copy's format drops them when reading
    std::int64_t record_ = -1;     // the copy's record at the cursor
};

} // namespace tarnel::tables
