#include "engine/table.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "engine/aliases.h"
#include "engine/database.h"
#include "engine/daynum.h"
#include "engine/error.h"
#include "engine/value_convert.h"
#include "engine/format_registry.h"
#include "engine/number_format.h"
#include "engine/pg/pg_connection.h"
#include "engine/pg/pg_copy.h"
#include "engine/pg/pg_database.h"
#include "engine/pg/pg_table.h"

namespace tarnel {

Table::Table() = default;

Table::~Table()
{
    detachObservers();
    try {
        close();
    } catch (...) {
        // Nothing may escape a destructor; the files are closed by the format anyway.
    }
}

void Table::requireClosed(const char* what) const
{
    if (active()) throw EngineError(std::string("Cannot ") + what + " of an open table (" + tableName_ + ")");
}

void Table::setDatabaseName(const std::string& name) { requireClosed("change the database"); databaseName_ = name; }
void Table::setTableName(const std::string& name) { requireClosed("change the table name"); tableName_ = name; }
void Table::setTableType(TableType type) { requireClosed("change the table type"); tableType_ = type; }
void Table::setReadOnly(bool readOnly) { requireClosed("change the read-only flag"); readOnly_ = readOnly; }

TableType Table::formatType() const { return format_ ? format_->type() : tableType_; }

namespace {
int gDefaultCodePage = 0;
}

void Table::setCodePage(int codePage) { requireClosed("change the code page"); codePage_ = codePage; }
void Table::setDefaultCodePage(int codePage) { gDefaultCodePage = codePage; }
int Table::codePage() const { return format_ ? format_->textCodePage() : 0; }
std::string Table::writeBlocked() const { return format_ ? format_->writeBlocked() : std::string(); }

namespace {
std::string TablePath(const DatabaseLocation& at, const std::string& tableName, bool mustExist)
{
    if (tableName.empty()) throw EngineError("No table name given");
    if (tableName.front() == '/') return tableName;
    const std::string& databaseName = at.databaseName;
    std::string folder = ResolveDatabaseFolder(at);
    std::string found = FindFileInFolder(databaseName.empty() ? std::string() : folder, tableName);
    if (!found.empty() || !mustExist) return found.empty() ? JoinPath(databaseName.empty() ? std::string() : folder, tableName) : found;
    throw EngineError("Table does not exist: " + JoinPath(folder, tableName));
}
} // namespace

std::string Table::resolvePath() const
{
    if (!tableName_.empty() && tableName_.front() == '/') return tableName_;   // no need to read the aliases
    return TablePath(LocateDatabase(databaseName_), tableName_, false);
}

void Table::open()
{
    if (active()) return;
    open(LocateDatabase(databaseName_));
}

void Table::open(const DatabaseLocation& at)
{
    if (active()) return;
    std::string path;
    if (at.server) {
        if (tableName_.empty()) throw EngineError("No table name given");
        format_ = std::make_unique<pg::ServerTable>(at.serverUri(), at.serverAlias(), tableName_, readOnly_);
        path = format_->path();
    } else {
        try {
            path = TablePath(at, tableName_, true);
        } catch (const EngineError& e) {
            throw EngineError("Cannot open table " + tableName_ + ": " + e.what());
        }
        format_ = OpenTableFormat(path, tableType_, readOnly_);
    }
    if (int cp = codePage_ ? codePage_ : gDefaultCodePage) format_->useUndeclaredCodePage(cp);
    openFieldCount_ = static_cast<unsigned>(format_->fields().size());
    filePath_ = path;
    state_ = DataSetState::Browse;
    resetIndex();
    current_ = -1;
    // Without deletion marks the first row is the first record; asking
    // whether there is one spares a server table its count here.
    std::int64_t first = format_->hasDeletionMarks() ? recordOfRow(0) : (format_->hasRecords() ? 0 : -1);
    current_ = first;
    setCursor(0, first < 0);
    notify(ChangeKind::Reset);
}

void Table::close()
{
    if (!active()) return;
    buffer_.clear();
    changed_.clear();
    modified_ = false;
    std::unique_ptr<TableFormat> format = std::move(format_);
    openFieldCount_ = 0;
    filePath_.clear();
    state_ = DataSetState::Inactive;
    current_ = -1;
    setCursor(0, true);
    notify(ChangeKind::Reset);
    format->endBatch();     // what a batch of changes left to do is done (or its failure told)
    format->endAppends();   // appends still gathered are written (or their failure told)
}

void Table::refresh()
{
    if (!format_) return;
    format_->refresh();
    resetIndex();
    // A row in editing stays where it is; otherwise the cursor keeps its row number.
    // A table that does not know its count yet counts only when the row is gone.
    if (state_ == DataSetState::Browse) {
        std::int64_t row = this->row();
        if (format_->countKnown() || format_->hasDeletionMarks() || !format_->hasRecord(row))
            row = std::min(row, recordCount() - 1);
        current_ = row >= 0 ? recordOfRow(row) : -1;
        setCursor(std::max<std::int64_t>(row, 0), current_ < 0);
    }
    notify(ChangeKind::Reset);
}

const std::vector<FieldDef>& Table::fields() const
{
    return format_ ? format_->fields() : plannedFields_;
}

void Table::clearFieldDefs()
{
    requireClosed("change the field definitions");
    plannedFields_.clear();
}

void Table::addFieldDef(const std::string& name, TFieldType type, std::int32_t size, bool required, int decimals,
                        bool key)
{
    requireClosed("change the field definitions");
    FieldDef f;
    f.name = name;
    f.type = type;
    f.size = size;
    f.required = required;
    f.decimals = decimals;
    f.key = key;
    f.number = static_cast<int>(plannedFields_.size()) + 1;
    plannedFields_.push_back(f);
}

void Table::createTable(int codePage)
{
    requireClosed("create the table");
    if (plannedFields_.empty()) throw EngineError("Cannot create table " + tableName_ + ": it has no fields");
    for (size_t a = 0; a < plannedFields_.size(); ++a) {
        if (plannedFields_[a].name.empty())
            throw EngineError("Cannot create table " + tableName_ + ": field " + std::to_string(a + 1) + " has no name");
        for (size_t b = a + 1; b < plannedFields_.size(); ++b)
            if (SameText(plannedFields_[a].name, plannedFields_[b].name))
                throw EngineError("Cannot create table " + tableName_ + ": duplicate field name " + plannedFields_[b].name);
    }
    const DatabaseLocation at = LocateDatabase(databaseName_);
    if (at.server) {
        auto server = pg::ConnectDatabase(at);
        pg::CreateServerTable(*server, pg::ServerTableNameFor(*server, tableName_), plannedFields_, {});
        return;
    }
    std::string path = TablePath(at, tableName_, false);
    CreateOptions options;
    options.type = tableType_;
    options.codePage = codePage;
    CreateTableFiles(path, plannedFields_, options);
}

void Table::deleteTable()
{
    requireClosed("delete the table");
    const DatabaseLocation at = LocateDatabase(databaseName_);
    if (at.server) {
        auto server = pg::ConnectDatabase(at);
        const std::string name = pg::ServerTableNameIfAny(*server, tableName_);
        if (name.empty()) throw EngineError("Table does not exist: " + tableName_ + " on " + databaseName_);
        server->exec("DROP TABLE " + server->quote(name));
        return;
    }
    std::string path = TablePath(at, tableName_, true);
    DeleteTableFiles(path, tableType_);
}

// --- the live-row index ---------------------------------------------------

void Table::resetIndex()
{
    liveInBlock_.clear();
    liveCountTotal_ = -1;
    indexedCount_ = 0;
    cachedRow_ = cachedRecord_ = -1;
    // Counted when first read (every reader syncs first): a server table's
    // count is a query of its own, which a query's scan never needs.
}

// Brings the block table in line with the file's record count, which grows
// when rows are appended (here or by another program).
void Table::syncIndex() const
{
    if (!format_) return;
    std::int64_t n = format_->physicalCount();
    if (n == indexedCount_) return;
    if (n < indexedCount_) {
        liveInBlock_.clear();
        cachedRow_ = cachedRecord_ = -1;
    } else if (!liveInBlock_.empty()) {
        liveInBlock_.back() = -1;   // the last block may have grown
    }
    liveInBlock_.resize(static_cast<size_t>((n + kBlock - 1) / kBlock), -1);
    liveCountTotal_ = -1;
    indexedCount_ = n;
}

std::int64_t Table::liveInBlock(size_t block) const
{
    if (liveInBlock_[block] < 0) {
        std::int64_t start = static_cast<std::int64_t>(block) * kBlock;
        std::int64_t end = std::min(indexedCount_, start + kBlock);
        std::int64_t live = 0;
        for (std::int64_t r = start; r < end; ++r) live += format_->isDeleted(r) ? 0 : 1;
        liveInBlock_[block] = live;
    }
    return liveInBlock_[block];
}

std::int64_t Table::recordOfRow(std::int64_t row) const
{
    if (!format_ || row < 0) return -1;
    if (!format_->hasDeletionMarks() && !format_->countKnown()) return format_->hasRecord(row) ? row : -1;
    syncIndex();
    std::int64_t physical = indexedCount_;
    if (!format_->hasDeletionMarks()) return row < physical ? row : -1;
    if (row == cachedRow_) return cachedRecord_;
    std::int64_t rec = -1;
    if ((cachedRow_ >= 0 && row == cachedRow_ + 1) || row == 0) {
        // The next live record, or the first: found by reading on until it
        // comes, not by counting whole blocks (opening a table asks for the
        // first row, and a lookup needs no more of it).
        for (std::int64_t r = row == 0 ? 0 : cachedRecord_ + 1; r < physical; ++r)
            if (!format_->isDeleted(r)) { rec = r; break; }
    } else {
        std::int64_t before = 0;
        for (size_t b = 0; b < liveInBlock_.size(); ++b) {
            std::int64_t live = liveInBlock(b);
            if (before + live > row) {
                std::int64_t want = row - before;
                std::int64_t start = static_cast<std::int64_t>(b) * kBlock;
                std::int64_t end = std::min(physical, start + kBlock);
                for (std::int64_t r = start; r < end; ++r)
                    if (!format_->isDeleted(r) && want-- == 0) { rec = r; break; }
                break;
            }
            before += live;
        }
    }
    if (rec >= 0) { cachedRow_ = row; cachedRecord_ = rec; }
    return rec;
}

std::int64_t Table::rowOfRecord(std::int64_t record) const
{
    if (!format_->hasDeletionMarks()) return record;
    syncIndex();
    std::int64_t row = 0;
    size_t block = static_cast<size_t>(record / kBlock);
    for (size_t b = 0; b < block; ++b) row += liveInBlock(b);
    for (std::int64_t r = static_cast<std::int64_t>(block) * kBlock; r < record; ++r)
        row += format_->isDeleted(r) ? 0 : 1;
    return row;
}

std::int64_t Table::recordCount() const
{
    if (!format_) return 0;
    syncIndex();
    if (!format_->hasDeletionMarks()) return indexedCount_;
    if (liveCountTotal_ >= 0) return liveCountTotal_;
    std::int64_t total = 0;
    for (size_t b = 0; b < liveInBlock_.size(); ++b) total += liveInBlock(b);
    liveCountTotal_ = total;
    return total;
}

std::int64_t Table::knownRecordCount() const
{
    if (!format_) return 0;
    return format_->countKnown() ? recordCount() : -1;
}

std::int64_t Table::rowsUpTo(std::int64_t wanted) const
{
    if (!format_ || wanted <= 0) return 0;
    if (!format_->countKnown() && !format_->hasDeletionMarks() && format_->hasRecord(wanted - 1)) return wanted;
    return std::min(recordCount(), wanted);
}

std::function<std::int64_t()> Table::backgroundCount()
{
    return format_ ? format_->backgroundCount() : std::function<std::int64_t()>();
}

void Table::takeCount(std::int64_t count)
{
    if (!format_ || format_->countKnown()) return;
    format_->takeCount(count);
}

std::int64_t Table::currentRecord() const { return eof() ? -1 : current_; }

// --- cursor and values ----------------------------------------------------

void Table::moveTo(std::int64_t row)
{
    if (!format_) throw EngineError("Cannot perform this operation on a closed dataset");
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) {
        if (modified_) post();
        else cancel();
    }
    if (row < 0) row = 0;
    std::int64_t rec = recordOfRow(row);
    if (rec < 0) {
        std::int64_t count = recordCount();
        current_ = count > 0 ? recordOfRow(count - 1) : -1;
        setCursor(std::max<std::int64_t>(count, 0), true);
    } else {
        current_ = rec;
        setCursor(row, false);
    }
    notify(ChangeKind::Cursor);
}

