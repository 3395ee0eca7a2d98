#pragma once
// --encoding NAME of the commands that read tables: the code page of tables
// that name none.
#include <ostream>
#include <string>
#include <vector>

namespace tarnel::cli {

// Takes --encoding NAME out of the arguments of info, dump, query and export
// and makes it the default code page. Returns false (after a message on err)
// when it is given wrongly.
bool TakeEncoding(const std::string& command, std::vector<std::string>& args, std::ostream& err);

} // namespace tarnel::cli
