#pragma once
// tarnel-cli export: runs the select "Do Query" would run for a table and its
// cave fields, then builds the viewer command stream as "Send To Viewer"
// does, and prints it or sends it to the viewer.
//
//   tarnel-cli export DATABASE TABLE --feature NAME --method marked|segments|line
//       --station FIELD [--secondary FIELD] [--number FIELD] [--where CONDITION] [--send]
//
// args are the words after "export". Exit status: 0 done, 1 failed (message
// on err), 2 wrong usage.
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace tarnel {
class DataSet;
}
namespace tarnel::query {
class TViewerLink;
}

namespace tarnel::cli {

struct TSelectFields {
    std::string tableName;   // as given: "historic.dbf" or "historic"
    std::string stationField;
    std::string secondField;
    std::string numberField;
    std::string condition;
};

// What the command needs from the rest of the program.
struct TExportServices {
    // The select statement of "Do Query" for the table and its cave fields.
    std::function<std::string(const TSelectFields&)> buildSelect;
    // Runs a select in a database (folder or alias); throws on failure.
    std::function<std::unique_ptr<DataSet>(const std::string& database, const std::string& sql)> runSelect;
    // The link used by --send; the D-Bus link when not set.
    std::function<std::unique_ptr<query::TViewerLink>()> makeLink;
};

// The services the three-argument ExportCommand uses; main() fills them in.
TExportServices& ExportServices();

int ExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int ExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const TExportServices& services);

} // namespace tarnel::cli
