#include "engine/batch_move.h"

#include <algorithm>
#include <cmath>
#include <sys/stat.h>
#include <unordered_map>

#include "engine/error.h"
#include "engine/format_registry.h"
#include "engine/pg/pg_database.h"
#include "engine/pg/pg_load.h"
#include "engine/saved_indexes.h"

namespace tarnel {

namespace {

constexpr std::int64_t kProgressEvery = 512;

std::string RowError(const Table& dest, std::int64_t row, const FieldDef* field, const std::string& what)
{
    std::string where = dest.tableName() + ": row " + std::to_string(row + 1);
    if (field) where += ", field " + field->name;
    return where + ": " + what;
}

// Refuses what the field's type would silently cut short; the rest of the
// conversion is the table's own (setValue).
void CheckFits(const FieldDef& f, const Value& v)
{
    if (v.kind != Value::Kind::Float || !(IsIntegerType(f.type) || f.type == ftDate)) return;
    if (!std::isfinite(v.f) || v.f != std::trunc(v.f))
        throw EngineError("the value " + FormatValueText(FieldDef{f.name, ftFloat, 0, 0, 0, false}, v) +
                          " is not a whole number");
    if (std::fabs(v.f) > 9.2e18) throw EngineError("the value is out of the integer range");
}

// Appends gathered by the destination's format are written at the end, and
// after an error too: the rows moved before it stay moved.
class AppendScope {
public:
    explicit AppendScope(Table& t) : t_(t) { t_.beginAppends(); }
    ~AppendScope()
    {
        if (done_) return;
        try {
            t_.endAppends();
        } catch (...) {
            // The error that ended the move is the one reported.
        }
    }
    void finish()
    {
        done_ = true;
        t_.endAppends();
    }

private:
    Table& t_;
    bool done_ = false;
};

// Updates and deletes between the destination's beginBatch() and
// endBatch(): the upkeep its format leaves to the end is done after an error
// too, and when even that fails, both errors are told.
template <typename Changes>
void InBatch(Table& t, Changes changes)
{
    t.beginBatch();
    try {
        changes();
    } catch (const std::exception& e) {
        try {
            t.endBatch();
        } catch (const std::exception& again) {
            throw EngineError(std::string(e.what()) + " " + again.what());
        }
        throw;
    }
    t.endBatch();
}

class Mover {
public:
    Mover(Table& dest, DataSet& source, const BatchProgress& progress)
        : dest_(dest), source_(source), progress_(progress) {}

    BatchMoveResult run(BatchMode mode, std::int64_t sourceRows)
    {
        total_ = sourceRows >= 0 ? sourceRows : source_.recordCount();
        if (mode == BatchMode::Append || mode == BatchMode::Copy) {
            // Only the rows there at the start: the source may be the destination's own file.
            planStored();
            AppendScope appends(dest_);
            for (source_.first(); !source_.eof() && !stopped() && result_.rows < total_; source_.next()) {
                appendRow();
                step();
            }
            appends.finish();
        } else {
            keys_ = dest_.primaryKey();
            if (keys_.empty())
                throw EngineError("Cannot " + std::string(mode == BatchMode::Delete ? "delete rows of " : "update ") +
                                  dest_.tableName() + ": " + dest_.tableName() + " has no primary key");
            for (int k : keys_)
                if (k >= source_.fieldCount())
                    throw EngineError("Cannot match rows of " + dest_.tableName() + ": the source has no field " +
                                      std::to_string(k + 1) + " for the key field " + dest_.field(k).name);
            indexDestination();
            if (mode == BatchMode::Delete) deleteMatching();
            else updateMatching(mode == BatchMode::AppendUpdate);
        }
        if (progress_ && !result_.cancelled) progress_(result_.rows, total_);
        return result_;
    }

private:
    bool stopped() const { return result_.cancelled; }

    void step()
    {
        ++result_.rows;
        if (progress_ && result_.rows % kProgressEvery == 0 && !progress_(result_.rows, total_))
            result_.cancelled = true;
    }

    // The key of the source's current row, as the destination's fields would hold it.
    std::string sourceKey()
    {
        std::string key;
        for (int k : keys_) {
            const FieldDef& f = dest_.field(k);
            Value v = source_.value(k);
            CheckFits(f, v);
            key += FormatValueText(f, ConvertForField(f, std::move(v), source_.field(k).type));
            key += '\x1f';
        }
        return key;
    }

    std::string destKey()
    {
        std::string key;
        for (int k : keys_) {
            key += FormatValueText(dest_.field(k), dest_.value(k));
            key += '\x1f';
        }
        return key;
    }

    void indexDestination()
    {
        std::int64_t row = 0;
        for (dest_.first(); !dest_.eof(); dest_.next(), ++row) rows_.emplace(destKey(), row);
    }

