#pragma once
// The viewer command stream: the lines that describe one feature to the cave
// viewer, built by walking a query result.
//
//   #F,name              feature header (no value range)
//   #R,name,min,max      feature header of marked locations with a number field
//   #L,station,value     one marked location
//   #S,station,value     one line segment
//   #M,station           start of a continuous line
//   #D,station           next point of a continuous line
//
// Texts go out exactly as the engine gives them: no quoting, no escaping. A
// station or secondary text holding CR, LF or a zero byte cannot be carried:
// the writing stops with a TViewerLinkError naming the row and the field.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnel {
class DataSet;
}

namespace tarnel::query {

using TLineList = std::vector<std::string>;
// Takes the stream one line at a time, as it is made (no line end).
using TLineSink = std::function<void(std::string_view line)>;

// Display methods, in the order of the "Display Method" radio group.
enum TDisplayMethod : int {
    dmMarkedLocations = 0,
    dmLineSegments = 1,
    dmContinuousLine = 2,
};

// 1-based field numbers in the query result; -1 when a field is not given.
struct TExportFields {
    int station = -1;
    int secondary = -1;
    int number = -1;
};

// The field number of a remembered cave-field name: -1 when the name is empty
// or not among the available field names (compared ignoring letter case);
// otherwise the number of the result field of that name. Throws the engine's
// "Field 'X' not found" when the result has no such field.
int ResultFieldNumber(const std::string& name, const std::vector<std::string>& availableFields,
                      const DataSet& result);

struct TNumberRange {
    double smallest = 1e100;
    double largest = -1e100;
};

// Smallest and largest value of the number field over the whole result
// (NULL counts as 0). With no rows the range stays 1E100 .. -1E100.
TNumberRange NumberFieldRange(DataSet& result, int numberField);

// Each hands the lines of one display method to sink. The result's cursor
// ends past the last row.
void WriteMarkedLocations(DataSet& result, const std::string& featureName,
                          const TExportFields& fields, const TLineSink& sink);
void WriteLineSegments(DataSet& result, const std::string& featureName,
                       const TExportFields& fields, const TLineSink& sink);
void WriteContinuousLine(DataSet& result, const std::string& featureName,
                         const TExportFields& fields, const TLineSink& sink);

// Dispatches on the display method (an unknown method writes nothing).
void WriteFeature(DataSet& result, TDisplayMethod method, const std::string& featureName,
                  const TExportFields& fields, const TLineSink& sink);

// The stream in one walk of the result: every line after the first goes to
// body as it is made, and the first line, the feature header, is returned
// (for marked locations with a number field it carries the range of every
// row). Empty, with nothing written, for an unknown method.
std::string WriteFeatureBody(DataSet& result, TDisplayMethod method, const std::string& featureName,
                             const TExportFields& fields, const TLineSink& body);

// The same, appending the lines to a list.
void WriteMarkedLocations(DataSet& result, const std::string& featureName,
                          const TExportFields& fields, TLineList& lines);
void WriteLineSegments(DataSet& result, const std::string& featureName,
                       const TExportFields& fields, TLineList& lines);
void WriteContinuousLine(DataSet& result, const std::string& featureName,
                         const TExportFields& fields, TLineList& lines);
void WriteFeature(DataSet& result, TDisplayMethod method, const std::string& featureName,
                  const TExportFields& fields, TLineList& lines);

} // namespace tarnel::query
