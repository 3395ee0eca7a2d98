#include "engine/dataset.h"

#include <algorithm>

#include "engine/error.h"
#include "engine/value_convert.h"

namespace tarnel {

DataSet::~DataSet() = default;

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); ++k) {
        char x = a[k], y = b[k];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

const FieldDef& DataSet::field(int index) const
{
    const auto& f = fields();
    if (index < 0 || index >= static_cast<int>(f.size()))
        throw EngineError("Field index " + std::to_string(index) + " out of range");
    return f[static_cast<size_t>(index)];
}

const FieldDef* DataSet::findField(std::string_view name) const
{
    for (const auto& f : fields())
        if (SameText(f.name, name)) return &f;
    return nullptr;
}

const FieldDef& DataSet::fieldByName(std::string_view name) const
{
    if (const FieldDef* f = findField(name)) return *f;
    throw EngineError("Field '" + std::string(name) + "' not found");
}

void DataSet::last()
{
    std::int64_t n = recordCount();
    moveTo(n > 0 ? n - 1 : 0);
}

bool DataSet::isNull(int field) const { return value(field).isNull(); }

std::string DataSet::asText(int field) const
{
    return FormatValueText(this->field(field), value(field));
}

double DataSet::asFloat(int field) const
{
    return ValueToFloat(this->field(field), value(field));
}

void DataSet::appendTextAt(std::int64_t row, int field, std::string& out) const
{
    AppendValueText(this->field(field), valueAt(row, field), out);
}

void DataSet::enableViews()
{
    if (viewsDisabled_ > 0 && --viewsDisabled_ == 0 && missedNotification_) {
        missedNotification_ = false;
        notify(ChangeKind::Reset);
    }
}

void DataSet::addObserver(DataSetObserver* observer)
{
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void DataSet::removeObserver(DataSetObserver* observer)
{
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void DataSet::notify(ChangeKind kind)
{
    if (viewsDisabled_ > 0) {
        missedNotification_ = true;
        return;
    }
    auto copy = observers_;   // an observer may detach itself
    for (auto* o : copy) o->dataSetChanged(*this, kind);
}

void DataSet::requireRow() const
{
    if (!active()) throw EngineError("Cannot perform this operation on a closed dataset");
    if (eof_) throw EngineError("No current record");
}

} // namespace tarnel
