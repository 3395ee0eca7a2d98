#include <algorithm>
#include <cstring>
#include <mutex>
#include <sqlite3.h>

#include "engine/database.h"
#include "engine/error.h"
#include "engine/format_registry.h"
#include "engine/pg/pg_database.h"
#include "engine/sql/dialect.h"
#include "engine/sql/query.h"
#include "engine/sql/table_module.h"
#include "engine/sql/typed_constant.h"
#include "engine/table.h"
#include "engine/value_convert.h"

namespace tarnel {

namespace {


std::string FileNameOf(const std::string& path)
{
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsBlank(const char* text)
{
    for (; *text; ++text)
        if (!std::strchr(" \t\r\n;", *text)) return false;
    return true;
}

// SQLite quotes the token it stopped at as it reads in the translated
// statement; the user is shown the token as written ("True", not 1).
std::string InWrittenTerms(std::string message, const sql::TranslatedSql& translated, int offset)
{
    if (offset < 0) return message;
    const std::string_view written = translated.writtenTokenAt(static_cast<size_t>(offset));
    const std::string_view seen = translated.translatedTokenAt(static_cast<size_t>(offset));
    if (seen.empty() || written == seen) return message;
    const std::string quoted = "\"" + std::string(seen) + "\"";
    const size_t at = message.find(quoted);
    if (at != std::string::npos) message.replace(at, quoted.size(), "\"" + std::string(written) + "\"");
    return message;
}

} // namespace

std::string FindTableFile(const std::string& folder, const std::string& name)
{
    if (name.empty()) return {};
    if (TableTypeOfFile(name) != TableType::Default) {
        std::string path = FindFileInFolder(folder, name);
        if (!path.empty()) return path;
    }
    for (const auto& format : TableFormats())
        for (const auto& ext : format.extensions) {
            std::string path = FindFileInFolder(folder, name + ext);
            if (!path.empty()) return path;
        }
    return {};
}

// Rows are kept in one buffer, each value as a kind byte and its payload
// (8 bytes of integer or double, or a 4-byte length and the bytes), so that
// large results stay compact.
struct QueryResult::Impl {
    std::string sql;                              // as the caller gave it
    std::vector<std::unique_ptr<Table>> tables;   // read by the virtual tables
    std::vector<std::string> tableNames;          // the names they have in SQLite
    sqlite3* db = nullptr;
    sqlite3_stmt* stmt = nullptr;
    std::vector<FieldDef> fields;

    // Rows are encoded into chunks that never move, so that a large result
    // grows without copying what it already holds.
    static constexpr size_t kChunk = size_t(1) << 20;
    std::vector<std::unique_ptr<char[]>> chunks;
    size_t chunkUsed = 0, chunkSize = 0;
    std::vector<const char*> rows;   // where each fetched row starts
    std::string scratch;             // the row being encoded
    bool done = false;
    std::string failure;             // why fetching stopped short; told to every later reader
    std::vector<Value> current;           // the decoded current row
    // A streamed result keeps the current row alone; going back runs the
    // statement again from its start.
    bool streamed = false;
    std::int64_t stepped = 0;             // rows stepped since the (re)start
    bool haveCurrent = false;             // the statement is on row stepped - 1
    std::vector<char> loaded;             // columns of it read into current

    ~Impl() { release(); }

    // Once every row is kept the statement and the tables are let go, so
    // that the files are not held open for the life of the result.
    void release()
    {
        sqlite3_finalize(stmt);
        stmt = nullptr;
        sqlite3_close(db);   // before the tables it reads
        db = nullptr;
        tables.clear();
    }

    [[noreturn]] void fail(const std::string& message) const
    {
        throw EngineError(message + "\nStatement: " + sql);
    }

    void put(const void* p, size_t n) { scratch.append(static_cast<const char*>(p), n); }

    void keepRow()
    {
        if (chunkUsed + scratch.size() > chunkSize) {
            chunkSize = std::max(kChunk, scratch.size());
            chunks.push_back(std::make_unique_for_overwrite<char[]>(chunkSize));
            chunkUsed = 0;
        }
        char* at = chunks.back().get() + chunkUsed;
        std::memcpy(at, scratch.data(), scratch.size());
        chunkUsed += scratch.size();
        rows.push_back(at);
    }

