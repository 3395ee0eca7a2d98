#pragma once
// A data set held in memory, for tests and benchmarks: fields and rows given
// up front, values as the engine would give them.
#include <utility>
#include <vector>

#include "engine/dataset.h"
#include "engine/error.h"

namespace tarnel::test {

class MemoryDataSet : public DataSet {
public:
    MemoryDataSet() = default;
    explicit MemoryDataSet(std::vector<FieldDef> fields) : fields_(std::move(fields))
    {
        for (size_t k = 0; k < fields_.size(); ++k) fields_[k].number = static_cast<int>(k) + 1;
    }

    void addRow(std::vector<Value> row) { rows_.push_back(std::move(row)); }
    void reserve(size_t rows) { rows_.reserve(rows); }
    void close() { active_ = false; }

    bool active() const override { return active_; }
    const std::vector<FieldDef>& fields() const override
    {
        static const std::vector<FieldDef> none;
        return active_ ? fields_ : none;
    }
    std::int64_t recordCount() const override { return static_cast<std::int64_t>(rows_.size()); }
    void moveTo(std::int64_t row) override
    {
        if (!active_) throw EngineError("Cannot perform this operation on a closed dataset");
        std::int64_t n = recordCount();
        if (row >= n) setCursor(n, true);
        else setCursor(row < 0 ? 0 : row, false);
        notify(ChangeKind::Cursor);
    }
    Value value(int field) const override
    {
        requireRow();
        return valueAt(row(), field);
    }
    Value valueAt(std::int64_t row, int field) const override
    {
        this->field(field);   // range check
        if (row < 0 || row >= recordCount()) throw EngineError("Row " + std::to_string(row + 1) + " does not exist");
        return rows_[static_cast<size_t>(row)][static_cast<size_t>(field)];
    }

private:
    std::vector<FieldDef> fields_;
    std::vector<std::vector<Value>> rows_;
    bool active_ = true;
};

inline FieldDef Field(const std::string& name, TFieldType type)
{
    FieldDef f;
    f.name = name;
    f.type = type;
    return f;
}

} // namespace tarnel::test
