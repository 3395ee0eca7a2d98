// The table rebuild behind "Commit Changes" and tarnel-cli restructure.
#include "tables/core/restructure.h"

#include <cstdlib>
#include <memory>

#include "engine/error.h"
#include "engine/fileio/file.h"
#include "engine/format_registry.h"
#include "engine/paradox/px_table.h"
#include "engine/pg/pg_alter.h"
#include "engine/pg/pg_database.h"
#include "engine/saved_indexes.h"
#include "engine/sql/query.h"
#include "tables/core/carried_columns.h"
#include "tables/core/saved_copy.h"

namespace tarnel::tables {

namespace {

const FieldDef* FindFieldDef(const std::vector<FieldDef>& fields, const std::string& name)
{
    for (const auto& f : fields)
        if (SameText(f.name, name)) return &f;
    return nullptr;
}

// Removes the private folder; a removal that fails once is tried again, as a
// passing fault should not leave the copy lying about.
void RemoveTempFolder(const std::string& folder)
{
    if (!RemoveFolderAndFiles(folder)) RemoveFolderAndFiles(folder);
}

struct Cancelled {};

// Counts the rows of the two moves as one piece of work. The refill is told
// the copy's row count: a streamed query result need not know its own.
BatchProgress Phase(const BatchProgress& progress, int phase, std::int64_t rows = -1)
{
    if (!progress) return {};
    return [progress, phase, rows](std::int64_t done, std::int64_t total) {
        const std::int64_t all = rows >= 0 ? rows : total;
        return progress(phase * all + done, 2 * all);
    };
}

} // namespace

std::string RestructureSelect(const std::vector<FieldDef>& newFields, const std::vector<FieldDef>& oldFields)
{
    std::string list;
    for (const auto& f : newFields) {
        if (!list.empty()) list += ',';
        if (const FieldDef* old = FindFieldDef(oldFields, f.name))
            list += "\"" + std::string(kRestructureTempName) + "\".\"" + old->name + "\"";
        else
            list += "\"\"";
    }
    return "Select " + list + " From \"" + kRestructureTempName + "\"";
}

std::string RestructureProgressText(std::int64_t done, std::int64_t total)
{
    const std::int64_t rows = total / 2;
    const bool carrying = done > rows;
    const std::int64_t passDone = carrying ? done - rows : done;
    return std::string(carrying ? "Carrying rows: " : "Saving rows: ") + std::to_string(passDone) + " of " +
           std::to_string(rows);
}

std::string TemporaryFilesFolder()
{
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
}

namespace {

// The new fields with the table's primary key kept: where the caller marks
// no key field and the old key fields stay first under their names (as the
// design list, which knows no keys, gives them), they stay the key.
std::vector<FieldDef> KeepPrimaryKey(const Table& table, std::vector<FieldDef> fields)
{
    const std::vector<int> key = table.primaryKey();
    if (key.empty() || key.size() > fields.size()) return fields;
    for (const auto& f : fields)
        if (f.key) return fields;
    for (size_t k = 0; k < key.size(); ++k)
        if (key[k] != static_cast<int>(k) || !SameText(fields[k].name, table.field(key[k]).name)) return fields;
    for (size_t k = 0; k < key.size(); ++k) fields[k].key = true;
    return fields;
}

void CloseQuietly(Table& t)
{
    try {
        if (t.active()) t.close();
    } catch (...) {
        // Read only: closing lets go of the file, nothing is lost.
    }
}

void OpenForReading(Table& copy)
{
    if (copy.active()) return;
    copy.setReadOnly(true);
    copy.open();
}

// Saves the open table's rows into `copy` (closed, named, typed), before
// the table is touched; rows: the rows saved. A table of our own file
// formats is saved by copying its files (the copy is left open for
// reading); another is moved row by row. False when cancelled.
bool SaveRows(Table& table, Table& copy, const BatchProgress& progress, std::int64_t& rows)
{
    if (!SavesByFileCopy(table)) {
        BatchMoveResult out = BatchMove(copy, table, BatchMode::Copy, Phase(progress, 0));
        rows = out.rows;
        return !out.cancelled;
    }
    if (!SaveTableFiles(table, copy.databaseName(), copy.tableName(), table.recordCount(), Phase(progress, 0)))
        return false;
    copy.setCodePage(table.codePage());   // a file that names none is read as the table was
    OpenForReading(copy);
    rows = copy.recordCount();
    CheckMemosReadable(copy);
    return true;
}

// The code page the open table's texts are stored in (a Paradox table's
// header names its own).
int StoredCodePage(const Table& table)
{
    if (const auto* px = dynamic_cast<const paradox::ParadoxTable*>(table.format())) return px->codePage();
    return table.codePage();
}

// The old table made anew from the copy: its definitions and code page, the
// indexes it had (saved before the table was touched), then all its rows,
// which fill them. droppedIndexes: the old indexes that did not come back.
BatchMoveResult PutBack(Table& table, Table& copy, int codePage, const SavedTableIndexes& indexes)
{
    table.clearFieldDefs();
    for (const auto& f : copy.fields()) table.addFieldDef(f.name, f.type, f.size, f.required, f.decimals, f.key);
    std::vector<std::string> lost = RecreateTable(table, codePage, indexes);
    BatchMoveResult back = BatchMove(table, copy, BatchMode::Append);
    back.droppedIndexes = std::move(lost);
    return back;
}

// What the user is told of the table put back: as it was, unless an index
// of the old table did not come back.
std::string PutBackNote(const std::vector<std::string>& lost)
{
    if (lost.empty()) return "The table was put back as it was.";
    std::string list;
    for (const std::string& index : lost) list += (list.empty() ? "" : "; ") + index;
    return "The table was put back with all its rows, but these indexes could not be brought back: " + list + ".";
}

} // namespace

RestructureResult RestructureTable(Table& table, const std::vector<FieldDef>& requestedFields,
                                   const BatchProgress& progress, const std::string& tempParent)
{
    if (requestedFields.empty()) throw EngineError("A table needs at least one field.");
    if (pg::IsServerDatabase(table.databaseName())) {
        // A server changes the table in one transaction, all or nothing. The
        // table is open again afterwards whatever happened: as it was after a
        // failure or a cancel, with its new layout after a change.
        table.close();
        pg::ServerRestructureResult r;
        try {
            auto server = pg::ConnectDatabase(table.databaseName());
            r = pg::RestructureServerTable(*server, pg::ServerTableNameFor(*server, table.tableName()),
                                           requestedFields, progress);
        } catch (const std::exception& e) {
            table.setReadOnly(false);
            try {
                table.open();
            } catch (const std::exception&) {
                throw RestructureError(e.what(), false, {});   // the server is gone: nothing to show
            }
            throw RestructureError(e.what(), true, {});
        }
        table.setReadOnly(false);
        table.open();
        return {r.cancelled, r.rows, std::move(r.droppedIndexes)};
    }
    if (!table.active()) table.open();
    // Index files the table cannot keep would be lost with the old files.
    if (const std::string blocked = table.writeBlocked(); !blocked.empty())
        throw EngineError("Cannot restructure the table: " + blocked);
    const std::vector<FieldDef> newFields = KeepPrimaryKey(table, requestedFields);
    const TableType type = table.formatType();
    const int codePage = StoredCodePage(table);   // kept: texts and names are written as they were
    const std::string folder =
        MakePrivateFolder(tempParent.empty() ? TemporaryFilesFolder() : tempParent, "tarnel-restructure-");

    // Copy out. The table is not touched yet: a failure here only needs the
    // folder removed.
    Table copy;
    copy.setDatabaseName(folder);
    copy.setTableName(kRestructureTempName);
    copy.setTableType(type);
    std::int64_t rows = 0;
    SavedTableIndexes indexes;   // the old table's, for the new table and for putting the old one back
    try {
        if (!SaveRows(table, copy, progress, rows)) {
            RemoveTempFolder(folder);
            return {true, 0, {}};
        }
        indexes = SaveIndexesBeside(table.resolvePath());
        // The table was found writable, so its indexes were readable: one
        // that is not now must not be dropped on the way.
        if (const std::string unread = UnreadIndex(indexes); !unread.empty())
            throw EngineError("Cannot restructure the table: " + unread);
    } catch (...) {
        CloseQuietly(copy);
        RemoveTempFolder(folder);
        throw;
    }

    std::string failure;
    bool cancelled = false;
    try {
        table.close();
        // Made anew in its own format, which its name alone may not tell
        // (a FoxPro table is a .dbf as a dBASE one is).
        table.setTableType(type);
        table.clearFieldDefs();
        for (const auto& f : newFields) table.addFieldDef(f.name, f.type, f.size, false, f.decimals, f.key);
        std::vector<std::string> dropped = RecreateTable(table, codePage, indexes);
        table.setReadOnly(false);
        table.open();
        // The refill select's rows, read from the copy directly.
        BatchMoveResult in;
        {
            OpenForReading(copy);
            struct Closing {
                Table& t;
                ~Closing() { CloseQuietly(t); }
            } closing {copy};
            CarriedColumns carried(copy, newFields);
            in = BatchMove(table, carried, BatchMode::Append, Phase(progress, 1, rows), rows);
        }
        if (in.cancelled) throw Cancelled{};
        table.close();
        table.open();
        if (table.recordCount() != rows)
            throw EngineError("The rebuilt table holds " + std::to_string(table.recordCount()) + " rows instead of " +
                              std::to_string(rows) + ".");
        RemoveTempFolder(folder);
        return {false, rows, std::move(dropped)};
    } catch (const Cancelled&) {
        cancelled = true;
    } catch (const std::exception& e) {
        failure = e.what();
    }

    // Put the old table back from the copy, with the old definitions, indexes
    // and rows.
    const std::string reason = cancelled ? std::string("The restructure was cancelled.") : failure;
    std::vector<std::string> lost;
    try {
        if (table.active()) table.close();
        OpenForReading(copy);
        BatchMoveResult back = PutBack(table, copy, codePage, indexes);
        lost = std::move(back.droppedIndexes);
        copy.close();
        table.setReadOnly(false);
        table.open();
        if (back.cancelled || table.recordCount() != rows)
            throw EngineError("the table holds " + std::to_string(table.recordCount()) + " of its " +
                              std::to_string(rows) + " rows");
    } catch (const std::exception& e) {
        if (copy.active()) copy.close();
        const std::string kept = folder + "/" + kRestructureTempName;
        throw RestructureError(reason + "\nThe old table could not be put back (" + e.what() +
                                   "). All its rows are kept in " + kept + ".",
                               false, folder);
    }
    RemoveTempFolder(folder);
    if (cancelled && lost.empty()) return {true, rows, {}};
    throw RestructureError(reason + "\n" + PutBackNote(lost), true, {});
}

} // namespace tarnel::tables