void Table::checkField(int field) const
{
    if (field < 0 || field >= fieldCount())
        throw EngineError("Field index " + std::to_string(field) + " out of range in " + tableName_);
}

DataSet::StoredSource Table::storedSource(int field) const
{
    if (!format_ || field < 0 || static_cast<unsigned>(field) >= openFieldCount_) return {};
    return {format_.get(), field};
}

std::int64_t Table::storedRecord(int /*field*/) const
{
    return format_ && state_ == DataSetState::Browse && !eof() ? current_ : -1;
}

Value Table::value(int field) const
{
    if (state_ == DataSetState::Browse && !eof() && static_cast<unsigned>(field) < openFieldCount_)
        return format_->value(current_, field);
    checkField(field);
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) return buffer_[static_cast<size_t>(field)];
    requireRow();
    return format_->value(current_, field);
}

bool Table::isNull(int field) const
{
    checkField(field);
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) return buffer_[static_cast<size_t>(field)].isNull();
    requireRow();
    return format_->isNull(current_, field);
}

std::string Table::asText(int field) const
{
    std::string out;
    appendText(field, out);
    return out;
}

void Table::appendText(int field, std::string& out) const
{
    if (state_ == DataSetState::Browse && !eof() && static_cast<unsigned>(field) < openFieldCount_) {
        format_->appendText(current_, field, out);   // the common case, kept short
        return;
    }
    checkField(field);
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) {
        AppendValueText(fields()[static_cast<size_t>(field)], buffer_[static_cast<size_t>(field)], out);
        return;
    }
    requireRow();
    format_->appendText(current_, field, out);
}

