#include "cli/alias_command.h"

#include "cli/commands.h"
#include "engine/aliases.h"
#include "engine/error.h"

namespace tarnel {

namespace {

int Usage(std::ostream& err)
{
    err << "usage: tarnel-cli alias list\n"
           "       tarnel-cli alias add NAME FOLDER|postgresql://...\n"
           "       tarnel-cli alias remove NAME\n";
    return 2;
}

} // namespace

int AliasCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    if (args.empty()) return Usage(err);
    const std::string& verb = args[0];
    try {
        if (verb == "list" && args.size() == 1) {
            for (const std::string& name : AliasNames()) {
                std::string folder;
                LookupAlias(name, folder);
                out << name << '\t' << folder << '\n';
            }
            return 0;
        }
        if (verb == "add" && args.size() == 3) {
            AddAlias(args[1], args[2]);
            return 0;
        }
        if (verb == "remove" && args.size() == 2) {
            RemoveAlias(args[1]);
            return 0;
        }
    } catch (const EngineError& e) {
        return cli::Failed(err, e);
    }
    return Usage(err);
}

} // namespace tarnel
