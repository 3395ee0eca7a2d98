#include "cli/query_command.h"

#include <exception>

#include "cli/csv.h"
#include "engine/sql/query.h"

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
        auto result = tarnel::QueryResult::Run(words[0], words[1]);
        if (countOnly) {
            out << result->recordCount() << '\n';
            return 0;
        }
        const int columns = result->fieldCount();
        std::vector<std::string> record;
        for (const auto& field : result->fields()) record.push_back(field.name);
        tarnel::cli::WriteCsvRecord(out, record);
        for (result->first(); !result->eof(); result->next()) {
            record.clear();
            for (int k = 0; k < columns; ++k) record.push_back(result->asText(k));
            tarnel::cli::WriteCsvRecord(out, record);
        }
        out.flush();
        return 0;
    } catch (const std::exception& e) {
        err << "tarnel-cli query: " << e.what() << '\n';
        return 1;
    }
}
