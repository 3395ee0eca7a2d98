#include "engine/pg/pg_table.h"

#include <algorithm>
#include <cstdlib>

#include "engine/error.h"
#include "engine/pg/pg_database.h"
#include "engine/pg/pg_scan.h"
#include "engine/pg/pg_values.h"
#include "engine/pg/pq_library.h"

namespace tarnel::pg {

namespace {

constexpr std::size_t kCachedBlocks = 50;

// What every session of a server table reads in: dates as yyyy-mm-dd.
void PrepareSession(Connection& c)
{
    c.exec("SET DateStyle TO ISO, YMD");
    c.exec("SET bytea_output TO hex");
}

} // namespace

ServerTable::ServerTable(const std::string& uri, const std::string& alias, const std::string& table, bool readOnly)
{
    connection_ = std::make_unique<Connection>(uri, alias);
    Connection& c = *connection_;
    PrepareSession(c);
    // The name as given first (one look-up), then any letter case among the tables listed.
    if (!c.exec("SELECT pg_catalog.to_regclass($1)", {c.quote(table)}).isNull(0, 0)) {
        table_ = table;
    } else {
        table_ = ServerTableNameIfAny(c, table);
        if (table_.empty()) throw EngineError("Table does not exist: " + table + " on the alias " + c.alias());
    }
    quotedTable_ = c.quote(table_);
    path_ = c.alias() + ":" + table_;
    columns_ = ServerTableColumns(c, table_, key_);
    fields_.reserve(columns_.size());
    for (const ServerColumn& col : columns_) fields_.push_back(col.field);

    std::string list;
    for (const ServerColumn& col : columns_) list += (list.empty() ? "" : ", ") + c.quote(col.field.name);
    if (key_.empty()) {
        Result kind = c.exec("SELECT relkind FROM pg_catalog.pg_class WHERE oid = $1::regclass", {quotedTable_});
        std::string relkind = kind.rows() ? kind.text(0, 0) : "";
        // Plain tables and materialized views are paged by their rows' places;
        // views and partitioned tables have none that is unique.
        byPlace_ = relkind == "r" || relkind == "m";
        writeBlocked_ = "The table " + table_ + " has no primary key: its rows cannot be changed";
    }
    if (byPlace_) list += ", ctid";
    select_ = "SELECT " + list + " FROM " + quotedTable_;
    if (!key_.empty() || byPlace_) order_ = " ORDER BY " + keyList().substr(1, keyList().size() - 2);
    (void)readOnly;   // the Table enforces its own flag; the server its privileges
}

ServerTable::~ServerTable() = default;

bool ServerTable::hasRecords() const
{
    if (count_ >= 0) return count_ > 0;
    return connection_->exec("SELECT 1 FROM " + quotedTable_ + " LIMIT 1").rows() > 0;
}

// The server's own estimate (from its statistics) serves for planning; a
// table never analysed has none (negative).
double ServerTable::estimatedCount() const
{
    if (count_ >= 0) return static_cast<double>(count_);
    Result r = connection_->exec("SELECT reltuples FROM pg_catalog.pg_class WHERE oid = $1::regclass", {quotedTable_});
    const double estimate = r.rows() && !r.isNull(0, 0) ? std::atof(r.text(0, 0).c_str()) : -1;
    return estimate >= 0 ? estimate : static_cast<double>(count());
}

std::int64_t ServerTable::count() const
{
    if (count_ < 0) count_ = std::stoll(connection_->exec("SELECT count(*) FROM " + quotedTable_).text(0, 0));
    return count_;
}

std::function<std::int64_t()> ServerTable::backgroundCount()
{
    if (count_ >= 0) return {};
    // The browse's connection serves one thread at a time: the count takes one of its own.
    return [settings = connection_->settings(), alias = connection_->alias(),
            sql = "SELECT count(*) FROM " + quotedTable_] {
        Connection own(settings, alias);
        return static_cast<std::int64_t>(std::stoll(own.exec(sql).text(0, 0)));
    };
}

void ServerTable::takeCount(std::int64_t count)
{
    if (count_ < 0 && count >= 0) count_ = count;
}

std::unique_ptr<RowScan> ServerTable::openScan(const std::vector<sql::ScanTerm>& terms)
{
    return std::make_unique<ServerScan>(*connection_, table_, columns_, terms);
}

std::string ServerTable::keyList() const
{
    if (byPlace_) return "(ctid)";
    std::string list;
    for (int k : key_)
        list += (list.empty() ? "" : ", ") + connection_->quote(columns_[static_cast<std::size_t>(k)].field.name);
    return "(" + list + ")";
}

ServerTable::Row ServerTable::keyOf(const Row& row) const
{
    Row key;
    if (byPlace_) {
        key.push_back(row.back());
        return key;
    }
    for (int k : key_) key.push_back(row[static_cast<std::size_t>(k)]);
    return key;
}

// "(k1, k2) = ($1, $2)" for a row's key.
std::string ServerTable::keyMatch(std::vector<Text>& params, const Row& key) const
{
    std::string values;
    for (const Text& k : key) values += (values.empty() ? "" : ", ") + Param(params, k);
    return keyList() + " = (" + values + ")";
}

// --- reading ----------------------------------------------------------------

void ServerTable::fetch(std::int64_t number, Block& into)
{
    std::vector<Text> params;
    std::string where;
    std::int64_t skip = number * kBlockRows;
    if (!order_.empty()) {
        // Start after the nearest block before this one whose last key is known.
        auto known = lastKeys_.lower_bound(number);
        if (known != lastKeys_.begin()) {
            --known;
            std::string values;
            for (const Text& k : known->second) values += (values.empty() ? "" : ", ") + Param(params, k);
            where = " WHERE " + keyList() + " > (" + values + ")";
            skip = (number - known->first - 1) * kBlockRows;
        }
    }
    std::string sql = select_ + where + order_;
    if (skip > 0) sql += " OFFSET " + Param(params, std::to_string(skip)) + "::bigint";
    sql += " LIMIT " + Param(params, std::to_string(kBlockRows)) + "::bigint";
    Result r = readRows(sql, params);
    into.rows.clear();
    into.rows.reserve(static_cast<std::size_t>(r.rows()));
    const int columns = r.columns();
    for (int i = 0; i < r.rows(); ++i) {
        Row row(static_cast<std::size_t>(columns));
        for (int j = 0; j < columns; ++j) row[static_cast<std::size_t>(j)] = r.value(i, j);
        into.rows.push_back(std::move(row));
    }
    rowsFetched_ += r.rows();
    // A short block is the last one: the count is known without counting
    // (an empty one past the end tells nothing, but for the first block).
    if (count_ < 0 && r.rows() < kBlockRows && (r.rows() > 0 || number == 0))
        count_ = number * kBlockRows + r.rows();
    if (!into.rows.empty() && !order_.empty()) lastKeys_[number] = keyOf(into.rows.back());
}

// A read whose connection was lost (the server restarted, a network break)
// connects again and reads once more; a server still down says so, naming the alias.
Result ServerTable::readRows(const std::string& sql, const std::vector<Text>& params)
{
    if (Pq().PQstatus(connection_->handle()) == CONNECTION_OK) {
        try {
            return connection_->exec(sql, params);
        } catch (const EngineError&) {
            // A connection lost while sending shows only at the next exchange.
            if (Pq().PQstatus(connection_->handle()) == CONNECTION_OK) Pq().PQclear(Pq().PQexec(connection_->handle(), "SELECT 1"));
            if (Pq().PQstatus(connection_->handle()) == CONNECTION_OK) throw;
        }
    }
    Pq().PQreset(connection_->handle());
    if (Pq().PQstatus(connection_->handle()) != CONNECTION_OK) {
        std::string message = Pq().PQerrorMessage(connection_->handle());
        while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
        throw EngineError("Cannot connect to the alias " + connection_->alias() + ": " + message);
    }
    PrepareSession(*connection_);
    return connection_->exec(sql, params);
}

ServerTable::Block& ServerTable::block(std::int64_t number)
{
    auto found = blocks_.find(number);
    if (found != blocks_.end()) {
        lru_.splice(lru_.begin(), lru_, found->second.lru);
        return found->second;
    }
    Block fresh;
    fetch(number, fresh);
    if (blocks_.size() >= kCachedBlocks) {
        blocks_.erase(lru_.back());
        lru_.pop_back();
    }
    lru_.push_front(number);
    fresh.lru = lru_.begin();
    return blocks_.emplace(number, std::move(fresh)).first->second;
}

const ServerTable::Row* ServerTable::rowOf(std::int64_t record)
{
    if (record < 0 || (count_ >= 0 && record >= count_)) return nullptr;
    Block& b = block(record / kBlockRows);
    auto index = static_cast<std::size_t>(record % kBlockRows);
    // Rows another user deleted since the count was taken read as empty until a refresh.
    return index < b.rows.size() ? &b.rows[index] : nullptr;
}

bool ServerTable::isNull(std::int64_t record, int field)
{
    const Row* row = rowOf(record);
    return !row || !(*row)[static_cast<std::size_t>(field)];
}

Value ServerTable::value(std::int64_t record, int field)
{
    const Row* row = rowOf(record);
    if (!row) return Value::null();
    return ValueOfServerText(fields_[static_cast<std::size_t>(field)], (*row)[static_cast<std::size_t>(field)]);
}

void ServerTable::forgetFrom(std::int64_t record)
{
    std::int64_t first = std::max<std::int64_t>(record, 0) / kBlockRows;
    for (auto it = blocks_.begin(); it != blocks_.end();) {
        if (it->first >= first) {
            lru_.erase(it->second.lru);
            it = blocks_.erase(it);
        } else {
            ++it;
        }
    }
    lastKeys_.erase(lastKeys_.lower_bound(first), lastKeys_.end());
}

void ServerTable::refresh()
{
    blocks_.clear();
    lru_.clear();
    lastKeys_.clear();
    count_ = -1;   // counted again when wanted
    if (heldRecord_ >= 0 && !heldRow_.empty()) {
        heldRow_ = readByKey(keyOf(heldRow_));
        heldMoved_ = true;
    }
}

// --- writing ----------------------------------------------------------------

ServerTable::Row ServerTable::readByKey(const Row& key)
{
    std::vector<Text> params;
    Result r = connection_->exec(select_ + " WHERE " + keyMatch(params, key), params);
    Row row;
    if (r.rows() == 0) return row;
    for (int j = 0; j < r.columns(); ++j) row.push_back(r.value(0, j));
    return row;
}

std::int64_t ServerTable::positionOf(const Row& key)
{
    std::vector<Text> params;
    std::string values;
    for (const Text& k : key) values += (values.empty() ? "" : ", ") + Param(params, k);
    Result r = connection_->exec("SELECT count(*) FROM " + quotedTable_ + " WHERE " + keyList() + " < (" +
                                 values + ")", params);
    return std::stoll(r.text(0, 0));
}

void ServerTable::refused(const Row& key)
{
    std::vector<Text> params;
    const std::string condition = keyMatch(params, key);
    RefuseStaleRow(*connection_, quotedTable_, condition, params);
}

void ServerTable::beginEdit(std::int64_t record)
{
    const Row* row = rowOf(record);
    heldRecord_ = record;
    heldRow_ = row ? *row : Row();
    heldMoved_ = false;
}

// The row a write starts from: as read when its edit began, else as cached.
ServerTable::Row ServerTable::rowToWrite(std::int64_t record)
{
    if (!writeBlocked_.empty()) throw EngineError(writeBlocked_);
    Row before;
    if (record == heldRecord_) {
        before = heldRow_;
    } else if (const Row* row = rowOf(record)) {
        before = *row;
    }
    if (before.empty()) throw EngineError("The row was deleted by another user");
    return before;
}

std::int64_t ServerTable::updateRecord(std::int64_t record, const std::vector<Value>& values,
                                       const std::vector<bool>& changed)
{
    Row before = rowToWrite(record);
    Row after = before;
    bool keyChanged = false;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (!changed[i]) continue;
        after[i] = ServerTextOfValue(fields_[i], values[i]);
        if (after[i] != before[i] && std::find(key_.begin(), key_.end(), static_cast<int>(i)) != key_.end())
            keyChanged = true;
    }
    UpdateRowIfUnchanged(*connection_, table_, columns_, key_, before, after, changed);
    heldRecord_ = -1;
    heldRow_.clear();
    if (!keyChanged && !heldMoved_) {
        forgetFrom(record);
        return record;
    }
    std::int64_t now = std::min(positionOf(keyOf(after)), std::max<std::int64_t>(count() - 1, 0));
    forgetFrom(std::min(record, now));
    return now;
}

