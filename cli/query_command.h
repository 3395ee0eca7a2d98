#pragma once
// tarnel-cli query [--count] DATABASE SQL
//   Runs one local-SQL SELECT against the tables of DATABASE (a folder or an
//   alias) and writes the result as CSV with a header row, values as the
//   engine writes them; with --count only the number of rows.
#include <ostream>
#include <string>
#include <vector>

namespace tarnel::cli {

// args: the words after "query". Returns the exit status: 0 done, 1 the
// query failed (the message goes to err), 2 the words were wrong.
int QueryCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace tarnel::cli