bool Table::bufferRow(std::int64_t row) const
{
    if (state_ == DataSetState::Edit) return !eof() && row == this->row();
    // A row being inserted is shown after the last row until it is posted.
    if (state_ == DataSetState::Insert) return row == recordCount();
    return false;
}

std::int64_t Table::existingRecord(std::int64_t row) const
{
    if (!format_) throw EngineError("Cannot perform this operation on a closed dataset");
    std::int64_t rec = recordOfRow(row);
    if (rec < 0) throw EngineError(tableName_ + ": row " + std::to_string(row + 1) + " does not exist");
    return rec;
}

Value Table::valueAt(std::int64_t row, int field) const
{
    checkField(field);
    if (bufferRow(row)) return buffer_[static_cast<size_t>(field)];
    return format_->value(existingRecord(row), field);
}

bool Table::isNullAt(std::int64_t row, int field) const
{
    checkField(field);
    if (bufferRow(row)) return buffer_[static_cast<size_t>(field)].isNull();
    return format_->isNull(existingRecord(row), field);
}

void Table::appendTextAt(std::int64_t row, int field, std::string& out) const
{
    checkField(field);
    if (bufferRow(row)) {
        AppendValueText(fields()[static_cast<size_t>(field)], buffer_[static_cast<size_t>(field)], out);
        return;
    }
    format_->appendText(existingRecord(row), field, out);
}

