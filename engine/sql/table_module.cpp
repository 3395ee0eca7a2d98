#include "engine/sql/table_module.h"

#include <cstdlib>
#include <exception>
#include <string>

namespace tarnel::sql {

namespace {

struct TableVTab : sqlite3_vtab {
    Table* table = nullptr;
    std::vector<bool> trimmed;   // fields whose trailing blanks are padding
};

struct TableCursor : sqlite3_vtab_cursor {
    std::int64_t row = 0;
    std::int64_t count = 0;
    // Values of the current row already read: SQLite asks for a column once
    // for the condition and again for the result.
    std::int64_t cachedRow = -1;
    std::vector<Value> values;
    std::vector<char> have;
};

int Fail(sqlite3_vtab* vtab, const char* message)
{
    sqlite3_free(vtab->zErrMsg);
    vtab->zErrMsg = sqlite3_mprintf("%s", message);
    return SQLITE_ERROR;
}

int Connect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** error)
{
    const auto* tables = static_cast<const std::vector<std::unique_ptr<Table>>*>(aux);
    char* end = nullptr;
    const long index = argc > 3 ? std::strtol(argv[3], &end, 10) : -1;
    if (index < 0 || index >= static_cast<long>(tables->size()) || *end != '\0') {
        *error = sqlite3_mprintf("%s: no such engine table", argc > 2 ? argv[2] : "?");
        return SQLITE_ERROR;
    }
    Table* table = (*tables)[static_cast<size_t>(index)].get();

    std::string schema = "CREATE TABLE x(";
    bool firstColumn = true;
    for (const FieldDef& f : table->fields()) {
        if (!firstColumn) schema += ", ";
        firstColumn = false;
        schema += QuoteName(f.name);
        if (const char* type = ColumnTypeOf(f.type); *type) schema += std::string(" ") + type;
    }
    schema += ")";
    if (int rc = sqlite3_declare_vtab(db, schema.c_str()); rc != SQLITE_OK) {
        *error = sqlite3_mprintf("%s: %s", table->tableName().c_str(), sqlite3_errmsg(db));
        return rc;
    }

    auto* vtab = new TableVTab();
    vtab->table = table;
    for (const FieldDef& f : table->fields())
        vtab->trimmed.push_back(f.type == ftString || f.type == ftFixedChar);
    *out = vtab;
    return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* vtab)
{
    sqlite3_free(vtab->zErrMsg);
    delete static_cast<TableVTab*>(vtab);
    return SQLITE_OK;
}

int BestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info)
{
    // A plain scan; SQLite evaluates every condition itself.
    try {
        const double rows = static_cast<double>(static_cast<TableVTab*>(vtab)->table->recordCount());
        info->estimatedCost = rows + 1;
        info->estimatedRows = static_cast<sqlite3_int64>(rows);
    } catch (const std::exception& e) {
        return Fail(vtab, e.what());
    }
    return SQLITE_OK;
}

int Open(sqlite3_vtab*, sqlite3_vtab_cursor** out)
{
    *out = new TableCursor();
    return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* cursor)
{
    delete static_cast<TableCursor*>(cursor);
    return SQLITE_OK;
}

int Filter(sqlite3_vtab_cursor* base, int, const char*, int, sqlite3_value**)
{
    auto* cursor = static_cast<TableCursor*>(base);
    try {
        cursor->row = 0;
        cursor->cachedRow = -1;
        cursor->count = static_cast<TableVTab*>(base->pVtab)->table->recordCount();
    } catch (const std::exception& e) {
        return Fail(base->pVtab, e.what());
    }
    return SQLITE_OK;
}

int Next(sqlite3_vtab_cursor* base)
{
    ++static_cast<TableCursor*>(base)->row;
    return SQLITE_OK;
}

int Eof(sqlite3_vtab_cursor* base)
{
    auto* cursor = static_cast<TableCursor*>(base);
    return cursor->row >= cursor->count;
}

int Column(sqlite3_vtab_cursor* base, sqlite3_context* context, int field)
{
    auto* cursor = static_cast<TableCursor*>(base);
    auto* vtab = static_cast<TableVTab*>(base->pVtab);
    Table& table = *vtab->table;
    try {
        if (cursor->cachedRow != cursor->row) {
            cursor->cachedRow = cursor->row;
            cursor->values.resize(static_cast<size_t>(table.fieldCount()));
            cursor->have.assign(cursor->values.size(), 0);
        }
        Value& v = cursor->values[static_cast<size_t>(field)];
        if (!cursor->have[static_cast<size_t>(field)]) {
            // Cursors of one table (a self-join) share the Table: move it when needed.
            if (table.eof() || table.row() != cursor->row) table.moveTo(cursor->row);
            v = table.value(field);
            cursor->have[static_cast<size_t>(field)] = 1;
        }
        switch (v.kind) {
        case Value::Kind::Null: sqlite3_result_null(context); break;
        case Value::Kind::Int: sqlite3_result_int64(context, v.i); break;
        case Value::Kind::Float: sqlite3_result_double(context, v.f); break;
        case Value::Kind::Text: {
            size_t n = v.s.size();
            if (vtab->trimmed[static_cast<size_t>(field)])
                while (n > 0 && v.s[n - 1] == ' ') --n;
            sqlite3_result_text64(context, v.s.data(), n, SQLITE_TRANSIENT, SQLITE_UTF8);
            break;
        }
        case Value::Kind::Bytes:
            sqlite3_result_blob64(context, v.s.data(), v.s.size(), SQLITE_TRANSIENT);
            break;
        }
    } catch (const std::exception& e) {
        sqlite3_result_error(context, e.what(), -1);
        return SQLITE_ERROR;
    }
    return SQLITE_OK;
}

int Rowid(sqlite3_vtab_cursor* base, sqlite3_int64* rowid)
{
    *rowid = static_cast<TableCursor*>(base)->row + 1;
    return SQLITE_OK;
}

sqlite3_module MakeModule()
{
    sqlite3_module m{};
    m.iVersion = 1;
    m.xCreate = Connect;
    m.xConnect = Connect;
    m.xBestIndex = BestIndex;
    m.xDisconnect = Disconnect;
    m.xDestroy = Disconnect;
    m.xOpen = Open;
    m.xClose = Close;
    m.xFilter = Filter;
    m.xNext = Next;
    m.xEof = Eof;
    m.xColumn = Column;
    m.xRowid = Rowid;
    return m;
}

const sqlite3_module kModule = MakeModule();

} // namespace

std::string QuoteName(const std::string& name)
{
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

const char* ColumnTypeOf(TFieldType type)
{
    if (IsTextType(type)) return "TEXT";
    if (IsIntegerType(type) || type == ftDate) return "INTEGER";
    if (IsFloatType(type) || IsDateTimeType(type)) return "REAL";
    if (IsBinaryType(type)) return "BLOB";
    return "";
}

void RegisterTableModule(sqlite3* db, const std::vector<std::unique_ptr<Table>>* tables)
{
    sqlite3_create_module_v2(db, kTableModuleName, &kModule,
                             const_cast<std::vector<std::unique_ptr<Table>>*>(tables), nullptr);
}

} // namespace tarnel::sql
