// tarnel-cli: the engine without windows, for scripts and for checking the
// engine against other tools.
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/encoding_option.h"
#include "cli/export_program.h"

namespace {

const char* kUsage =
    "usage: tarnel-cli COMMAND ...\n"
    "  info PATH | DATABASE TABLE      row count and fields\n"
    "  dump PATH | DATABASE TABLE [--limit N]\n"
    "                                  the rows as CSV (the first N)\n"
    "  create DATABASE TABLE --type default|paradox|dbase|foxpro|ascii --field NAME:TYPE[:SIZE][:key] ...\n"
    "                                  a new table (replacing one of that name)\n"
    "  copy SRC_DATABASE SRC_TABLE DEST_DATABASE DEST_TABLE\n"
    "         --mode append|update|appendupdate|delete|copy\n"
    "                                  rows moved from one table into another\n"
    "  restructure DATABASE TABLE --field NAME:TYPE[:SIZE][:key] ...\n"
    "                                  the table rebuilt with these fields, rows kept by name\n"
    "  alias list                      the database aliases\n"
    "  alias add NAME FOLDER|URI       names a folder of tables, or a server database\n"
    "                                  (postgresql://HOST/DB, postgresql:///DB?host=SOCKET)\n"
    "  alias remove NAME\n"
    "  query [--count] DATABASE SQL    a local-SQL SELECT, the result as CSV\n"
    "  export DATABASE TABLE --feature NAME --method marked|segments|line --station FIELD\n"
    "         [--secondary FIELD] [--number FIELD] [--where CONDITION] [--send]\n"
    "                                  the viewer command stream of a query\n"
    "  info, dump, query and export take --encoding NAME: the code page of\n"
    "  tables that name none (437, 850, 1250, mazovia, kamenicky, utf-8...)\n";

} // namespace

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        (args.empty() ? std::cerr : std::cout) << kUsage;
        return args.empty() ? 2 : 0;
    }
    std::string command = args[0];
    args.erase(args.begin());
    if (!tarnel::cli::TakeEncoding(command, args, std::cerr)) return 2;
    if (command == "export") return tarnel::cli::RunExportProgram(argv, std::cerr);
    for (const auto& c : tarnel::cli::Commands())
        if (command == c.name) return c.run(args, std::cout, std::cerr);
    std::cerr << "tarnel-cli: unknown command '" << command << "'\n" << kUsage;
    return 2;
}