// --- editing --------------------------------------------------------------

DataSetState Table::state() const { return state_; }

void Table::requireWritable(const char* what) const
{
    if (!format_) throw EngineError(std::string("Cannot ") + what + ": the table is closed");
    if (readOnly_) throw EngineError(std::string("Cannot ") + what + ": table " + tableName_ + " is read only");
    std::string blocked = format_->writeBlocked();
    if (!blocked.empty()) throw EngineError(std::string("Cannot ") + what + ": " + blocked);
}

void Table::requireEditing(const char* what) const
{
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert)
        throw EngineError(std::string("Cannot ") + what + ": dataset not in edit or insert mode");
}

void Table::loadBuffer()
{
    int n = fieldCount();
    buffer_.assign(static_cast<size_t>(n), Value());
    changed_.assign(static_cast<size_t>(n), false);
    modified_ = false;
    if (state_ == DataSetState::Edit)
        for (int k = 0; k < n; ++k) buffer_[static_cast<size_t>(k)] = format_->value(current_, k);
}

void Table::edit()
{
    requireWritable("edit");
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) return;
    if (eof() && recordCount() == 0) {
        insert();
        return;
    }
    requireRow();
    format_->beginEdit(current_);
    state_ = DataSetState::Edit;
    loadBuffer();
    notify(ChangeKind::State);
}

