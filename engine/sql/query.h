#pragma once
// Local SQL over the engine's tables. A SELECT statement in the local dialect
// (see dialect.h) runs in SQLite; each table it names in FROM is looked up in
// the database and read in place, through a virtual table over a Table
// opened read-only.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/dataset.h"
#include "engine/sql/typed_constant.h"

namespace tarnel {

// The data file of the table `name` in `folder`: the file itself when the name
// has a table extension and exists ("TEMP.DBF"), otherwise the first of
// name.dbf, name.db and name.txt that exists (letter case ignored). So when a
// folder holds historic.dbf and historic.db, "historic" is the dBASE table.
// Empty when there is none.
std::string FindTableFile(const std::string& folder, const std::string& name);

// The rows of one SELECT statement: read-only, fetched from SQLite as the
// cursor reaches them and kept, so moving back is cheap. Result fields carry
// the plain column names; a column taken straight from a table keeps that
// field's type, size and decimals, anything else is a String.
class QueryResult : public DataSet {
public:
    // Runs `sql` against the database (folder or alias; empty: the working
    // folder). The cursor is on the first row. Throws EngineError, with
    // SQLite's message and the statement, when it cannot run. `userDate`
    // reads quoted dates compared with date fields written the user's way.
    // Kept: every row fetched is kept. Streamed: only the current row is
    // held, and moving back runs the statement again (for one or two passes
    // over a large result).
    enum class Rows { Kept, Streamed };
    static std::unique_ptr<QueryResult> Run(const std::string& databaseName, const std::string& sql,
                                            const sql::UserDateReader& userDate = {}, Rows rows = Rows::Kept);
    static std::unique_ptr<QueryResult> Run(const std::string& databaseName, const std::string& sql, Rows rows)
    {
        return Run(databaseName, sql, {}, rows);
    }
    // The number of rows the statement gives, counted as they come and not
    // kept. Errors as for Run.
    static std::int64_t CountRows(const std::string& databaseName, const std::string& sql,
                                  const sql::UserDateReader& userDate = {});
    ~QueryResult() override;

    bool active() const override { return true; }
    const std::vector<FieldDef>& fields() const override;
    // Fetches the remaining rows first. A read that failed part way keeps
    // failing: the rows fetched before it are never passed off as the result.
    std::int64_t recordCount() const override;
    void moveTo(std::int64_t row) override;
    Value value(int field) const override;
    bool isNull(int field) const override;
    // Read the current value in place, without a copy of it.
    void appendText(int field, std::string& out) const override;
    double asFloat(int field) const override;
    Value valueAt(std::int64_t row, int field) const override;

    // Rows fetched so far, and whether that is all of them (never after a failure).
    std::int64_t fetchedCount() const;
    bool fetchedAll() const;

    struct Impl;

private:
    explicit QueryResult(std::unique_ptr<Impl> impl);
    const Value& currentValue(int field) const;
    std::unique_ptr<Impl> impl_;
};

// The query object of the main window: the SQL text is kept as lines, the
// database name and the text can be changed only while it is closed, and
// open() runs it. Attached views are told when it opens and closes.
class Query : public DataSet {
public:
    Query();
    ~Query() override;

    void setDatabaseName(const std::string& name);
    const std::string& databaseName() const { return databaseName_; }
    void clearSql();
    void addSql(const std::string& line);
    const std::vector<std::string>& sqlLines() const { return lines_; }
    std::string sqlText() const;   // the lines joined with line breaks
    // How dates written the user's way are read in the statement.
    void setUserDateReader(sql::UserDateReader reader) { userDate_ = std::move(reader); }

    void open();
    void close();
    bool active() const override { return result_ != nullptr; }

    const std::vector<FieldDef>& fields() const override;
    std::int64_t recordCount() const override;
    void moveTo(std::int64_t row) override;
    Value value(int field) const override;
    bool isNull(int field) const override;
    Value valueAt(std::int64_t row, int field) const override;

private:
    void requireClosed(const char* what) const;

    std::string databaseName_;
    std::vector<std::string> lines_;
    sql::UserDateReader userDate_;
    std::unique_ptr<QueryResult> result_;
};

} // namespace tarnel