    // The fields the source reads straight from a table's records laid out
    // as the destination's field: their bytes are copied unread; or laid out
    // so that the destination rewrites them without a value between.
    void planStored()
    {
        const TableFormat* to = dest_.format();
        if (!to || !to->takesStored()) return;
        const size_t n = std::min(dest_.fields().size(), source_.fields().size());
        for (size_t k = 0; k < n; ++k) {
            if (dest_.fields()[k].type == ftAutoInc) continue;
            const DataSet::StoredSource from = source_.storedSource(static_cast<int>(k));
            if (!from.format) continue;
            const std::string layout = to->storedLayout(static_cast<int>(k));
            TableFormat::StoredRewrite rewrite;
            if (layout.empty()) continue;
            if (layout != from.format->storedLayout(from.field)) {
                rewrite = to->storedRewrite(static_cast<int>(k), *from.format, from.field);
                if (!rewrite) continue;
            }
            if (storedFrom_.empty()) {
                storedFrom_.resize(n);
                rewrites_.resize(n);
                rewritten_.resize(n);
            }
            storedFrom_[k] = from;
            rewrites_[k] = std::move(rewrite);
        }
        stored_.resize(storedFrom_.size());
        records_.resize(storedFrom_.size());
    }

    // This row's record for each field copied as stored (-1: by value); a
    // field laid out otherwise has its bytes rewritten now, before other
    // reads of the row, or goes by value where they cannot be.
    void findStored()
    {
        for (size_t k = 0; k < storedFrom_.size(); ++k) {
            const DataSet::StoredSource& from = storedFrom_[k];
            records_[k] = from.format ? source_.storedRecord(static_cast<int>(k)) : -1;
            if (records_[k] >= 0 && rewrites_[k] &&
                !rewrites_[k](from.format->storedBytes(records_[k], from.field), rewritten_[k]))
                records_[k] = -1;
        }
    }

    // Their bytes, taken after every value of the row was read.
    const std::vector<std::string_view>& storedBytes()
    {
        for (size_t k = 0; k < storedFrom_.size(); ++k) {
            if (records_[k] < 0) stored_[k] = {};
            else if (rewrites_[k]) stored_[k] = rewritten_[k];
            else stored_[k] = storedFrom_[k].format->storedBytes(records_[k], storedFrom_[k].field);
        }
        return stored_;
    }

    // Sets the fields of the destination's edit buffer from the source's current row.
    void fill(bool skipKey)
    {
        const std::vector<FieldDef>& destFields = dest_.fields();
        const std::vector<FieldDef>& sourceFields = source_.fields();
        const int n = static_cast<int>(std::min(destFields.size(), sourceFields.size()));
        for (int k = 0; k < n; ++k) {
            const FieldDef& f = destFields[static_cast<size_t>(k)];
            if (f.type == ftAutoInc) continue;   // numbered by the table
            if (skipKey && std::find(keys_.begin(), keys_.end(), k) != keys_.end()) continue;
            if (static_cast<size_t>(k) < records_.size() && records_[static_cast<size_t>(k)] >= 0) continue;
            try {
                Value v = source_.value(k);
                CheckFits(f, v);
                dest_.setValue(k, std::move(v), sourceFields[static_cast<size_t>(k)].type);
            } catch (const EngineError& e) {
                dest_.cancel();
                throw EngineError(RowError(dest_, result_.rows, &f, e.what()));
            }
        }
    }

    void post(bool withStored = false)
    {
        try {
            if (withStored) dest_.postStored(storedBytes());
            else dest_.post();
        } catch (const EngineError& e) {
            dest_.cancel();
            throw EngineError(RowError(dest_, result_.rows, nullptr, e.what()));
        }
    }

    void appendRow()
    {
        dest_.append();
        if (storedFrom_.empty()) {
            fill(false);
            post();
        } else {
            findStored();
            fill(false);
            post(true);
        }
        ++result_.appended;
    }

    std::int64_t match()
    {
        try {
            auto it = rows_.find(sourceKey());
            return it == rows_.end() ? -1 : it->second;
        } catch (const EngineError& e) {
            throw EngineError(RowError(dest_, result_.rows, nullptr, e.what()));
        }
    }

    // Matching rows are replaced in place (their keys stay, so no row moves);
    // new keys are appended afterwards, when no row number is needed any more.
    void updateMatching(bool appendNew)
    {
        std::vector<std::int64_t> fresh;
        InBatch(dest_, [&] {
            std::int64_t sourceRow = 0;
            for (source_.first(); !source_.eof() && !stopped(); source_.next(), ++sourceRow) {
                std::int64_t row = match();
                if (row >= 0) {
                    dest_.moveTo(row);
                    dest_.edit();
                    fill(true);
                    post();
                    ++result_.updated;
                    step();
                } else if (appendNew) {
                    fresh.push_back(sourceRow);
                } else {
                    step();
                }
            }
        });
        AppendScope appends(dest_);
        for (std::int64_t r : fresh) {
            if (stopped()) break;
            source_.moveTo(r);
            appendRow();
            step();
        }
        appends.finish();
    }