void Table::insert()
{
    requireWritable("insert");
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) {
        if (modified_) post();
        else cancel();
    }
    state_ = DataSetState::Insert;
    loadBuffer();
    notify(ChangeKind::State);
}

void Table::append() { insert(); }

void Table::post()
{
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) return;
    if (state_ == DataSetState::Edit) {
        std::int64_t moved = format_->updateRecord(current_, buffer_, changed_);
        if (moved != current_) {
            // A keyed table put the record at its key's place: follow it.
            current_ = moved;
            resetIndex();
            setCursor(rowOfRecord(moved), false);
        }
        state_ = DataSetState::Browse;
        buffer_.clear();
        modified_ = false;
        notify(ChangeKind::RowChanged);
        notify(ChangeKind::State);
        return;
    }
    postInsert(nullptr);
}

void Table::postStored(const std::vector<std::string_view>& stored)
{
    if (state_ != DataSetState::Insert) throw EngineError("Cannot post stored fields: no row is being added");
    postInsert(&stored);
}

void Table::postInsert(const std::vector<std::string_view>* stored)
{
    syncIndex();
    std::int64_t before = indexedCount_;
    std::int64_t rec = stored ? format_->appendStored(buffer_, *stored) : format_->appendRecord(buffer_);
    state_ = DataSetState::Browse;
    buffer_.clear();
    modified_ = false;
    std::int64_t row;
    if (format_->hasDeletionMarks() && rec == before && format_->physicalCount() == before + 1) {
        // The common case: one live record more at the end; keep the counts.
        if (rec % kBlock == 0) liveInBlock_.push_back(1);
        else if (liveInBlock_.back() >= 0) ++liveInBlock_.back();
        indexedCount_ = before + 1;
        // The row count is taken once and then kept: finding the new row
        // by walking its block would make a run of appends quadratic.
        if (liveCountTotal_ >= 0) ++liveCountTotal_;
        else recordCount();
        row = liveCountTotal_ - 1;
    } else {
        row = rowOfRecord(rec);
    }
    current_ = rec;
    setCursor(row, false);
    cachedRow_ = row;
    cachedRecord_ = rec;
    notify(ChangeKind::Reset);
}

void Table::beginAppends()
{
    requireWritable("append");
    format_->beginAppends();
}

void Table::endAppends()
{
    if (format_) format_->endAppends();
}

void Table::beginBatch()
{
    requireWritable("change rows");
    format_->beginBatch();
}

