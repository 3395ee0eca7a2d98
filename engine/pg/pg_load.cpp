#include "engine/pg/pg_load.h"

#include <algorithm>

#include "engine/error.h"
#include "engine/pg/pg_copy.h"
#include "engine/pg/pg_database.h"
#include "engine/pg/pg_table.h"
#include "engine/pg/pg_values.h"

namespace tarnel::pg {

namespace {

constexpr std::int64_t kProgressEvery = 512;
// Rows per COPY: each one commits, so a failure later keeps what went before.
constexpr std::int64_t kRowsPerCopy = 100000;

std::string RowError(const std::string& table, std::int64_t row, const FieldDef* field, const std::string& what)
{
    std::string where = table + ": row " + std::to_string(row + 1);
    if (field) where += ", field " + field->name;
    return where + ": " + what;
}

} // namespace

BatchMoveResult LoadServerTable(Table& destination, DataSet& source, bool recreate, const BatchProgress& progress,
                                std::int64_t sourceRows)
{
    if (destination.tableName().empty()) throw EngineError("No table name given");
    if (destination.readOnly())
        throw EngineError("Cannot move rows into " + destination.tableName() + ": it is read-only");
    auto connection = ConnectDatabase(destination.databaseName());
    const std::string table = ServerTableNameFor(*connection, destination.tableName());
    auto* sourceTable = dynamic_cast<Table*>(&source);
    if (recreate && sourceTable && SameText(sourceTable->databaseName(), destination.databaseName()) &&
        SameText(ServerTableNameFor(*connection, sourceTable->tableName()), table))
        throw EngineError("Cannot copy " + destination.tableName() + " onto itself");
    if (recreate) {
        std::vector<int> key;
        if (sourceTable) key = sourceTable->primaryKey();
        std::vector<FieldDef> fields = source.fields();
        for (FieldDef& f : fields) f.required = f.required || std::find(key.begin(), key.end(), f.number - 1) != key.end();
        CreateServerTable(*connection, table, fields, key);
    }
    std::vector<int> key;
    const std::vector<ServerColumn> columns = ServerTableColumns(*connection, table, key);
    if (columns.empty()) throw EngineError("Table does not exist: " + table + " on the alias " + connection->alias());

    // Columns matched by position; AutoInc columns take the server's numbers
    // unless the table is a copy.
    std::vector<int> sent;
    std::vector<std::string> names;
    const int n = std::min(static_cast<int>(columns.size()), source.fieldCount());
    for (int k = 0; k < n; ++k) {
        const ServerColumn& c = columns[static_cast<std::size_t>(k)];
        if (c.readOnly || (c.field.type == ftAutoInc && !recreate)) continue;
        sent.push_back(k);
        names.push_back(c.field.name);
    }
    if (sent.empty()) throw EngineError("Cannot move rows into " + table + ": no field of the source fits its fields");

    // The open source says where it is: no need to read the aliases again.
    const bool fromServer = sourceTable && dynamic_cast<const ServerTable*>(sourceTable->format());
    std::vector<char> padded;
    for (int k : sent) {
        const TFieldType t = source.field(k).type;
        padded.push_back(!fromServer && (t == ftString || t == ftFixedChar));
    }

    BatchMoveResult result;
    const std::int64_t total = sourceRows >= 0 ? sourceRows : source.recordCount();
    std::vector<Text> row(sent.size());
    std::unique_ptr<CopyIn> copy;
    source.disableViews();
    struct Resume {
        DataSet& s;
        ~Resume() { s.enableViews(); }
    } resume {source};
    // Only the rows there at the start, as with table files.
    try {
        for (source.first(); !source.eof() && result.rows < total; source.next()) {
            if (!copy) copy = std::make_unique<CopyIn>(*connection, table, names);
            for (std::size_t i = 0; i < sent.size(); ++i) {
                const FieldDef& f = columns[static_cast<std::size_t>(sent[i])].field;
                try {
                    Value v = source.value(sent[i]);
                    // Blanks that fill a fixed-width field of a table file are padding, not text.
                    if (padded[i] && v.kind == Value::Kind::Text)
                        v.s.erase(v.s.find_last_not_of(' ') + 1);
                    row[i] = ServerTextOfValue(f, ConvertForField(f, std::move(v), source.field(sent[i]).type));
                } catch (const EngineError& e) {
                    throw EngineError(RowError(table, result.rows, &f, e.what()));
                }
            }
            copy->addRow(row);
            ++result.rows;
            ++result.appended;
            if (result.rows % kRowsPerCopy == 0) {
                copy->finish();
                copy.reset();
            }
            if (progress && result.rows % kProgressEvery == 0 && !progress(result.rows, total)) {
                result.cancelled = true;
                break;
            }
        }
    } catch (...) {
        // The rows sent before the failing one are kept; the failure is what is reported.
        if (copy) {
            try {
                copy->finish();
            } catch (...) {
            }
        }
        throw;
    }
    if (copy) copy->finish();
    if (recreate) {
        // Numbers kept from the source: the identity goes on after the largest.
        for (const ServerColumn& c : columns) {
            if (c.field.type != ftAutoInc) continue;
            const std::string col = connection->quote(c.field.name);
            connection->exec("SELECT setval(pg_get_serial_sequence($1, $2), coalesce(max(" + col + "), 0) + 1, false) FROM " +
                                 connection->quote(table),
                             {connection->quote(table), c.field.name});
        }
    }
    if (progress && !result.cancelled) progress(result.rows, total);
    return result;
}

} // namespace tarnel::pg
