// info and dump: one table, named by its path or by a database and a table name.
#include <cstdlib>
#include <memory>

#include "cli/alias_command.h"
#include "cli/commands.h"
#include "cli/csv.h"
#include "cli/query_command.h"
#include "engine/error.h"
#include "engine/table.h"

namespace tarnel::cli {

namespace {

// PATH, or DATABASE TABLE. Returns null (after a usage message) when the
// arguments do not fit.
std::unique_ptr<Table> OpenNamedTable(const Args& args, const char* command, std::ostream& err)
{
    if (args.empty() || args.size() > 2) {
        err << "usage: tarnel-cli " << command << " PATH | DATABASE TABLE\n";
        return nullptr;
    }
    auto table = std::make_unique<Table>();
    if (args.size() == 2) {
        table->setDatabaseName(args[0]);
        table->setTableName(args[1]);
    } else {
        const std::string& path = args[0];
        auto slash = path.find_last_of('/');
        table->setDatabaseName(slash == std::string::npos ? std::string() : (slash == 0 ? "/" : path.substr(0, slash)));
        table->setTableName(slash == std::string::npos ? path : path.substr(slash + 1));
    }
    table->setReadOnly(true);
    table->open();
    return table;
}

int Guarded(const Args& args, const char* command, std::ostream& err,
            const std::function<void(Table&)>& body)
{
    try {
        auto table = OpenNamedTable(args, command, err);
        if (!table) return 2;
        body(*table);
        return 0;
    } catch (const std::exception& e) {
        return Failed(err, e);
    }
}

} // namespace

int InfoCommand(const Args& args, std::ostream& out, std::ostream& err)
{
    return Guarded(args, "info", err, [&](Table& table) {
        out << "rows\t" << table.recordCount() << '\n';
        for (const auto& f : table.fields())
            out << f.number << '\t' << f.name << '\t' << EngineTypeName(f.type).substr(2) << '\t' << f.size << '\n';
        // Index files we cannot keep up to date make the table read-only: say which.
        if (std::string why = table.format()->writeBlocked(); !why.empty()) out << "read-only\t" << why << '\n';
        // The index tags come last: a damaged index file still lets the table be listed.
        for (const IndexTag& t : table.format()->indexTags()) {
            std::string flags;
            for (auto [on, word] : {std::pair{t.unique, "unique"}, {t.candidate, "candidate"}, {t.descending, "descending"},
                                      {t.caseInsensitive, "case-insensitive"}})
                if (on) flags += flags.empty() ? word : std::string(",") + word;
            out << "index\t" << t.file << '\t' << t.name << '\t' << t.expression << '\t'
                << (t.filter.empty() ? "-" : t.filter) << '\t' << (flags.empty() ? "-" : flags) << '\n';
        }
    });
}

int DumpCommand(const Args& given, std::ostream& out, std::ostream& err)
{
    // --limit N: only the first N rows (a look at a big table).
    Args args = given;
    std::int64_t limit = -1;
    for (size_t k = 0; k < args.size(); ++k) {
        if (args[k] != "--limit") continue;
        char* end = nullptr;
        limit = k + 1 < args.size() ? std::strtoll(args[k + 1].c_str(), &end, 10) : -1;
        if (limit < 0 || !end || *end) {
            err << "tarnel-cli dump: --limit needs a number of rows\n";
            return 2;
        }
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(k), args.begin() + static_cast<std::ptrdiff_t>(k) + 2);
        --k;
    }
    return Guarded(args, "dump", err, [&](Table& table) { WriteCsv(out, table, limit); });
}

const std::vector<Command>& Commands()
{
    static const std::vector<Command> commands = {
        {"info", InfoCommand},
        {"dump", DumpCommand},
        {"create", CreateCommand},
        {"copy", CopyCommand},
        {"restructure", RestructureCommand},
        {"alias", tarnel::AliasCommand},
        {"query", QueryCommand},
    };
    return commands;
}

} // namespace tarnel::cli