    // Steps to the next row and keeps it; false at the end.
    bool fetch()
    {
        if (done) {
            if (!failure.empty()) throw EngineError(failure);
            return false;
        }
        int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE) {
            done = true;
            haveCurrent = false;
            if (!streamed) release();
            return false;
        }
        if (rc != SQLITE_ROW) {
            done = true;
            haveCurrent = false;
            failure = std::string(sqlite3_errmsg(db)) + "\nStatement: " + sql;
            release();
            throw EngineError(failure);
        }
        if (streamed) {
            current.resize(fields.size());
            loaded.assign(fields.size(), 0);
            ++stepped;
            haveCurrent = true;
            return true;
        }
        scratch.clear();
        const int n = static_cast<int>(fields.size());
        for (int k = 0; k < n; ++k) {
            const int type = sqlite3_column_type(stmt, k);
            switch (type) {
            case SQLITE_INTEGER: {
                scratch += static_cast<char>(Value::Kind::Int);
                sqlite3_int64 i = sqlite3_column_int64(stmt, k);
                put(&i, sizeof i);
                break;
            }
            case SQLITE_FLOAT: {
                scratch += static_cast<char>(Value::Kind::Float);
                double d = sqlite3_column_double(stmt, k);
                put(&d, sizeof d);
                break;
            }
            case SQLITE_TEXT:
            case SQLITE_BLOB: {
                const bool text = type == SQLITE_TEXT;
                const void* p = text ? static_cast<const void*>(sqlite3_column_text(stmt, k))
                                     : sqlite3_column_blob(stmt, k);
                std::uint32_t len = static_cast<std::uint32_t>(sqlite3_column_bytes(stmt, k));
                scratch += static_cast<char>(text ? Value::Kind::Text : Value::Kind::Bytes);
                put(&len, sizeof len);
                if (len) put(p, len);
                break;
            }
            default: scratch += static_cast<char>(Value::Kind::Null); break;
            }
        }
        keepRow();
        return true;
    }

    // A column of the statement's current row, read into current when first
    // asked for (reusing its string).
    const Value& column(size_t k)
    {
        Value& v = current[k];
        if (!loaded[k]) {
            loaded[k] = 1;
            const int column = static_cast<int>(k);
            switch (sqlite3_column_type(stmt, column)) {
            case SQLITE_INTEGER: v.kind = Value::Kind::Int; v.i = sqlite3_column_int64(stmt, column); break;
            case SQLITE_FLOAT: v.kind = Value::Kind::Float; v.f = sqlite3_column_double(stmt, column); break;
            case SQLITE_TEXT:
                v.kind = Value::Kind::Text;
                v.s.assign(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)),
                           static_cast<size_t>(sqlite3_column_bytes(stmt, column)));
                break;
            case SQLITE_BLOB: {
                v.kind = Value::Kind::Bytes;
                const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt, column));
                v.s.assign(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(stmt, column)));
                break;
            }
            default: v.kind = Value::Kind::Null; break;
            }
        }
        return v;
    }

    // Streamed: makes `row` the current row, stepping on or starting again.
    // False when the statement has fewer rows.
    bool stepTo(std::int64_t row)
    {
        if (haveCurrent && stepped - 1 == row) return true;
        if (!stmt) fail("The query stopped at an error");
        if (row < stepped) {
            sqlite3_reset(stmt);
            stepped = 0;
            done = false;
            haveCurrent = false;
        }
        while (stepped <= row && fetch()) {}
        return haveCurrent && stepped - 1 == row;
    }

    void fetchTo(std::int64_t row)
    {
        while (static_cast<std::int64_t>(rows.size()) <= row && fetch()) {}
    }

    void decode(std::int64_t row) { decodeFrom(rows[static_cast<size_t>(row)]); }

    void decodeFrom(const char* p)
    {
        current.resize(fields.size());
        for (Value& v : current) {
            v.kind = static_cast<Value::Kind>(*p++);
            switch (v.kind) {
            case Value::Kind::Int: std::memcpy(&v.i, p, 8); p += 8; break;
            case Value::Kind::Float: std::memcpy(&v.f, p, 8); p += 8; break;
            case Value::Kind::Text:
            case Value::Kind::Bytes: {
                std::uint32_t len;
                std::memcpy(&len, p, 4);
                p += 4;
                v.s.assign(p, len);
                p += len;
                break;
            }
            case Value::Kind::Null: break;
            }
        }
    }

    // One value of a kept row, without decoding the others.
    Value valueIn(std::int64_t row, int field) const
    {
        const char* p = rows[static_cast<size_t>(row)];
        for (int k = 0;; ++k) {
            const auto kind = static_cast<Value::Kind>(*p++);
            std::uint32_t len = 0;
            if (kind == Value::Kind::Text || kind == Value::Kind::Bytes) std::memcpy(&len, p, 4);
            if (k == field) {
                Value v;
                v.kind = kind;
                if (kind == Value::Kind::Int) std::memcpy(&v.i, p, 8);
                else if (kind == Value::Kind::Float) std::memcpy(&v.f, p, 8);
                else if (len || kind == Value::Kind::Text || kind == Value::Kind::Bytes) v.s.assign(p + 4, len);
                return v;
            }
            if (kind == Value::Kind::Int || kind == Value::Kind::Float) p += 8;
            else if (kind == Value::Kind::Text || kind == Value::Kind::Bytes) p += 4 + len;
        }
    }

    const Table* tableNamed(const char* name) const
    {
        for (size_t k = 0; k < tables.size(); ++k)
            if (SameText(tableNames[k], name)) return tables[k].get();
        return nullptr;
    }

    // A column straight from a table keeps the table field's definition.
    void describeColumns()
    {
        const int n = sqlite3_column_count(stmt);
        for (int k = 0; k < n; ++k) {
            FieldDef def;
            const char* name = sqlite3_column_name(stmt, k);
            const char* table = sqlite3_column_table_name(stmt, k);
            const char* origin = sqlite3_column_origin_name(stmt, k);
            const FieldDef* source = nullptr;
            if (table && origin)
                if (const Table* t = tableNamed(table)) source = t->findField(origin);
            if (source) def = *source;
            else def.type = ftString;
            def.name = name ? name : "";
            def.number = k + 1;
            def.required = false;
            fields.push_back(std::move(def));
        }
    }
};

