#include <algorithm>
#include <cstring>
#include <mutex>
#include <sqlite3.h>

#include "engine/database.h"
#include "engine/error.h"
#include "engine/format_registry.h"
#include "engine/sql/dialect.h"
#include "engine/sql/query.h"
#include "engine/sql/table_module.h"
#include "engine/table.h"

namespace tarnel {

namespace {


std::string FileNameOf(const std::string& path)
{
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string QuoteName(const std::string& name)
{
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

bool IsBlank(const char* text)
{
    for (; *text; ++text)
        if (!std::strchr(" \t\r\n;", *text)) return false;
    return true;
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
    std::vector<Value> current;           // the decoded current row

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
            chunks.push_back(std::make_unique<char[]>(chunkSize));
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
        if (done) return false;
        int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE) {
            done = true;
            release();
            return false;
        }
        if (rc != SQLITE_ROW) {
            done = true;
            const std::string message = sqlite3_errmsg(db);
            release();
            fail(message);
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

    void fetchTo(std::int64_t row)
    {
        while (static_cast<std::int64_t>(rows.size()) <= row && fetch()) {}
    }

    void decode(std::int64_t row)
    {
        const char* p = rows[static_cast<size_t>(row)];
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

std::unique_ptr<QueryResult> QueryResult::Run(const std::string& databaseName, const std::string& sql)
{
    auto impl = std::make_unique<Impl>();
    impl->sql = sql;
    const std::string folder = ResolveDatabaseFolder(databaseName);
    const sql::TranslatedSql translated = sql::TranslateDialect(sql);

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
    for (const std::string& name : translated.tables) {
        if (impl->tableNamed(name.c_str())) continue;
        const std::string path = FindTableFile(folder, name);
        if (path.empty()) {
            missing.push_back(name);   // perhaps a name the statement defines itself
            continue;
        }
        auto table = std::make_unique<Table>();
        table->setDatabaseName(folder);
        table->setTableName(FileNameOf(path));
        table->setReadOnly(true);
        table->open();
        impl->tables.push_back(std::move(table));
        impl->tableNames.push_back(name);
        const std::string create = "CREATE VIRTUAL TABLE " + QuoteName(name) + " USING " +
                                   sql::kTableModuleName + "(" +
                                   std::to_string(impl->tables.size() - 1) + ")";
        char* error = nullptr;
        if (sqlite3_exec(impl->db, create.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::string message = error ? error : sqlite3_errmsg(impl->db);
            sqlite3_free(error);
            impl->fail(message);
        }
    }

    const char* tail = nullptr;
    if (sqlite3_prepare_v2(impl->db, translated.text.c_str(), -1, &impl->stmt, &tail) != SQLITE_OK) {
        std::string message = sqlite3_errmsg(impl->db);
        if (message.rfind("no such table", 0) == 0 && !missing.empty())
            message = "Table not found: " + missing.front() + " (no such table in " + folder + ")";
        impl->fail(message);
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

    impl->describeColumns();
    std::unique_ptr<QueryResult> result(new QueryResult(std::move(impl)));
    result->moveTo(0);   // runs the statement up to its first row: errors show here
    return result;
}

const std::vector<FieldDef>& QueryResult::fields() const { return impl_->fields; }

std::int64_t QueryResult::recordCount() const
{
    while (impl_->fetch()) {}
    return static_cast<std::int64_t>(impl_->rows.size());
}

std::int64_t QueryResult::fetchedCount() const { return static_cast<std::int64_t>(impl_->rows.size()); }

bool QueryResult::fetchedAll() const { return impl_->done; }

void QueryResult::moveTo(std::int64_t row)
{
    if (row < 0) row = 0;
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

Value QueryResult::value(int field) const
{
    requireRow();
    (void)this->field(field);   // throws when out of range
    return impl_->current[static_cast<size_t>(field)];
}

bool QueryResult::isNull(int field) const
{
    requireRow();
    (void)this->field(field);   // throws when out of range
    return impl_->current[static_cast<size_t>(field)].isNull();
}

} // namespace tarnel