std::int64_t ServerTable::appendRecord(const std::vector<Value>& values)
{
    if (!writeBlocked_.empty()) throw EngineError(writeBlocked_);
    std::vector<Text> params;
    std::string names, placeholders;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (values[i].isNull()) continue;   // the server's default, if it has one
        if (columns_[i].readOnly)
            throw EngineError("The field " + columns_[i].field.name + " of " + table_ + " cannot be changed here");
        names += (names.empty() ? "" : ", ") + connection_->quote(columns_[i].field.name);
        placeholders += (placeholders.empty() ? "" : ", ") + Param(params, ServerTextOfValue(fields_[i], values[i]));
    }
    std::string returning = " RETURNING " + keyList().substr(1, keyList().size() - 2);
    std::string sql = names.empty() ? "INSERT INTO " + quotedTable_ + " DEFAULT VALUES" + returning
                                    : "INSERT INTO " + quotedTable_ + " (" + names + ") VALUES (" + placeholders +
                                          ")" + returning;
    Result r = connection_->exec(sql, params);
    Row key;
    for (int j = 0; j < r.columns(); ++j) key.push_back(r.value(0, j));
    // New rows usually come last (serial keys): that needs no counting.
    std::vector<Text> after;
    std::string values_;
    for (const Text& k : key) values_ += (values_.empty() ? "" : ", ") + Param(after, k);
    Result later = connection_->exec("SELECT EXISTS (SELECT 1 FROM " + quotedTable_ + " WHERE " + keyList() +
                                     " > (" + values_ + "))", after);
    std::int64_t position = later.text(0, 0) == "t" ? std::min(positionOf(key), count()) : count();
    ++count_;
    forgetFrom(position);
    return position;
}

void ServerTable::deleteRecord(std::int64_t record)
{
    Row before = rowToWrite(record);
    std::vector<Text> params;
    Row key = keyOf(before);
    std::string where = keyMatch(params, key) + UnchangedCondition(*connection_, columns_, key_, before, params);
    Result r = connection_->exec("DELETE FROM " + quotedTable_ + " WHERE " + where, params);
    if (r.affected() != 1) refused(key);
    heldRecord_ = -1;
    heldRow_.clear();
    count_ = std::max<std::int64_t>(count() - 1, 0);
    forgetFrom(record);
}

} // namespace tarnel::pg
