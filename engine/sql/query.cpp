#include "engine/sql/query.h"

#include "engine/error.h"

namespace tarnel {

namespace {
const std::vector<FieldDef> kNoFields;
}

Query::Query() = default;

Query::~Query() = default;

void Query::requireClosed(const char* what) const
{
    if (active()) throw EngineError(std::string("Cannot ") + what + " of an open query");
}

void Query::setDatabaseName(const std::string& name)
{
    requireClosed("change the database");
    databaseName_ = name;
}

void Query::clearSql()
{
    requireClosed("change the SQL text");
    lines_.clear();
}

void Query::addSql(const std::string& line)
{
    requireClosed("change the SQL text");
    lines_.push_back(line);
}

std::string Query::sqlText() const
{
    std::string text;
    for (size_t k = 0; k < lines_.size(); ++k) {
        if (k) text += '\n';
        text += lines_[k];
    }
    return text;
}

void Query::open()
{
    if (active()) return;
    result_ = QueryResult::Run(databaseName_, sqlText(), userDate_);
    setCursor(result_->row(), result_->eof());
    notify(ChangeKind::Reset);
}

void Query::close()
{
    if (!active()) return;
    result_.reset();
    setCursor(0, true);
    notify(ChangeKind::Reset);
}

const std::vector<FieldDef>& Query::fields() const { return result_ ? result_->fields() : kNoFields; }

std::int64_t Query::recordCount() const { return result_ ? result_->recordCount() : 0; }

void Query::moveTo(std::int64_t row)
{
    if (!result_) throw EngineError("Cannot perform this operation on a closed dataset");
    const std::int64_t before = this->row();
    const bool wasEof = eof();
    result_->moveTo(row);
    setCursor(result_->row(), result_->eof());
    if (this->row() != before || eof() != wasEof) notify(ChangeKind::Cursor);
}

Value Query::value(int field) const
{
    requireRow();
    return result_->value(field);
}

Value Query::valueAt(std::int64_t row, int field) const
{
    if (!result_) throw EngineError("Cannot perform this operation on a closed dataset");
    return result_->valueAt(row, field);
}

bool Query::isNull(int field) const
{
    requireRow();
    return result_->isNull(field);
}

} // namespace tarnel
