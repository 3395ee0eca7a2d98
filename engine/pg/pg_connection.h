#pragma once
// Connections to a PostgreSQL server, through libpq only.
//
// A server is named by a libpq connection URI ("postgresql://host:port/db",
// "postgresql:///db?host=/socket/folder"). The URI goes to libpq unchanged, so
// its sslmode, connect_timeout and the like are honoured, and passwords come
// from libpq's own sources (~/.pgpass, PGPASSFILE, PGPASSWORD).
//
// Every statement passes its values as text parameters; identifiers are quoted
// by libpq. Errors are EngineError naming the alias and carrying the server's message.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/dataset.h"
#include "engine/error.h"

struct pg_conn;
struct pg_result;

namespace tarnel::pg {

// Whether a database location is a server URI rather than a folder.
bool IsServerLocation(const std::string& location);
// Whether a URI carries a password (aliases never store one).
bool UriHasPassword(const std::string& uri);

// Asked for a password when a server wants one and libpq's own sources gave
// none: the alias (or URI) the connection is for; false when the user gives
// none. A password given is kept in this process only, for the next
// connections to the same server, and forgotten when the server refuses it.
using PasswordPrompt = std::function<bool(const std::string& alias, std::string& password)>;
void SetPasswordPrompt(PasswordPrompt prompt);

// A statement the user cancelled while the server ran it (execWhile).
class StatementCancelled : public EngineError {
public:
    explicit StatementCancelled(const std::string& message) : EngineError(message) {}
};

// A parameter or result value in PostgreSQL's text form; nullopt is NULL.
using Text = std::optional<std::string>;

class Result {
public:
    explicit Result(pg_result* r) : r_(r) {}
    ~Result();
    Result(Result&& o) noexcept : r_(o.r_) { o.r_ = nullptr; }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;

    int rows() const;
    int columns() const;
    bool isNull(int row, int column) const;
    std::string text(int row, int column) const;
    Text value(int row, int column) const;
    // The number of rows an UPDATE, DELETE or INSERT touched.
    long affected() const;
    pg_result* get() const { return r_; }

private:
    pg_result* r_;
};

class Connection {
public:
    // Connects; throws EngineError "Cannot connect to the alias NAME: <server's message>".
    // An empty alias names the URI's database instead.
    Connection(const std::string& uri, const std::string& alias);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Runs one statement with text parameters ($1, $2...); throws EngineError on failure.
    Result exec(const std::string& sql, const std::vector<Text>& params = {});
    // Runs one statement without parameters, calling `waiting` about ten
    // times a second while the server works on it. When `waiting` answers
    // false the server is asked to cancel the statement, and unless it had
    // finished already, StatementCancelled is thrown.
    Result execWhile(const std::string& sql, const std::function<bool()>& waiting);
    // The identifier quoted for SQL ("Feature ""A""").
    std::string quote(const std::string& identifier) const;
    // The text as an SQL string literal ('it''s'), for the few functions that take names as text.
    std::string literal(const std::string& text) const;
    const std::string& alias() const { return alias_; }
    pg_conn* handle() const { return conn_; }

    // The settings this connection was made with (a password typed for it
    // included), for a second connection to the same database.
    using Settings = std::vector<std::pair<std::string, std::string>>;
    Settings settings() const;
    // Connects with such settings. Asks no password and touches no state it
    // shares with other connections, so it may run on any thread; throws
    // EngineError as the constructor does.
    Connection(const Settings& settings, const std::string& alias);

private:
    [[noreturn]] void fail(const std::string& doing) const;
    void ready();   // throws, naming the alias, when the connection failed
    std::string escaped(char* (*escape)(pg_conn*, const char*, std::size_t), const std::string& text,
                        const char* doing) const;
    pg_conn* conn_ = nullptr;
    std::string alias_;
};

// The tables and views on the server's search path, sorted.
std::vector<std::string> ServerTableNames(Connection& connection);

// A column of a server table as the engine sees it.
struct ServerColumn {
    FieldDef field;
    std::string serverType;   // as the server writes it: "character varying(40)"
    bool readOnly = false;    // a type the engine shows only as text
    bool hasDefault = false;
};

// The engine's field for a server type (format_type's text); `generated`
// marks serial and identity columns. Types without a mapping become
// read-only Memo fields shown as their text.
ServerColumn ColumnOfServerType(const std::string& name, const std::string& serverType, bool generated);
// The server type that holds an engine field; throws for a type with none.
std::string ServerTypeOfField(const FieldDef& field);

// The columns of a table (in order) and the positions of its primary key.
std::vector<ServerColumn> ServerTableColumns(Connection& connection, const std::string& table,
                                             std::vector<int>& primaryKey);

// "$n" for `value` added as the n-th of a statement's parameters.
std::string Param(std::vector<Text>& params, const Text& value);

// The condition that a row found by its key still holds `before` (as read):
// " AND column::text IS NOT DISTINCT FROM $n::text" for every column outside
// the primary key, its value added to `params`. Text compares every type,
// including those without an equality of their own.
std::string UnchangedCondition(Connection& connection, const std::vector<ServerColumn>& columns,
                               const std::vector<int>& primaryKey, const std::vector<Text>& before,
                               std::vector<Text>& params);

// After a write found no row matching its key and UnchangedCondition: throws
// "The row was changed by another user" when `keyCondition` still finds the
// row, else "The row was deleted by another user".
[[noreturn]] void RefuseStaleRow(Connection& connection, const std::string& quotedTable,
                                 const std::string& keyCondition, const std::vector<Text>& keyParams);

// Writes a changed row, found by its primary key, only if it still holds
// `before` in every column (as read): otherwise nothing is written and
// EngineError says "The row was changed by another user" or "The row was
// deleted by another user". `after` holds the new text of each column and
// `changed` which of them to write.
void UpdateRowIfUnchanged(Connection& connection, const std::string& table,
                          const std::vector<ServerColumn>& columns, const std::vector<int>& primaryKey,
                          const std::vector<Text>& before, const std::vector<Text>& after,
                          const std::vector<bool>& changed);

} // namespace tarnel::pg