QueryResult::QueryResult(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

QueryResult::~QueryResult() = default;

namespace {

// The statement prepared over the tables it names, checked to be one SELECT.
std::unique_ptr<QueryResult::Impl> Prepare(const std::string& databaseName, const std::string& sql,
                                                 const sql::UserDateReader& userDate)
{
    auto impl = std::make_unique<QueryResult::Impl>();
    impl->sql = sql;
    const DatabaseLocation at = LocateDatabase(databaseName);
    const bool onServer = at.server;
    const std::string folder = onServer ? databaseName : ResolveDatabaseFolder(at);
    const sql::TranslatedSql named = sql::TranslateDialect(sql);

    // SQLite's memory statistics take a global lock on every allocation, and
    // nothing here reads them. The setting only takes before SQLite starts.
    static std::once_flag quiet;
    std::call_once(quiet, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
    if (sqlite3_open_v2(":memory:", &impl->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK)
        impl->fail("Cannot start the SQL engine");
    // Statements run on the engine's tables only: no other database files.
    sqlite3_limit(impl->db, SQLITE_LIMIT_ATTACHED, 0);
    sql::RegisterTableModule(impl->db, &impl->tables);

    std::vector<std::string> missing;
    for (const std::string& name : named.tables) {
        if (impl->tableNamed(name.c_str())) continue;
        // A server table is found by the server table itself, as it opens.
        const std::string path = onServer ? name : FindTableFile(folder, name);
        if (path.empty()) {
            missing.push_back(name);   // perhaps a name the statement defines itself
            continue;
        }
        auto table = std::make_unique<Table>();
        table->setDatabaseName(onServer ? databaseName : folder);
        table->setTableName(onServer ? path : FileNameOf(path));
        table->setReadOnly(true);
        try {
            if (onServer) table->open(at);
            else table->open();
        } catch (const EngineError& e) {
            if (!onServer || std::string_view(e.what()).rfind("Table does not exist", 0) != 0) throw;
            missing.push_back(name);
            continue;
        }
        impl->tables.push_back(std::move(table));
        impl->tableNames.push_back(name);
        const std::string create = "CREATE VIRTUAL TABLE " + sql::QuoteName(name) + " USING " +
                                   sql::kTableModuleName + "(" +
                                   std::to_string(impl->tables.size() - 1) + ")";
        char* error = nullptr;
        if (sqlite3_exec(impl->db, create.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::string message = error ? error : sqlite3_errmsg(impl->db);
            sqlite3_free(error);
            impl->fail(message);
        }
    }

    // Now that the tables are known, a quoted constant compared with one of
    // their fields takes that field's type.
    sql::TranslatedSql translated;
    try {
        translated = sql::TranslateDialect(
            sql, [&](const std::string& qualifier, const std::string& name, const std::string& text) {
                const FieldDef* field = nullptr;
                for (size_t k = 0; k < impl->tables.size() && !field; ++k)
                    if (qualifier.empty() || SameText(impl->tableNames[k], qualifier))
                        field = impl->tables[k]->findField(name);
                return field ? sql::TypedConstant(*field, text, userDate) : std::nullopt;
            });
    } catch (const EngineError& e) {
        impl->fail(e.what());
    }

    const char* tail = nullptr;
    if (sqlite3_prepare_v2(impl->db, translated.text.c_str(), -1, &impl->stmt, &tail) != SQLITE_OK) {
        std::string message = sqlite3_errmsg(impl->db);
        if (message.rfind("no such table", 0) == 0 && !missing.empty())
            message = "Table not found: " + missing.front() + " (no such table in " + folder + ")";
        impl->fail(InWrittenTerms(message, translated, sqlite3_error_offset(impl->db)));
    }
    if (!impl->stmt) impl->fail("No SQL statement to run");
    if (tail && !IsBlank(tail)) {
        sqlite3_stmt* more = nullptr;
        const int rc = sqlite3_prepare_v2(impl->db, tail, -1, &more, nullptr);
        const bool another = rc != SQLITE_OK || more != nullptr;
        sqlite3_finalize(more);
        if (another) impl->fail("Only one statement can be run at a time");
    }
    if (!sqlite3_stmt_readonly(impl->stmt) || sqlite3_column_count(impl->stmt) == 0)
        impl->fail("Only SELECT statements can be run");
    return impl;
}

} // namespace

std::unique_ptr<QueryResult> QueryResult::Run(const std::string& databaseName, const std::string& sql,
                                              const sql::UserDateReader& userDate, Rows rows)
{
    auto impl = Prepare(databaseName, sql, userDate);
    impl->streamed = rows == Rows::Streamed;
    impl->describeColumns();
    std::unique_ptr<QueryResult> result(new QueryResult(std::move(impl)));
    result->moveTo(0);   // runs the statement up to its first row: errors show here
    return result;
}

std::int64_t QueryResult::CountRows(const std::string& databaseName, const std::string& sql,
                                    const sql::UserDateReader& userDate)
{
    auto impl = Prepare(databaseName, sql, userDate);
    std::int64_t count = 0;
    int rc;
    while ((rc = sqlite3_step(impl->stmt)) == SQLITE_ROW) ++count;
    if (rc != SQLITE_DONE) impl->fail(sqlite3_errmsg(impl->db));
    return count;
}

const std::vector<FieldDef>& QueryResult::fields() const { return impl_->fields; }

std::int64_t QueryResult::recordCount() const
{
    while (impl_->fetch()) {}
    // A streamed result reads the current row again when it is next asked for.
    return impl_->streamed ? impl_->stepped : static_cast<std::int64_t>(impl_->rows.size());
}

std::int64_t QueryResult::fetchedCount() const
{
    return impl_->streamed ? impl_->stepped : static_cast<std::int64_t>(impl_->rows.size());
}

bool QueryResult::fetchedAll() const { return impl_->done && impl_->failure.empty(); }

void QueryResult::moveTo(std::int64_t row)
{
    if (row < 0) row = 0;
    if (impl_->streamed) {
        if (impl_->stepTo(row)) setCursor(row, false);
        else setCursor(impl_->stepped, true);
        return;
    }
    impl_->fetchTo(row);
    const auto count = static_cast<std::int64_t>(impl_->rows.size());
    if (row < count) {
        impl_->decode(row);
        setCursor(row, false);
    } else {
        impl_->current.clear();
        setCursor(count, true);
    }
}

const Value& QueryResult::currentValue(int field) const
{
    requireRow();
    (void)this->field(field);   // throws when out of range
    if (impl_->streamed) {
        if (!impl_->stepTo(row()))
            throw EngineError("The rows of the query changed while it was read\nStatement: " + impl_->sql);
        return impl_->column(static_cast<size_t>(field));
    }
    return impl_->current[static_cast<size_t>(field)];
}

Value QueryResult::valueAt(std::int64_t row, int field) const
{
    (void)this->field(field);   // throws when out of range
    if (row >= 0) impl_->fetchTo(row);
    if (row < 0 || row >= static_cast<std::int64_t>(impl_->rows.size()))
        throw EngineError("Row " + std::to_string(row + 1) + " of the query result does not exist");
    return impl_->valueIn(row, field);
}

Value QueryResult::value(int field) const
{
    return currentValue(field);
}

bool QueryResult::isNull(int field) const
{
    return currentValue(field).isNull();
}

void QueryResult::appendText(int field, std::string& out) const
{
    const Value& v = currentValue(field);
    AppendValueText(fields()[static_cast<size_t>(field)], v, out);
}

double QueryResult::asFloat(int field) const
{
    const Value& v = currentValue(field);
    return ValueToFloat(fields()[static_cast<size_t>(field)], v);
}

} // namespace tarnel
