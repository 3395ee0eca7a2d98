#include "engine/sql/table_module.h"

#include "engine/sql/index_lookup.h"
#include "engine/sql/scan_terms.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>

namespace tarnel::sql {

namespace {

struct TableVTab : sqlite3_vtab {
    Table* table = nullptr;
    std::vector<bool> trimmed;   // fields whose trailing blanks are padding
    std::vector<ColumnClass> classes;
};

// A scan walks the table's records in file order, skipping deleted ones and
// those that fail the conditions handed to it (see scan_terms.h). Cursors read
// the format by record number, so those of one table (a self-join) do not
// disturb each other.
struct TableCursor : sqlite3_vtab_cursor {
    TableFormat* format = nullptr;
    bool deletionMarks = false;
    std::int64_t physical = 0;
    std::int64_t record = 0;   // physical number of the current row
    std::int64_t row = -1;     // its row number
    std::vector<ScanTerm> terms;
    // Looking up through an index: the records to visit, and how far the
    // live records before the current one have been counted (its row number).
    std::optional<std::vector<std::int64_t>> lookup;
    size_t nextLookup = 0;
    std::int64_t counted = 0, liveBefore = 0;
    // Values of the current row already read: a condition and the result may
    // both want a column.
    std::vector<Value> values;
    std::vector<std::int64_t> valueRecord;
    // A scan the format runs itself (TableFormat::openScan), else null.
    std::unique_ptr<RowScan> scan;
    bool scanDone = false;
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
    if (!table->format()) {
        *error = sqlite3_mprintf("%s: the table is not open", table->tableName().c_str());
        return SQLITE_ERROR;
    }

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
    for (const FieldDef& f : table->fields()) {
        vtab->trimmed.push_back(f.type == ftString || f.type == ftFixedChar);
        vtab->classes.push_back(ClassOfField(f.type));
    }
    *out = vtab;
    return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* vtab)
{
    sqlite3_free(vtab->zErrMsg);
    delete static_cast<TableVTab*>(vtab);
    return SQLITE_OK;
}

// The plan handed from BestIndex to Filter (idxStr): one "field:op;" per
// condition the scan tests, in argv order for those with a constant; led by
// "@field;" when an index answers the conditions on that field.
int BestIndex(sqlite3_vtab* base, sqlite3_index_info* info)
{
    auto* vtab = static_cast<TableVTab*>(base);
    try {
        const int fieldCount = static_cast<int>(vtab->classes.size());
        std::string plan;
        int argc = 0;
        double share = 1.0;
        std::vector<std::pair<int, ScanOp>> conditions;
        for (int i = 0; i < info->nConstraint; ++i) {
            const auto& c = info->aConstraint[i];
            if (!c.usable || c.iColumn < 0 || c.iColumn >= fieldCount) continue;
            if (sqlite3_vtab_in(info, i, -1)) continue;   // IN lists stay with SQLite
            int operandType = 0;
            sqlite3_value* operand = nullptr;
            if (sqlite3_vtab_rhs_value(info, i, &operand) == SQLITE_OK && operand)
                operandType = sqlite3_value_type(operand);
            const auto op = ScanOpFor(c.op, vtab->classes[static_cast<size_t>(c.iColumn)], operandType,
                                      sqlite3_vtab_collation(info, i));
            if (!op) continue;
            if (NeedsOperand(*op)) info->aConstraintUsage[i].argvIndex = ++argc;
            info->aConstraintUsage[i].omit = 1;
            plan += std::to_string(c.iColumn) + ':' + std::to_string(static_cast<int>(*op)) + ';';
            conditions.emplace_back(c.iColumn, *op);
            share *= *op == ScanOp::Eq || *op == ScanOp::Is || *op == ScanOp::IsNull ? 0.1 : 0.5;
        }
        const double rows = vtab->table->format()->estimatedCount();
        info->estimatedCost = rows * (plan.empty() ? 1.0 : 0.9) + 1;
        info->estimatedRows = static_cast<sqlite3_int64>(rows * share) + 1;
        if (const int field = LookupField(*vtab->table->format(), conditions); field >= 0) {
            plan = '@' + std::to_string(field) + ';' + plan;
            info->estimatedCost = 20 + rows * share;
        }
        if (!plan.empty()) {
            info->idxStr = sqlite3_mprintf("%s", plan.c_str());
            info->needToFreeIdxStr = 1;
        }
    } catch (const std::exception& e) {
        return Fail(base, e.what());
    }
    return SQLITE_OK;
}

int Open(sqlite3_vtab* base, sqlite3_vtab_cursor** out)
{
    auto* vtab = static_cast<TableVTab*>(base);
    auto* cursor = new TableCursor();
    cursor->format = vtab->table->format();
    cursor->deletionMarks = cursor->format->hasDeletionMarks();
    cursor->values.resize(vtab->classes.size());
    cursor->valueRecord.assign(vtab->classes.size(), -1);
    *out = cursor;
    return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* cursor)
{
    delete static_cast<TableCursor*>(cursor);
    return SQLITE_OK;
}

// The value of a field of the current row, as SQLite is given it.
const Value& FieldValue(TableCursor& cursor, const TableVTab& vtab, int field)
{
    if (cursor.scan) return cursor.scan->value(field);
    const auto k = static_cast<size_t>(field);
    Value& v = cursor.values[k];
    if (cursor.valueRecord[k] != cursor.record) {
        cursor.valueRecord[k] = -1;
        v = cursor.format->value(cursor.record, field);
        if (v.kind == Value::Kind::Text && vtab.trimmed[k]) {
            size_t n = v.s.size();
            while (n > 0 && v.s[n - 1] == ' ') --n;
            v.s.resize(n);
        }
        cursor.valueRecord[k] = cursor.record;
    }
    return v;
}

// Moves to the next record that is not deleted and passes every condition.
void Advance(TableCursor& cursor, const TableVTab& vtab)
{
    auto passesAll = [&] {
        return std::all_of(cursor.terms.begin(), cursor.terms.end(),
                           [&](const ScanTerm& t) { return Passes(FieldValue(cursor, vtab, t.field), t); });
    };
    if (cursor.scan) {
        while (cursor.scan->next()) {
            ++cursor.row;
            if (passesAll()) return;
        }
        cursor.scanDone = true;
        return;
    }
    while (true) {
        if (!cursor.lookup) {
            if (++cursor.record >= cursor.physical) return;
        } else if (cursor.nextLookup < cursor.lookup->size()) {
            cursor.record = (*cursor.lookup)[cursor.nextLookup++];
        } else {
            cursor.record = cursor.physical;
            return;
        }
        if (cursor.deletionMarks && cursor.format->isDeleted(cursor.record)) continue;
        ++cursor.row;
        if (passesAll()) return;
    }
}

Value ValueOf(sqlite3_value* v)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return Value::integer(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return Value::real(sqlite3_value_double(v));
    case SQLITE_TEXT:
        return Value::text(std::string(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                                       static_cast<size_t>(sqlite3_value_bytes(v))));
    case SQLITE_BLOB: return Value::bytes(std::string(static_cast<const char*>(sqlite3_value_blob(v)),
                                                      static_cast<size_t>(sqlite3_value_bytes(v))));
    default: return Value::null();
    }
}

int Filter(sqlite3_vtab_cursor* base, int, const char* plan, int argc, sqlite3_value** argv)
{
    auto* cursor = static_cast<TableCursor*>(base);
    const auto& vtab = *static_cast<TableVTab*>(base->pVtab);
    try {
        cursor->terms.clear();
        cursor->lookup.reset();
        int next = 0, lookupField = -1;
        if (plan && *plan == '@') {
            char* end = nullptr;
            lookupField = static_cast<int>(std::strtol(plan + 1, &end, 10));
            plan = end + 1;
        }
        for (const char* p = plan; p && *p;) {
            char* end = nullptr;
            ScanTerm term;
            term.field = static_cast<int>(std::strtol(p, &end, 10));
            term.op = static_cast<ScanOp>(std::strtol(end + 1, &end, 10));
            p = end + 1;
            if (NeedsOperand(term.op)) {
                if (next >= argc) return Fail(base->pVtab, "the scan's conditions do not match its plan");
                term.operand = ValueOf(argv[next++]);
                // The plan was made for the constant's type: it must still have it.
                const int planned = sqlite3_value_type(argv[next - 1]);
                if (!ScanOpFor(SQLITE_INDEX_CONSTRAINT_EQ, vtab.classes[static_cast<size_t>(term.field)], planned,
                               "BINARY"))
                    return Fail(base->pVtab, "the scan's conditions do not match its plan");
            }
            cursor->terms.push_back(std::move(term));
        }
        cursor->scan.reset();
        cursor->scan = cursor->format->openScan(cursor->terms);
        cursor->scanDone = false;
        cursor->physical = cursor->scan ? 0 : cursor->format->physicalCount();
        cursor->record = -1;
        cursor->row = -1;
        if (lookupField >= 0) {
            cursor->lookup = LookupRecords(*cursor->format, lookupField, cursor->terms);
            cursor->nextLookup = 0;
            cursor->counted = cursor->liveBefore = 0;
        }
        cursor->valueRecord.assign(cursor->valueRecord.size(), -1);
        Advance(*cursor, vtab);
    } catch (const std::exception& e) {
        return Fail(base->pVtab, e.what());
    }
    return SQLITE_OK;
}

int Next(sqlite3_vtab_cursor* base)
{
    try {
        Advance(*static_cast<TableCursor*>(base), *static_cast<TableVTab*>(base->pVtab));
    } catch (const std::exception& e) {
        return Fail(base->pVtab, e.what());
    }
    return SQLITE_OK;
}

int Eof(sqlite3_vtab_cursor* base)
{
    auto* cursor = static_cast<TableCursor*>(base);
    if (cursor->scan) return cursor->scanDone;
    return cursor->record >= cursor->physical;
}

int Column(sqlite3_vtab_cursor* base, sqlite3_context* context, int field)
{
    auto* cursor = static_cast<TableCursor*>(base);
    try {
        const Value& v = FieldValue(*cursor, *static_cast<TableVTab*>(base->pVtab), field);
        switch (v.kind) {
        case Value::Kind::Null: sqlite3_result_null(context); break;
        case Value::Kind::Int: sqlite3_result_int64(context, v.i); break;
        case Value::Kind::Float: sqlite3_result_double(context, v.f); break;
        case Value::Kind::Text:
            // Handed over with its terminating NUL when it holds no other, so
            // that SQLite need not add one (and grow its copy) when it is read.
            if (std::strlen(v.s.c_str()) == v.s.size())
                sqlite3_result_text(context, v.s.c_str(), -1, SQLITE_TRANSIENT);
            else
                sqlite3_result_text64(context, v.s.data(), v.s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
            break;
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
    auto* cursor = static_cast<TableCursor*>(base);
    if (!cursor->lookup) {
        *rowid = cursor->row + 1;
        return SQLITE_OK;
    }
    // The row number a full scan gives the record: its live records before it.
    try {
        for (; cursor->counted < cursor->record; ++cursor->counted)
            if (!cursor->deletionMarks || !cursor->format->isDeleted(cursor->counted)) ++cursor->liveBefore;
    } catch (const std::exception& e) {
        return Fail(base->pVtab, e.what());
    }
    *rowid = cursor->liveBefore + 1;
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
