#include "engine/pg/pg_connection.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <poll.h>

#include "engine/error.h"
#include "engine/pg/pq_library.h"

namespace tarnel::pg {

namespace {

bool StartsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

// The server's message without its trailing newline.
std::string Trimmed(const char* message)
{
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

std::string Lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "(40)" or "(10,2)" after a type name: the numbers inside; false when absent.
bool Modifiers(const std::string& type, std::size_t from, int& a, int& b)
{
    std::size_t open = type.find('(', from);
    if (open == std::string::npos) return false;
    a = std::atoi(type.c_str() + open + 1);
    std::size_t comma = type.find(',', open);
    b = comma == std::string::npos ? 0 : std::atoi(type.c_str() + comma + 1);
    return true;
}

} // namespace

bool IsServerLocation(const std::string& location)
{
    return StartsWith(location, "postgresql://") || StartsWith(location, "postgres://");
}

bool UriHasPassword(const std::string& uri)
{
    if (!IsServerLocation(uri)) return false;
    char* error = nullptr;
    PQconninfoOption* options = Pq().PQconninfoParse(uri.c_str(), &error);
    if (!options) {
        Pq().PQfreemem(error);
        return false;
    }
    bool found = false;
    for (PQconninfoOption* o = options; o->keyword; ++o)
        if (std::string(o->keyword) == "password" && o->val && *o->val) found = true;
    Pq().PQconninfoFree(options);
    return found;
}

// Results

Result::~Result() { if (r_) Pq().PQclear(r_); }
int Result::rows() const { return Pq().PQntuples(r_); }
int Result::columns() const { return Pq().PQnfields(r_); }
bool Result::isNull(int row, int column) const { return Pq().PQgetisnull(r_, row, column) != 0; }
std::string Result::text(int row, int column) const { return Pq().PQgetvalue(r_, row, column); }
Text Result::value(int row, int column) const
{
    if (isNull(row, column)) return std::nullopt;
    return text(row, column);
}
long Result::affected() const { return std::atol(Pq().PQcmdTuples(r_)); }

// Connections

namespace {

PasswordPrompt& Prompt()
{
    static PasswordPrompt prompt;
    return prompt;
}

// Passwords the user typed, by URI, for this process only.
std::map<std::string, std::string>& TypedPasswords()
{
    static std::map<std::string, std::string> passwords;
    return passwords;
}

pg_conn* ConnectWithPassword(const std::string& uri, const std::string& password)
{
    const char* keys[] = {"dbname", "password", nullptr};
    const char* values[] = {uri.c_str(), password.c_str(), nullptr};
    return Pq().PQconnectdbParams(keys, values, 1);   // the URI expands; the password is added
}

} // namespace

void SetPasswordPrompt(PasswordPrompt prompt) { Prompt() = std::move(prompt); }

Connection::Connection(const std::string& uri, const std::string& alias) : alias_(alias)
{
    if (alias_.empty()) alias_ = uri;
    auto typed = TypedPasswords().find(uri);
    conn_ = typed != TypedPasswords().end() ? ConnectWithPassword(uri, typed->second) : Pq().PQconnectdb(uri.c_str());
    if (!conn_) throw EngineError("Cannot connect to the alias " + alias_ + ": out of memory");
    if (Pq().PQstatus(conn_) != CONNECTION_OK && typed != TypedPasswords().end()) {
        TypedPasswords().erase(typed);   // refused, or changed on the server: ask again
        typed = TypedPasswords().end();
    }
    std::string password;
    if (Pq().PQstatus(conn_) != CONNECTION_OK && Pq().PQconnectionNeedsPassword(conn_) &&
        Prompt() && Prompt()(alias_, password)) {
        Pq().PQfinish(conn_);
        conn_ = ConnectWithPassword(uri, password);
        if (!conn_) throw EngineError("Cannot connect to the alias " + alias_ + ": out of memory");
        if (Pq().PQstatus(conn_) == CONNECTION_OK) TypedPasswords()[uri] = password;
    }
    ready();
}

void Connection::ready()
{
    if (Pq().PQstatus(conn_) != CONNECTION_OK) {
        std::string message = Trimmed(Pq().PQerrorMessage(conn_));
        Pq().PQfinish(conn_);
        conn_ = nullptr;
        throw EngineError("Cannot connect to the alias " + alias_ + ": " + message);
    }
    Pq().PQsetClientEncoding(conn_, "UTF8");   // text leaves the engine as UTF-8
}

Connection::Settings Connection::settings() const
{
    Settings settings;
    PQconninfoOption* options = Pq().PQconninfo(conn_);
    if (!options) throw EngineError("Cannot connect to the alias " + alias_ + ": out of memory");
    for (PQconninfoOption* o = options; o->keyword; ++o)
        if (o->val && *o->val) settings.emplace_back(o->keyword, o->val);
    Pq().PQconninfoFree(options);
    return settings;
}

Connection::Connection(const Settings& settings, const std::string& alias) : alias_(alias)
{
    std::vector<const char*> keys, values;
    for (const auto& [key, value] : settings) {
        keys.push_back(key.c_str());
        values.push_back(value.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    conn_ = Pq().PQconnectdbParams(keys.data(), values.data(), 0);
    if (!conn_) throw EngineError("Cannot connect to the alias " + alias_ + ": out of memory");
    ready();
}

Connection::~Connection()
{
    if (conn_) Pq().PQfinish(conn_);
}

void Connection::fail(const std::string& doing) const
{
    throw EngineError(doing + " on the alias " + alias_ + " failed: " + Trimmed(Pq().PQerrorMessage(conn_)));
}

Result Connection::exec(const std::string& sql, const std::vector<Text>& params)
{
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const Text& p : params) values.push_back(p ? p->c_str() : nullptr);
    Result result(Pq().PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                               nullptr, nullptr, 0));
    // A lost connection leaves no result at all (status PGRES_FATAL_ERROR).
    ExecStatusType status = Pq().PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) fail("A statement");
    return result;
}

Result Connection::execWhile(const std::string& sql, const std::function<bool()>& waiting)
{
    if (!waiting) return exec(sql);
    if (!Pq().PQsendQuery(conn_, sql.c_str())) fail("A statement");
    bool cancelled = false;
    while (Pq().PQisBusy(conn_)) {
        pollfd socket {Pq().PQsocket(conn_), POLLIN, 0};
        if (socket.fd < 0) break;   // lost: PQgetResult tells
        ::poll(&socket, 1, 100);
        if (!Pq().PQconsumeInput(conn_)) break;
        if (!cancelled && !waiting()) {
            cancelled = true;
            char error[256] = "";
            if (PGcancel* cancel = Pq().PQgetCancel(conn_)) {
                Pq().PQcancel(cancel, error, sizeof error);
                Pq().PQfreeCancel(cancel);
            }
        }
    }
    // The statement's result is the last one; the others (none for a single
    // statement) are passed over.
    Result result(Pq().PQgetResult(conn_));
    while (PGresult* more = Pq().PQgetResult(conn_)) Pq().PQclear(more);
    const ExecStatusType status = Pq().PQresultStatus(result.get());
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return result;
    const char* state = result.get() ? Pq().PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
    if (cancelled && state && std::string(state) == "57014")
        throw StatementCancelled("The work on the alias " + alias_ + " was cancelled");
    throw EngineError("A statement on the alias " + alias_ + " failed: " +
                      Trimmed(result.get() ? Pq().PQresultErrorMessage(result.get()) : Pq().PQerrorMessage(conn_)));
}

std::string Connection::quote(const std::string& identifier) const
{
    return escaped(Pq().PQescapeIdentifier, identifier, "Quoting the name ");
}

std::string Connection::literal(const std::string& text) const
{
    return escaped(Pq().PQescapeLiteral, text, "Quoting the text ");
}

std::string Connection::escaped(char* (*escape)(pg_conn*, const char*, std::size_t), const std::string& text,
                                const char* doing) const
{
    char* quoted = escape(conn_, text.c_str(), text.size());
    if (!quoted) fail(doing + text);
    std::string result = quoted;
    Pq().PQfreemem(quoted);
    return result;
}

std::vector<std::string> ServerTableNames(Connection& connection)
{
    Result r = connection.exec(
        "SELECT c.relname FROM pg_catalog.pg_class c "
        "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
        "WHERE c.relkind IN ('r', 'p', 'v', 'm', 'f') AND pg_catalog.pg_table_is_visible(c.oid) "
        "AND n.nspname NOT IN ('pg_catalog', 'information_schema') ORDER BY lower(c.relname), c.relname");
    std::vector<std::string> names;
    for (int i = 0; i < r.rows(); ++i) names.push_back(r.text(i, 0));
    return names;
}

// The mapping between server types and engine field types:
//   character varying(n), character(n)   String (size n; without n: Memo)
//   text                                 Memo
//   smallint / integer / bigint          Smallint / Integer / Largeint
//   serial, identity columns             AutoInc
//   numeric(p,s)                         BCD (size p, decimals s; plain numeric: size 0)
//   real, double precision               Float
//   boolean, date, time, timestamp       Boolean, Date, Time, DateTime
//   bytea                                Blob
// Every other type is shown as its text, read-only. Back to the server,
// Word becomes integer, Currency numeric(19,4), TimeStamp timestamp, the
// binary types and formatted memos bytea; a BCD field whose size is not
// above its decimals (the table files' kind) numeric(32,decimals).
ServerColumn ColumnOfServerType(const std::string& name, const std::string& serverType, bool generated)
{
    ServerColumn c;
    c.field.name = name;
    c.serverType = serverType;
    std::string t = Lower(serverType);
    int a = 0, b = 0;
    FieldDef& f = c.field;
    if (StartsWith(t, "character varying") || StartsWith(t, "character(") || t == "character") {
        if (Modifiers(t, 0, a, b)) {
            f.type = ftString;
            f.size = a;
        } else if (t == "character") {
            f.type = ftString;
            f.size = 1;
        } else {
            f.type = ftMemo;
        }
    } else if (t == "text") {
        f.type = ftMemo;
    } else if (t == "smallint") {
        f.type = ftSmallint;
    } else if (t == "integer") {
        f.type = generated ? ftAutoInc : ftInteger;
    } else if (t == "bigint") {
        f.type = generated ? ftAutoInc : ftLargeint;
    } else if (StartsWith(t, "numeric")) {
        f.type = ftBCD;
        if (Modifiers(t, 0, a, b)) {
            f.size = a;
            f.decimals = b;
        }
    } else if (t == "real" || t == "double precision") {
        f.type = ftFloat;
    } else if (t == "boolean") {
        f.type = ftBoolean;
    } else if (t == "date") {
        f.type = ftDate;
    } else if (StartsWith(t, "time") && t.find("with time zone") == std::string::npos) {
        f.type = StartsWith(t, "timestamp") ? ftDateTime : ftTime;
    } else if (t == "bytea") {
        f.type = ftBlob;
    } else {
        f.type = ftMemo;
        c.readOnly = true;
    }
    return c;
}

std::string ServerTypeOfField(const FieldDef& f)
{
    switch (f.type) {
    case ftString:
    case ftWideString:
        return "varchar(" + std::to_string(f.size > 0 ? f.size : 1) + ")";
    case ftFixedChar: return "char(" + std::to_string(f.size > 0 ? f.size : 1) + ")";
    case ftMemo: return "text";
    case ftFmtMemo: return "bytea";   // formatted memos hold bytes that text refuses (NUL)
    case ftSmallint: return "smallint";
    case ftWord:
    case ftInteger: return "integer";
    case ftLargeint: return "bigint";
    case ftAutoInc: return "integer GENERATED BY DEFAULT AS IDENTITY";
    case ftBCD:
    case ftFMTBcd:
        // A table file's BCD field gives its decimals as its size: it then
        // gets the 32 digits those fields hold.
        if (f.size <= 0 && f.decimals <= 0) return "numeric";
        return "numeric(" + std::to_string(f.size > f.decimals ? f.size : 32) + "," + std::to_string(f.decimals) + ")";
    case ftCurrency: return "numeric(19,4)";
    case ftFloat: return "double precision";
    case ftBoolean: return "boolean";
    case ftDate: return "date";
    case ftTime: return "time";
    case ftDateTime:
    case ftTimeStamp: return "timestamp";
    case ftBytes:
    case ftVarBytes:
    case ftBlob:
    case ftGraphic:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary: return "bytea";
    default: break;
    }
    throw EngineError("The field " + f.name + " has the type " + std::string(EngineTypeName(f.type)) +
                      ", which a server table cannot hold");
}

std::vector<ServerColumn> ServerTableColumns(Connection& connection, const std::string& table,
                                             std::vector<int>& primaryKey)
{
    Result r = connection.exec(
        "SELECT a.attname, pg_catalog.format_type(a.atttypid, a.atttypmod), a.attnotnull, a.atthasdef, "
        "a.attidentity <> '' OR coalesce(pg_catalog.pg_get_expr(d.adbin, d.adrelid) LIKE 'nextval(%', false), "
        "coalesce(a.attnum = ANY (SELECT unnest(i.indkey) FROM pg_catalog.pg_index i "
        "  WHERE i.indrelid = a.attrelid AND i.indisprimary), false) "
        "FROM pg_catalog.pg_attribute a "
        "LEFT JOIN pg_catalog.pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
        "WHERE a.attrelid = $1::regclass AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum",
        {connection.quote(table)});
    std::vector<ServerColumn> columns;
    primaryKey.clear();
    for (int i = 0; i < r.rows(); ++i) {
        ServerColumn c = ColumnOfServerType(r.text(i, 0), r.text(i, 1), r.text(i, 4) == "t");
        c.field.number = i + 1;
        c.field.required = r.text(i, 2) == "t";
        c.hasDefault = r.text(i, 3) == "t";
        if (r.text(i, 5) == "t") primaryKey.push_back(i);
        columns.push_back(std::move(c));
    }
    return columns;
}

std::string Param(std::vector<Text>& params, const Text& value)
{
    params.push_back(value);
    return "$" + std::to_string(params.size());
}

std::string UnchangedCondition(Connection& connection, const std::vector<ServerColumn>& columns,
                               const std::vector<int>& primaryKey, const std::vector<Text>& before,
                               std::vector<Text>& params)
{
    std::string same;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (std::find(primaryKey.begin(), primaryKey.end(), static_cast<int>(i)) != primaryKey.end()) continue;
        same += " AND " + connection.quote(columns[i].field.name) + "::text IS NOT DISTINCT FROM " +
                Param(params, before[i]) + "::text";
    }
    return same;
}