void Table::endBatch()
{
    if (format_) format_->endBatch();
}

void Table::cancel()
{
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) return;
    state_ = DataSetState::Browse;
    buffer_.clear();
    changed_.clear();
    modified_ = false;
    notify(ChangeKind::State);
    notify(ChangeKind::RowChanged);
}

void Table::deleteRecord()
{
    requireWritable("delete");
    if (state_ == DataSetState::Insert) {
        cancel();
        return;
    }
    if (state_ == DataSetState::Edit) cancel();
    requireRow();
    std::int64_t row = this->row();
    format_->deleteRecord(current_);
    if (format_->hasDeletionMarks()) {
        syncIndex();
        liveInBlock_[static_cast<size_t>(current_ / kBlock)] = -1;
        liveCountTotal_ = -1;
        cachedRow_ = cachedRecord_ = -1;
    } else {
        resetIndex();
    }
    std::int64_t count = recordCount();
    if (row >= count) row = count - 1;
    std::int64_t rec = row >= 0 ? recordOfRow(row) : -1;
    current_ = rec;
    setCursor(std::max<std::int64_t>(row, 0), rec < 0);
    notify(ChangeKind::Reset);
}

Value ConvertForField(const FieldDef& field, Value value, TFieldType from)
{
    return ConvertValue(field, std::move(value), from);
}

void Table::setValue(int field, Value value, TFieldType from)
{
    // Editing means open; the checks in full only where one fails (a batch
    // move comes here for every value).
    const bool editing = state_ == DataSetState::Edit || state_ == DataSetState::Insert;
    if (!editing || static_cast<unsigned>(field) >= openFieldCount_) {
        checkField(field);
        requireEditing("modify a field");
    }
    const FieldDef& f = format_->fields()[static_cast<size_t>(field)];
    if (f.type == ftAutoInc) throw EngineError("Field '" + f.name + "' cannot be modified");
    Value v = ConvertValue(f, std::move(value), from);
    // Never fewer bytes than characters: a text no longer in bytes fits as it is.
    if (f.type == ftString && f.size > 0 && v.kind == Value::Kind::Text && v.s.size() > static_cast<size_t>(f.size)) {
        std::int64_t chars = 0;
        for (unsigned char c : v.s) chars += (c & 0xC0) != 0x80;
        if (chars > f.size)
            throw EngineError("Field " + f.name + ": the value is " + std::to_string(chars) +
                              " characters long, but the field holds only " + std::to_string(f.size));
    }
    buffer_[static_cast<size_t>(field)] = std::move(v);
    changed_[static_cast<size_t>(field)] = true;
    modified_ = true;
    notify(ChangeKind::RowChanged);
}

void Table::setText(int field, std::string_view text)
{
    setValue(field, Value::text(std::string(text)));
}

void Table::loadFromFile(int field, const std::string& fileName)
{
    checkField(field);
    requireEditing("load a field from a file");
    std::ifstream in(fileName, std::ios::binary);
    if (!in) throw EngineError("Cannot open file " + fileName);
    std::ostringstream data;
    data << in.rdbuf();
    if (in.bad()) throw EngineError("Cannot read file " + fileName);
    const FieldDef& f = fields()[static_cast<size_t>(field)];
    setValue(field, IsTextType(f.type) ? Value::text(data.str()) : Value::bytes(data.str()));
}

void Table::saveToFile(int field, const std::string& fileName) const
{
    Value v = value(field);
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    if (!out) throw EngineError("Cannot create file " + fileName);
    out.write(v.s.data(), static_cast<std::streamsize>(v.s.size()));
    out.close();
    if (!out) throw EngineError("Cannot write file " + fileName);
}

std::vector<int> Table::primaryKey() const { return format_ ? format_->primaryKey() : std::vector<int>(); }

void TableFormat::appendText(std::int64_t record, int field, std::string& out)
{
    AppendValueText(fields()[static_cast<size_t>(field)], value(record, field), out);
}

} // namespace tarnel
