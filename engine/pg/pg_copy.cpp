#include "engine/pg/pg_copy.h"

#include "engine/error.h"
#include "engine/pg/pq_library.h"

namespace tarnel::pg {

namespace {
constexpr std::size_t kBlock = 256 * 1024;   // bytes sent to the server at a time
}

void AppendCopyField(const Text& text, std::string& line)
{
    if (!text) {
        line += "\\N";
        return;
    }
    for (char c : *text) {
        switch (c) {
        case '\\': line += "\\\\"; break;
        case '\t': line += "\\t"; break;
        case '\n': line += "\\n"; break;
        case '\r': line += "\\r"; break;
        default: line += c;
        }
    }
}

std::string CreateTableStatement(Connection& connection, const std::string& table,
                                 const std::vector<FieldDef>& fields, const std::vector<int>& primaryKey)
{
    if (fields.empty()) throw EngineError("Cannot create table " + table + ": it has no fields");
    for (std::size_t a = 0; a < fields.size(); ++a)
        for (std::size_t b = a + 1; b < fields.size(); ++b)
            if (SameText(fields[a].name, fields[b].name))
                throw EngineError("Cannot create table " + table + " on the alias " + connection.alias() +
                                  ": the field name " + fields[b].name + " appears twice");
    std::string sql = "CREATE TABLE " + connection.quote(table) + " (";
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) sql += ", ";
        sql += connection.quote(fields[i].name) + " " + ServerTypeOfField(fields[i]);
        if (fields[i].required) sql += " NOT NULL";
    }
    if (!primaryKey.empty()) {
        sql += ", PRIMARY KEY (";
        for (std::size_t k = 0; k < primaryKey.size(); ++k) {
            const int at = primaryKey[k];
            if (at < 0 || static_cast<std::size_t>(at) >= fields.size())
                throw EngineError("Cannot create table " + table + ": a key names no field");
            sql += (k ? ", " : "") + connection.quote(fields[static_cast<std::size_t>(at)].name);
        }
        sql += ")";
    }
    return sql + ")";
}

void CreateServerTable(Connection& connection, const std::string& table, const std::vector<FieldDef>& fields,
                       const std::vector<int>& primaryKey)
{
    const std::string create = CreateTableStatement(connection, table, fields, primaryKey);
    connection.exec("BEGIN");
    try {
        connection.exec("SET LOCAL client_min_messages = warning");   // no notice of a table not there
        connection.exec("DROP TABLE IF EXISTS " + connection.quote(table));
        connection.exec(create);
        connection.exec("COMMIT");
    } catch (...) {
        Pq().PQclear(Pq().PQexec(connection.handle(), "ROLLBACK"));
        throw;
    }
}

CopyIn::CopyIn(Connection& connection, const std::string& table, const std::vector<std::string>& columns)
    : connection_(connection), table_(table), columns_(columns.size())
{
    std::string sql = "COPY " + connection.quote(table) + " (";
    for (std::size_t i = 0; i < columns.size(); ++i) sql += (i ? ", " : "") + connection.quote(columns[i]);
    sql += ") FROM STDIN";
    PGresult* r = Pq().PQexec(connection.handle(), sql.c_str());
    const bool ok = Pq().PQresultStatus(r) == PGRES_COPY_IN;
    Pq().PQclear(r);
    if (!ok)
        throw EngineError("Loading rows into " + table + " on the alias " + connection.alias() +
                          " failed: " + Pq().PQerrorMessage(connection.handle()));
    open_ = true;
    buffer_.reserve(kBlock + 4096);
}

CopyIn::~CopyIn()
{
    if (!open_) return;
    Pq().PQputCopyEnd(connection_.handle(), "the load was abandoned");
    while (PGresult* r = Pq().PQgetResult(connection_.handle())) Pq().PQclear(r);
}

void CopyIn::addRow(const std::vector<Text>& row)
{
    if (row.size() != columns_)
        throw EngineError("Internal error: a row for " + table_ + " has the wrong number of values");
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i) buffer_ += '\t';
        AppendCopyField(row[i], buffer_);
    }
    buffer_ += '\n';
    ++rows_;
    if (buffer_.size() >= kBlock) flush();
}

void CopyIn::flush()
{
    if (buffer_.empty()) return;
    if (Pq().PQputCopyData(connection_.handle(), buffer_.data(), static_cast<int>(buffer_.size())) != 1)
        throw EngineError("Loading rows into " + table_ + " on the alias " + connection_.alias() +
                          " failed: " + Pq().PQerrorMessage(connection_.handle()));
    buffer_.clear();
}

std::int64_t CopyIn::finish()
{
    flush();
    open_ = false;
    pg_conn* c = connection_.handle();
    std::string error;
    if (Pq().PQputCopyEnd(c, nullptr) != 1) error = Pq().PQerrorMessage(c);
    while (PGresult* r = Pq().PQgetResult(c)) {
        if (Pq().PQresultStatus(r) != PGRES_COMMAND_OK && error.empty()) error = Pq().PQresultErrorMessage(r);
        Pq().PQclear(r);
    }
    if (!error.empty()) {
        while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) error.pop_back();
        throw EngineError("Loading rows into " + table_ + " on the alias " + connection_.alias() + " failed: " + error);
    }
    return rows_;
}

} // namespace tarnel::pg