void RefuseStaleRow(Connection& connection, const std::string& quotedTable, const std::string& keyCondition,
                    const std::vector<Text>& keyParams)
{
    Result still = connection.exec("SELECT 1 FROM " + quotedTable + " WHERE " + keyCondition, keyParams);
    throw EngineError(still.rows() > 0 ? "The row was changed by another user"
                                       : "The row was deleted by another user");
}

void UpdateRowIfUnchanged(Connection& connection, const std::string& table,
                          const std::vector<ServerColumn>& columns, const std::vector<int>& primaryKey,
                          const std::vector<Text>& before, const std::vector<Text>& after,
                          const std::vector<bool>& changed)
{
    if (primaryKey.empty())
        throw EngineError("The table " + table + " has no primary key: its rows cannot be changed");
    if (before.size() != columns.size() || after.size() != columns.size() || changed.size() != columns.size())
        throw EngineError("Internal error: a row of " + table + " was posted with the wrong number of values");
    std::vector<Text> params;
    std::string set;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (!changed[i]) continue;
        if (columns[i].readOnly)
            throw EngineError("The field " + columns[i].field.name + " of " + table + " cannot be changed here");
        set += (set.empty() ? "" : ", ") + connection.quote(columns[i].field.name) + " = " + Param(params, after[i]);
    }
    if (set.empty()) return;
    for (int k : primaryKey)
        if (!before[k]) throw EngineError("A key of the row in " + table + " is blank");
    auto keyCondition = [&](std::vector<Text>& into) {
        std::string key;
        for (int k : primaryKey)
            key += (key.empty() ? "" : " AND ") + connection.quote(columns[k].field.name) + " = " + Param(into, before[k]);
        return key;
    };
    const std::string where = keyCondition(params) + UnchangedCondition(connection, columns, primaryKey, before, params);
    const std::string quotedTable = connection.quote(table);
    Result r = connection.exec("UPDATE " + quotedTable + " SET " + set + " WHERE " + where, params);
    if (r.affected() == 1) return;
    // Not written: tell a changed row from a deleted one.
    std::vector<Text> keyParams;
    const std::string key = keyCondition(keyParams);
    RefuseStaleRow(connection, quotedTable, key, keyParams);
}

} // namespace tarnel::pg
