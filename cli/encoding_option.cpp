#include "cli/encoding_option.h"

#include "engine/codepage.h"
#include "engine/table.h"

namespace tarnel::cli {

bool TakeEncoding(const std::string& command, std::vector<std::string>& args, std::ostream& err)
{
    if (command != "info" && command != "dump" && command != "query" && command != "export") return true;
    for (size_t k = 0; k < args.size(); ++k) {
        if (args[k] != "--encoding") continue;
        if (k + 1 >= args.size()) {
            err << "tarnel-cli " << command << ": --encoding needs a code page name\n";
            return false;
        }
        int codePage = tarnel::CodePageByName(args[k + 1]);
        if (codePage == 0) {
            err << "tarnel-cli " << command << ": unknown code page '" << args[k + 1] << "'; known are:";
            for (const auto& [number, name] : tarnel::ChoosableCodePages())
                err << (number == 620 ? " mazovia" : number == 895 ? " kamenicky"
                        : number == 65001 ? " utf-8" : " " + std::to_string(number));
            err << '\n';
            return false;
        }
        tarnel::Table::setDefaultCodePage(codePage);
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(k), args.begin() + static_cast<std::ptrdiff_t>(k) + 2);
        --k;
    }
    return true;
}

} // namespace tarnel::cli
