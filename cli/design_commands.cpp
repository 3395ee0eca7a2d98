// create and copy: making a table from field definitions, and moving rows
// between tables of any formats.
#include <functional>
#include <iostream>
#include <string>
#include <unistd.h>

#include "cli/commands.h"
#include "engine/batch_move.h"
#include "engine/error.h"
#include "engine/format_registry.h"
#include "engine/table.h"
#include "tables/core/restructure.h"

namespace tarnel::cli {

namespace {

// NAME:TYPE[:SIZE][:key], the type named as info prints it ("String",
// "Integer"...); "key" puts the field into the primary key.
bool ParseFieldArgument(const std::string& text, FieldDef& def, std::string& problem)
{
    std::vector<std::string> parts;
    for (size_t from = 0;;) {
        auto colon = text.find(':', from);
        parts.push_back(text.substr(from, colon == std::string::npos ? std::string::npos : colon - from));
        if (colon == std::string::npos) break;
        from = colon + 1;
    }
    def.key = parts.size() > 2 && SameText(parts.back(), "key");
    if (def.key) parts.pop_back();
    if (parts.size() < 2 || parts.size() > 3 || parts[0].empty()) {
        problem = "the field '" + text + "' is not NAME:TYPE[:SIZE][:key]";
        return false;
    }
    def.name = parts[0];
    const std::string& type = parts[1];
    bool known = false;
    for (int t = 1; t < kFieldTypeCount && !known; ++t)
        if (SameText(EngineTypeName(t).substr(2), type)) {
            def.type = static_cast<TFieldType>(t);
            known = true;
        }
    if (!known) {
        problem = "unknown field type '" + type + "' (for example String, Integer, Float, Date, Memo)";
        return false;
    }
    def.size = 0;
    if (parts.size() == 3) {
        const std::string& size = parts[2];
        try {
            size_t used = 0;
            long n = std::stol(size, &used);
            if (used != size.size() || n < 0 || n > 1000000000) throw std::invalid_argument(size);
            def.size = static_cast<std::int32_t>(n);
        } catch (const std::exception&) {
            problem = "the size '" + size + "' of field " + def.name + " is not a number";
            return false;
        }
    }
    return true;
}

// The options after DATABASE TABLE: --field NAME:TYPE[:SIZE][:key] (at least one)
// and, where `type` is given, --type. Returns 0, or 2 after telling the
// usage error.
int ParseDesignOptions(const Args& args, const char* usage, std::ostream& err, std::vector<FieldDef>& fields,
                       TableType* type)
{
    for (size_t k = 2; k < args.size(); ++k) {
        std::string problem;
        if (type && args[k] == "--type" && k + 1 < args.size()) {
            if (!ParseTableType(args[++k], *type)) {
                err << "tarnel-cli: unknown table type '" << args[k] << "'\n" << usage;
                return 2;
            }
        } else if (args[k] == "--field" && k + 1 < args.size()) {
            FieldDef def;
            if (!ParseFieldArgument(args[++k], def, problem)) {
                err << "tarnel-cli: " << problem << '\n' << usage;
                return 2;
            }
            fields.push_back(def);
        } else {
            err << "tarnel-cli: unexpected argument '" << args[k] << "'\n" << usage;
            return 2;
        }
    }
    if (fields.empty()) {
        err << "tarnel-cli: no --field given\n" << usage;
        return 2;
    }
    return 0;
}

// Progress of a long move on standard error, rewritten in place; only when
// it is a terminal (nothing otherwise). Finish with Done().
class TerminalProgress {
public:
    using CountText = std::function<std::string(std::int64_t done, std::int64_t total)>;
    explicit TerminalProgress(std::ostream& err) : err_(err), shown_(&err == &std::cerr && ::isatty(2)) {}
    // text: the count in words (default "700 of 1500 rows"); where the words
    // before the colon change (the next pass), the count starts a new line.
    BatchProgress callback(CountText text = {})
    {
        if (!shown_) return {};
        return [this, text](std::int64_t done, std::int64_t total) {
            // done < 0: the work tells no rows (a server busy with one statement).
            if (done < 0) {
                err_ << "\rworking " << "|/-\\"[turn_++ % 4] << std::flush;
                return true;
            }
            std::string line = text ? text(done, total) : std::to_string(done) + " of " + std::to_string(total) + " rows";
            const std::string head = text ? line.substr(0, line.find(':')) : std::string();
            if (!last_.empty() && head != last_) err_ << '\n';
            last_ = head;
            err_ << "\r" << line << std::flush;
            return true;
        };
    }
    ~TerminalProgress()
    {
        if (shown_) err_ << '\n';
    }

private:
    std::ostream& err_;
    bool shown_;
    std::string last_;   // the text before its colon, last shown
    unsigned turn_ = 0;
};

} // namespace

int CreateCommand(const Args& args, std::ostream& out, std::ostream& err)
{
    const char* usage = "usage: tarnel-cli create DATABASE TABLE --type default|paradox|dbase|foxpro|ascii "
                        "--field NAME:TYPE[:SIZE][:key] ...\n";
    if (args.size() < 2) {
        err << usage;
        return 2;
    }
    TableType type = TableType::Default;
    std::vector<FieldDef> fields;
    if (int status = ParseDesignOptions(args, usage, err, fields, &type)) return status;
    try {
        Table table;
        table.setDatabaseName(args[0]);
        table.setTableName(args[1]);
        table.setTableType(type);
        for (const auto& f : fields) table.addFieldDef(f.name, f.type, f.size, false, 0, f.key);
        table.createTable();
        out << "created " << args[1] << '\n';
        return 0;
    } catch (const std::exception& e) {
        return Failed(err, e);
    }
}

int CopyCommand(const Args& args, std::ostream& out, std::ostream& err)
{
    const char* usage = "usage: tarnel-cli copy SRC_DATABASE SRC_TABLE DEST_DATABASE DEST_TABLE "
                        "--mode append|update|appendupdate|delete|copy\n";
    BatchMode mode = BatchMode::Append;
    if (args.size() != 4 && !(args.size() == 6 && args[4] == "--mode")) {
        err << usage;
        return 2;
    }
    if (args.size() == 6 && !ParseBatchMode(args[5], mode)) {
        err << "tarnel-cli: unknown mode '" << args[5] << "'\n" << usage;
        return 2;
    }
    try {
        Table source;
        source.setDatabaseName(args[0]);
        source.setTableName(args[1]);
        source.setReadOnly(true);
        source.open();
        Table dest;
        dest.setDatabaseName(args[2]);
        dest.setTableName(args[3]);
        BatchMoveResult r;
        {
            TerminalProgress progress(err);
            r = BatchMove(dest, source, mode, progress.callback());
        }
        out << r.appended << " appended, " << r.updated << " updated, " << r.deleted << " deleted\n";
        for (const std::string& tag : r.droppedIndexes) out << "dropped index " << tag << ": its fields are gone\n";
        return 0;
    } catch (const std::exception& e) {
        return Failed(err, e);
    }
}

int RestructureCommand(const Args& args, std::ostream& out, std::ostream& err)
{
    const char* usage = "usage: tarnel-cli restructure DATABASE TABLE --field NAME:TYPE[:SIZE][:key] ...\n";
    if (args.size() < 2) {
        err << usage;
        return 2;
    }
    std::vector<FieldDef> fields;
    if (int status = ParseDesignOptions(args, usage, err, fields, nullptr)) return status;
    try {
        Table table;
        table.setDatabaseName(args[0]);
        table.setTableName(args[1]);
        table.open();
        tables::RestructureResult r;
        {
            TerminalProgress progress(err);
            r = tables::RestructureTable(table, fields, progress.callback(tables::RestructureProgressText));
        }
        out << "restructured " << args[1] << ": " << r.rows << " rows\n";
        for (const std::string& tag : r.droppedIndexes) out << "dropped index " << tag << ": its fields are gone\n";
        return 0;
    } catch (const std::exception& e) {
        return Failed(err, e);
    }
}

int Failed(std::ostream& err, const std::exception& e)
{
    err << "tarnel-cli: " << e.what() << '\n';
    return 1;
}

} // namespace tarnel::cli
