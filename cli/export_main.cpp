// tarnel-cli-export: the export command of tarnel-cli, which runs it here
// with the same arguments ("export DATABASE TABLE ...").
#include <iostream>
#include <string>
#include <vector>

#include "cli/encoding_option.h"
#include "cli/export_command.h"

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "export") args.erase(args.begin());
    if (!tarnel::cli::TakeEncoding("export", args, std::cerr)) return 2;
    return tarnel::cli::ExportCommand(args, std::cout, std::cerr);
}
