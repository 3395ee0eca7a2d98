#include "cli/query_command.h"

#include <exception>

#include "cli/csv.h"
#include "engine/sql/query.h"

namespace tarnel::cli {

namespace {
constexpr const char* kUsage = "usage: tarnel-cli query [--count] DATABASE SQL\n";
}

int QueryCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    bool countOnly = false;
    std::vector<std::string> words;
    for (const std::string& arg : args) {
        if (arg == "--count") countOnly = true;
        else if (arg == "--help" || arg == "-h") { out << kUsage; return 0; }
        else words.push_back(arg);
    }
    if (words.size() != 2) {
        err << kUsage;
        return 2;
    }

    try {
        if (countOnly) {
            out << tarnel::QueryResult::CountRows(words[0], words[1]) << '\n';
            return 0;
        }
        auto result = tarnel::QueryResult::Run(words[0], words[1]);
        tarnel::WriteCsv(out, *result);
        out.flush();
        return 0;
    } catch (const std::exception& e) {
        err << "tarnel-cli query: " << e.what() << '\n';
        return 1;
    }
}

} // namespace tarnel::cli
