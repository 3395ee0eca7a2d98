#pragma once
// Everything that has rows is a DataSet: an open table and the result of a
// query. Windows, export writers and batch moves see only this interface.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_types.h"
#include "engine/value.h"

namespace tarnel {

struct FieldDef {
    std::string name;
    TFieldType type = ftUnknown;
    std::int32_t size = 0;     // declared size (String: characters; fixed types: 0)
    int number = 0;            // 1-based position
    int decimals = 0;          // for the numeric types that have them (dBASE N, F); see kNoDecimals
    bool required = false;
    bool key = false;          // part of the primary key (keyed formats take the leading fields)
};

// The decimals of a Float number field stored with none (a dBASE N(11,0)):
// a 0 in FieldDef::decimals leaves the count to the format, so a table made
// anew from such a field's definition would get decimals it has no room for.
inline constexpr int kNoDecimals = -1;

class DataSet;
class TableFormat;

// What an attached view is told. While views are disabled nothing is sent;
// enabling them again sends one Reset if anything happened meanwhile.
enum class ChangeKind {
    Reset,       // opened, closed, rows added or removed, restructured
    RowChanged,  // values of the current row changed (edit buffer or post)
    Cursor,      // the current row moved
    State,       // browse/edit/insert state changed
};

class DataSetObserver {
public:
    virtual ~DataSetObserver() = default;
    virtual void dataSetChanged(DataSet& source, ChangeKind kind) = 0;
};

class DataSet {
public:
    virtual ~DataSet();

    virtual bool active() const = 0;
    virtual const std::vector<FieldDef>& fields() const = 0;
    int fieldCount() const { return static_cast<int>(fields().size()); }
    const FieldDef& field(int index) const;                    // 0-based; throws
    const FieldDef* findField(std::string_view name) const;    // ignoring letter case
    const FieldDef& fieldByName(std::string_view name) const;  // throws "Field 'X' not found"

    // Number of rows (deleted rows are not rows).
    virtual std::int64_t recordCount() const = 0;

    // The cursor: a 0-based row number. eof() is true past the last row, and
    // on an empty data set.
    void first() { moveTo(0); }
    void next() { moveTo(row_ + 1); }
    void prior() { if (row_ > 0) moveTo(row_ - 1); }
    void last();
    bool eof() const { return eof_; }
    std::int64_t row() const { return row_; }
    virtual void moveTo(std::int64_t row) = 0;

    // Any row's fields by row number, without moving the cursor; reading a row
    // that does not exist throws. A table shows its edit buffer at the row in
    // editing. appendTextAt gives the text of asText.
    virtual Value valueAt(std::int64_t row, int field) const = 0;
    virtual bool isNullAt(std::int64_t row, int field) const { return valueAt(row, field).isNull(); }
    virtual void appendTextAt(std::int64_t row, int field, std::string& out) const;

    // Fields of the current row, by 0-based index. Reading at eof throws.
    virtual Value value(int field) const = 0;
    virtual bool isNull(int field) const;
    virtual std::string asText(int field) const;   // UTF-8, see FormatValueText
    // The same text appended to out: for loops that reuse one buffer.
    virtual void appendText(int field, std::string& out) const { out += asText(field); }
    virtual double asFloat(int field) const;       // throws when the value is not a number

    // Where a field is read straight from a table file's records: that
    // table's format and its field (null format: not so). A batch move
    // copies such a field's bytes unread into a destination field stored
    // alike (see TableFormat::storedLayout). storedRecord: the record of
    // the current row to copy the field's bytes from, or -1 where this
    // row's value is not just its bytes.
    struct StoredSource {
        TableFormat* format = nullptr;
        int field = -1;
    };
    virtual StoredSource storedSource(int /*field*/) const { return {}; }
    virtual std::int64_t storedRecord(int /*field*/) const { return -1; }

    // Suspend and resume the refreshing of attached views (nestable).
    void disableViews() { ++viewsDisabled_; }
    void enableViews();
    bool viewsDisabled() const { return viewsDisabled_ > 0; }
    void addObserver(DataSetObserver* observer);
    void removeObserver(DataSetObserver* observer);

protected:
    void notify(ChangeKind kind);
    // For destructors: views that outlive the data set are not told of its end
    // (they may be half gone themselves).
    void detachObservers() { observers_.clear(); }
    void setCursor(std::int64_t row, bool eof) { row_ = row; eof_ = eof; }
    void requireRow() const;   // throws when inactive or at eof

private:
    std::int64_t row_ = 0;
    bool eof_ = true;
    int viewsDisabled_ = 0;
    bool missedNotification_ = false;
    std::vector<DataSetObserver*> observers_;
};

// The engine's text of a value of a field of the given type (value_convert.h
// holds this and the other conversions of values):
//   String, Memo: as stored (String without trailing blanks);
//   Float, Currency, BCD: the general number format (FormatGeneral);
//   integers: decimal digits; Boolean: True/False;
//   Date yyyy-mm-dd; Time hh:mm:ss; DateTime yyyy-mm-dd hh:mm:ss;
//   binary types: "<N bytes>"; NULL: empty.
std::string FormatValueText(const FieldDef& field, const Value& value);

// Case-insensitive (ASCII) comparison, used for field, table and alias names.
bool SameText(std::string_view a, std::string_view b);

} // namespace tarnel
