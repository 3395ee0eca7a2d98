#include "engine/pg/pg_alter.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <unistd.h>

#include "engine/engine_types.h"
#include "engine/error.h"
#include "engine/pg/pq_library.h"

namespace tarnel::pg {

namespace {

// The column's type without the identity: ALTER COLUMN TYPE takes only a type.
std::string BaseType(const FieldDef& f)
{
    if (f.type == ftAutoInc) return "integer";
    return ServerTypeOfField(f);
}

bool SameShape(const FieldDef& a, const FieldDef& b)
{
    if (a.type != b.type) return false;
    if (a.type == ftString || a.type == ftFixedChar) return a.size == b.size;
    if (a.type == ftBCD) return a.size == b.size && a.decimals == b.decimals;
    return true;
}

void CheckNames(const std::string& table, const std::vector<FieldDef>& newFields)
{
    if (newFields.empty()) throw EngineError("A table needs at least one field.");
    for (std::size_t a = 0; a < newFields.size(); ++a)
        for (std::size_t b = a + 1; b < newFields.size(); ++b)
            if (SameText(newFields[a].name, newFields[b].name))
                throw EngineError("Cannot restructure table " + table + ": duplicate field name " + newFields[b].name);
}

// For each new field, the column it carries (by name, letter case ignored), or -1.
std::vector<int> MatchColumns(const std::vector<ServerColumn>& columns, const std::vector<FieldDef>& newFields)
{
    std::vector<bool> taken(columns.size(), false);
    std::vector<int> from(newFields.size(), -1);
    for (std::size_t n = 0; n < newFields.size(); ++n)
        for (std::size_t c = 0; c < columns.size(); ++c)
            if (!taken[c] && SameText(columns[c].field.name, newFields[n].name)) {
                taken[c] = true;
                from[n] = static_cast<int>(c);
                break;
            }
    return from;
}

// The value a carried column gives its new field: into a text the server's
// own assignment applies (a cast to varchar(n) would cut a long text short:
// too long is an error); other types are cast.
// `name` is the column's name where the expression is used, quoted.
std::string CarriedValue(const std::string& name, const ServerColumn& old, const FieldDef& f)
{
    if (SameShape(old.field, f) && !old.readOnly) return name;
    if (IsTextType(old.field.type) && IsTextType(f.type) && !old.readOnly) return name;
    return name + "::" + (IsTextType(f.type) ? "text" : BaseType(f));
}

// Sets an AutoInc column's numbering to go on after its largest value (and
// after where the sequence of `previous`, a column of the old table, had got
// to, when there is one): numbers already given are never given again.
std::string RenumberStatement(Connection& connection, const std::string& qualifiedTable, const std::string& column,
                              const std::string& previousTable = {}, const std::string& previousColumn = {})
{
    std::string last = "coalesce(max(" + connection.quote(column) + "), 0)";
    if (!previousTable.empty())
        last = "greatest(" + last + ", coalesce(pg_catalog.pg_sequence_last_value(pg_catalog.pg_get_serial_sequence(" +
               connection.literal(previousTable) + ", " + connection.literal(previousColumn) + ")::regclass), 0))";
    return "SELECT pg_catalog.setval(pg_catalog.pg_get_serial_sequence(" + connection.literal(qualifiedTable) + ", " +
           connection.literal(column) + "), " + last + " + 1, false) FROM " + qualifiedTable;
}

std::string TemporaryTableName()
{
    static std::atomic<int> made {0};
    return "tarnel_rebuild_" + std::to_string(::getpid()) + "_" + std::to_string(++made);
}

} // namespace

ServerTableShape ReadServerTableShape(Connection& connection, const std::string& table)
{
    ServerTableShape shape;
    shape.columns = ServerTableColumns(connection, table, shape.primaryKey);
    if (shape.columns.empty()) return shape;
    const std::vector<Text> self {connection.quote(table)};
    shape.schema = connection
                       .exec("SELECT n.nspname FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n "
                             "ON n.oid = c.relnamespace WHERE c.oid = $1::regclass",
                             self)
                       .text(0, 0);
    shape.defaults.resize(shape.columns.size());
    Result defaults = connection.exec(
        "SELECT a.attname, pg_catalog.pg_get_expr(d.adbin, d.adrelid) FROM pg_catalog.pg_attribute a "
        "JOIN pg_catalog.pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
        "WHERE a.attrelid = $1::regclass AND a.attnum > 0 AND NOT a.attisdropped AND a.attidentity = '' "
        "AND a.attgenerated = ''",
        self);
    for (int r = 0; r < defaults.rows(); ++r) {
        const std::string expression = defaults.text(r, 1);
        if (expression.rfind("nextval(", 0) == 0) continue;   // a serial's: the column becomes an identity
        for (std::size_t c = 0; c < shape.columns.size(); ++c)
            if (shape.columns[c].field.name == defaults.text(r, 0)) shape.defaults[c] = expression;
    }
    Result indexes = connection.exec(
        "SELECT ic.relname, pg_catalog.pg_get_indexdef(i.indexrelid), "
        "i.indexprs IS NULL AND i.indpred IS NULL AND 0 <> ALL (i.indkey::int2[]), "
        "coalesce((SELECT string_agg(a.attname, E'\\n' ORDER BY k.o) "
        "  FROM unnest(i.indkey::int2[]) WITH ORDINALITY k(n, o) "
        "  JOIN pg_catalog.pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = k.n), '') "
        "FROM pg_catalog.pg_index i JOIN pg_catalog.pg_class ic ON ic.oid = i.indexrelid "
        "WHERE i.indrelid = $1::regclass AND NOT i.indisprimary ORDER BY ic.relname",
        self);
    for (int r = 0; r < indexes.rows(); ++r) {
        ServerTableShape::Index index {indexes.text(r, 0), indexes.text(r, 1), {}};
        if (indexes.text(r, 2) == "t") {
            const std::string list = indexes.text(r, 3);
            for (std::size_t at = 0; at <= list.size();) {
                std::size_t end = list.find('\n', at);
                if (end == std::string::npos) end = list.size();
                index.columns.push_back(list.substr(at, end - at));
                at = end + 1;
            }
        }
        shape.indexes.push_back(std::move(index));
    }
    return shape;
}

bool AlterKeepsOrder(const std::vector<ServerColumn>& columns, const std::vector<FieldDef>& newFields)
{
    int last = -1;
    bool added = false;
    for (int c : MatchColumns(columns, newFields)) {
        if (c < 0) {
            added = true;
            continue;
        }
        if (added || c < last) return false;
        last = c;
    }
    return true;
}

std::vector<std::string> RestructureStatements(Connection& connection, const std::string& table,
                                               const std::vector<ServerColumn>& columns,
                                               const std::vector<FieldDef>& newFields)
{
    CheckNames(table, newFields);
    const std::string alter = "ALTER TABLE " + connection.quote(table) + " ";
    std::vector<std::string> steps;
    const std::vector<int> from = MatchColumns(columns, newFields);
    for (std::size_t c = 0; c < columns.size(); ++c)
        if (std::find(from.begin(), from.end(), static_cast<int>(c)) == from.end())
            steps.push_back(alter + "DROP COLUMN " + connection.quote(columns[c].field.name));
    std::vector<std::string> renumber;
    for (std::size_t n = 0; n < newFields.size(); ++n) {
        const FieldDef& f = newFields[n];
        const std::string name = connection.quote(f.name);
        if (from[n] < 0) {
            steps.push_back(alter + "ADD COLUMN " + name + " " + ServerTypeOfField(f));
            continue;
        }
        const ServerColumn& old = columns[static_cast<std::size_t>(from[n])];
        if (old.field.name != f.name)
            steps.push_back(alter + "RENAME COLUMN " + connection.quote(old.field.name) + " TO " + name);
        if (SameShape(old.field, f) && !old.readOnly) continue;
        if (old.field.type == ftAutoInc) steps.push_back(alter + "ALTER COLUMN " + name + " DROP IDENTITY IF EXISTS");
        const std::string value = CarriedValue(name, old, f);   // renamed by now
        steps.push_back(alter + "ALTER COLUMN " + name + " TYPE " + BaseType(f) +
                        (value == name ? std::string() : " USING " + value));
        if (f.type == ftAutoInc) {
            steps.push_back(alter + "ALTER COLUMN " + name + " SET NOT NULL");
            steps.push_back(alter + "ALTER COLUMN " + name + " ADD GENERATED BY DEFAULT AS IDENTITY");
            // The identity starts at 1, beside the numbers the column holds.
            renumber.push_back(RenumberStatement(connection, connection.quote(table), f.name));
        }
    }
    steps.insert(steps.end(), renumber.begin(), renumber.end());
    return steps;
}

std::vector<std::string> RebuildStatements(Connection& connection, const std::string& table,
                                           const ServerTableShape& shape, const std::vector<FieldDef>& newFields,
                                           const std::string& temporaryName, std::vector<std::string>& dropped)
{
    CheckNames(table, newFields);
    const std::string schema = connection.quote(shape.schema) + ".";
    const std::string oldTable = schema + connection.quote(table);
    const std::string newTable = schema + connection.quote(temporaryName);
    const std::vector<int> from = MatchColumns(shape.columns, newFields);

    std::string create, into, select;
    std::vector<std::string> renumber;
    for (std::size_t n = 0; n < newFields.size(); ++n) {
        const FieldDef& f = newFields[n];
        const std::string name = connection.quote(f.name);
        if (!create.empty()) create += ", ";
        if (from[n] < 0) {   // new, empty; no NOT NULL: it has no values yet
            create += name + " " + ServerTypeOfField(f);
            continue;
        }
        const std::size_t c = static_cast<std::size_t>(from[n]);
        const ServerColumn& old = shape.columns[c];
        if (SameShape(old.field, f)) {
            // Unchanged: the same server type (and default) as before.
            create += name + " " + old.serverType;
            if (f.type == ftAutoInc) create += " GENERATED BY DEFAULT AS IDENTITY";
            else if (!shape.defaults[c].empty()) create += " DEFAULT " + shape.defaults[c];
        } else {
            create += name + " " + ServerTypeOfField(f);
        }
        if (old.field.required) create += " NOT NULL";
        into += (into.empty() ? "" : ", ") + name;
        select += (select.empty() ? "" : ", ") +
                  (SameShape(old.field, f) ? connection.quote(old.field.name)
                                            : CarriedValue(connection.quote(old.field.name), old, f));
        if (f.type == ftAutoInc)
            renumber.push_back(RenumberStatement(connection, newTable, f.name, oldTable, old.field.name));
    }

    std::vector<std::string> steps;
    steps.push_back("CREATE TABLE " + newTable + " (" + create + ")");
    if (!into.empty()) steps.push_back("INSERT INTO " + newTable + " (" + into + ") SELECT " + select + " FROM " + oldTable);
    steps.insert(steps.end(), renumber.begin(), renumber.end());   // while the old sequences are there
    steps.push_back("DROP TABLE " + oldTable);
    steps.push_back("ALTER TABLE " + newTable + " RENAME TO " + connection.quote(table));

    // The new field that keeps a column unchanged under its very name, if any:
    // what the primary key and the indexes may name again.
    auto keptAs = [&](const std::string& column, bool exactly) -> const FieldDef* {
        for (std::size_t n = 0; n < newFields.size(); ++n) {
            if (from[n] < 0) continue;
            const ServerColumn& old = shape.columns[static_cast<std::size_t>(from[n])];
            if (old.field.name != column) continue;
            if (exactly && (newFields[n].name != column || !SameShape(old.field, newFields[n]))) return nullptr;
            return &newFields[n];
        }
        return nullptr;
    };
    std::string key;
    for (int k : shape.primaryKey) {
        const FieldDef* f = keptAs(shape.columns[static_cast<std::size_t>(k)].field.name, false);
        if (!f) {
            key.clear();
            break;
        }
        key += (key.empty() ? "" : ", ") + connection.quote(f->name);
    }
    if (!key.empty()) steps.push_back("ALTER TABLE " + oldTable + " ADD PRIMARY KEY (" + key + ")");
    for (const auto& index : shape.indexes) {
        bool kept = !index.columns.empty();
        for (const std::string& column : index.columns) kept = kept && keptAs(column, true);
        if (kept) steps.push_back(index.definition);
        else dropped.push_back(index.name);
    }
    return steps;
}

ServerRestructureResult RestructureServerTable(Connection& connection, const std::string& table,
                                               const std::vector<FieldDef>& newFields, const BatchProgress& progress)
{
    const ServerTableShape shape = ReadServerTableShape(connection, table);
    if (shape.columns.empty()) throw EngineError("Table does not exist: " + table + " on the alias " + connection.alias());
    ServerRestructureResult result;
    result.rebuilt = !AlterKeepsOrder(shape.columns, newFields);
    std::vector<std::string> steps;
    if (result.rebuilt) {
        steps = RebuildStatements(connection, table, shape, newFields, TemporaryTableName(), result.droppedIndexes);
    } else {
        steps = RestructureStatements(connection, table, shape.columns, newFields);
        // The server drops the indexes on a dropped column with it.
        const std::vector<int> from = MatchColumns(shape.columns, newFields);
        for (const auto& index : shape.indexes)
            for (const std::string& column : index.columns) {
                bool gone = true;
                for (int c : from)
                    if (c >= 0 && shape.columns[static_cast<std::size_t>(c)].field.name == column) gone = false;
                if (gone) {
                    result.droppedIndexes.push_back(index.name);
                    break;
                }
            }
    }

    bool stopped = false;
    std::function<bool()> waiting;
    if (progress) waiting = [&] { return !(stopped = stopped || !progress(-1, -1)); };
    auto rollBack = [&] { Pq().PQclear(Pq().PQexec(connection.handle(), "ROLLBACK")); };
    connection.exec("BEGIN");
    try {
        for (const std::string& step : steps) {
            if (stopped) break;
            connection.execWhile(step, waiting);
        }
        if (!stopped)
            result.rows = std::atoll(
                connection.execWhile("SELECT count(*) FROM " + connection.quote(table), waiting).text(0, 0).c_str());
        if (stopped) {
            rollBack();
            return {0, true, result.rebuilt, {}};
        }
        connection.exec("COMMIT");
        return result;
    } catch (const StatementCancelled&) {
        rollBack();
        return {0, true, result.rebuilt, {}};
    } catch (const EngineError& e) {
        rollBack();
        throw EngineError("Cannot restructure table " + table + " (nothing was changed): " + e.what());
    }
}

} // namespace tarnel::pg