    // Rows are deleted from the last up, so that the row numbers found stay true.
    void deleteMatching()
    {
        std::vector<std::int64_t> doomed;
        for (source_.first(); !source_.eof(); source_.next()) {
            std::int64_t row = match();
            if (row >= 0) doomed.push_back(row);
        }
        std::sort(doomed.begin(), doomed.end());
        doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
        std::int64_t unmatched = total_ - static_cast<std::int64_t>(doomed.size());
        InBatch(dest_, [&] {
            for (auto it = doomed.rbegin(); it != doomed.rend() && !stopped(); ++it) {
                dest_.moveTo(*it);
                try {
                    dest_.deleteRecord();
                } catch (const EngineError& e) {
                    throw EngineError(RowError(dest_, *it, nullptr, e.what()));
                }
                ++result_.deleted;
                step();
            }
        });
        if (!stopped()) result_.rows += unmatched;
    }

    Table& dest_;
    DataSet& source_;
    const BatchProgress& progress_;
    std::int64_t total_ = 0;
    std::vector<int> keys_;
    std::unordered_map<std::string, std::int64_t> rows_;
    BatchMoveResult result_;
    // Appends: the fields copied as stored, from where (empty when none), and this row's records and bytes.
    std::vector<DataSet::StoredSource> storedFrom_;
    std::vector<TableFormat::StoredRewrite> rewrites_;   // for fields laid out otherwise
    std::vector<std::string> rewritten_;
    std::vector<std::int64_t> records_;
    std::vector<std::string_view> stored_;
};

// The destination made anew with the source's definitions.
std::vector<std::string> Recreate(Table& dest, DataSet& source)
{
    auto* table = dynamic_cast<Table*>(&source);
    struct stat a {}, b {};
    if (table && table->active() && ::stat(table->filePath().c_str(), &a) == 0 &&
        ::stat(dest.resolvePath().c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino)
        throw EngineError("Cannot copy " + dest.tableName() + " onto itself");
    dest.close();
    dest.clearFieldDefs();
    // Where the destination's format has no autoincrement type the numbers are kept as integers.
    TableType type = dest.tableType() != TableType::Default ? dest.tableType() : TableTypeOfFile(dest.resolvePath());
    const TableFormatInfo* format = type == TableType::Default ? nullptr : &FormatInfo(type);
    auto holds = [&](TFieldType t) {
        return !format || std::any_of(format->holds.begin(), format->holds.end(), [&](const HeldType& h) { return h.type == t; });
    };
    for (const auto& f : source.fields()) {
        TFieldType t = f.type == ftAutoInc && !holds(ftAutoInc) ? ftInteger : f.type;
        dest.addFieldDef(f.name, t, t == f.type ? f.size : 0, f.required, f.decimals, f.key && format && format->keyed);
    }
    return RecreateTable(dest);
}

} // namespace

BatchMoveResult BatchMove(Table& destination, DataSet& source, BatchMode mode, const BatchProgress& progress,
                          std::int64_t sourceRows)
{
    if (!source.active()) throw EngineError("Cannot move rows from a closed data set");
    if (&source == &destination) throw EngineError("Cannot move the rows of " + destination.tableName() + " into itself");
    bool wasOpen = destination.active();
    if ((mode == BatchMode::Append || mode == BatchMode::Copy) && pg::IsServerDatabase(destination.databaseName())) {
        // Rows go onto a server in bulk; an open destination is opened again to show them.
        destination.close();
        BatchMoveResult result = pg::LoadServerTable(destination, source, mode == BatchMode::Copy, progress, sourceRows);
        if (wasOpen) destination.open();
        return result;
    }
    std::vector<std::string> dropped;
    if (mode == BatchMode::Copy) dropped = Recreate(destination, source);
    if (!destination.active()) destination.open();
    if (destination.readOnly()) throw EngineError("Cannot move rows into " + destination.tableName() + ": it is read-only");
    destination.disableViews();
    source.disableViews();
    struct Resume {
        Table& d;
        DataSet& s;
        bool close;
        ~Resume()
        {
            s.enableViews();
            d.enableViews();
            try {
                if (close) d.close();
            } catch (...) {
                // Closing only lets go of the files; what was written stays written.
            }
        }
    } resume {destination, source, !wasOpen};
    BatchMoveResult result = Mover(destination, source, progress).run(mode, sourceRows);
    result.droppedIndexes = std::move(dropped);
    return result;
}

std::vector<std::string> RecreateTable(Table& table, int codePage)
{
    return RecreateTable(table, codePage, SaveIndexesBeside(table.resolvePath()));
}

std::vector<std::string> RecreateTable(Table& table, int codePage, const SavedTableIndexes& indexes)
{
    table.createTable(codePage);
    return RestoreIndexesBeside(table.resolvePath(), indexes);
}

bool ParseBatchMode(const std::string& name, BatchMode& mode)
{
    static const std::pair<const char*, BatchMode> names[] = {
        {"append", BatchMode::Append}, {"update", BatchMode::Update}, {"appendupdate", BatchMode::AppendUpdate},
        {"delete", BatchMode::Delete}, {"copy", BatchMode::Copy}};
    for (const auto& [n, m] : names)
        if (SameText(name, n)) {
            mode = m;
            return true;
        }
    return false;
}

} // namespace tarnel
