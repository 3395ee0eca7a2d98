#pragma once
// The commands of tarnel-cli. Each returns the exit status: 0 done, 1 failed
// (message on err), 2 wrong usage.
#include <exception>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace tarnel::cli {

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    std::function<int(const Args&, std::ostream&, std::ostream&)> run;
};

const std::vector<Command>& Commands();

// A command's failure: "tarnel-cli: <message>" on err, and the status 1.
int Failed(std::ostream& err, const std::exception& e);

int InfoCommand(const Args& args, std::ostream& out, std::ostream& err);
int DumpCommand(const Args& args, std::ostream& out, std::ostream& err);
int CreateCommand(const Args& args, std::ostream& out, std::ostream& err);
int CopyCommand(const Args& args, std::ostream& out, std::ostream& err);
int RestructureCommand(const Args& args, std::ostream& out, std::ostream& err);

} // namespace tarnel::cli
