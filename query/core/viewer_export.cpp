// The viewer command stream written from a query result.
#include "query/core/viewer_export.h"

#include <QString>
#include <string_view>

#include "engine/dataset.h"
#include "engine/number_format.h"
#include "query/core/viewer_link.h"

namespace tarnel::query {

namespace {

bool SameFieldName(const std::string& a, const std::string& b)
{
    if (SameText(a, b)) return true;
    // Names outside ASCII: compare by Unicode case folding.
    return QString::compare(QString::fromStdString(a), QString::fromStdString(b),
                            Qt::CaseInsensitive) == 0;
}

// One field's text of the station reference. A CR, LF or zero byte would end
// the line early in the stream and let the rest of the text pass for commands.
void AppendReferenceText(const DataSet& result, int field, std::string& line)
{
    const std::size_t start = line.size();
    result.appendText(field - 1, line);
    if (std::string_view(line).find_first_of(std::string_view("\r\n\0", 3), start) != std::string_view::npos)
        throw TViewerLinkError("Row " + std::to_string(result.row() + 1) + ", field "
                               + result.fields()[static_cast<std::size_t>(field - 1)].name
                               + ": the text holds a line break or a zero byte, which cannot be sent"
                                 " to the viewer. Nothing was sent.");
}

// The station text, followed directly by the secondary text when given.
void AppendStationReference(const DataSet& result, const TExportFields& fields, std::string& line)
{
    AppendReferenceText(result, fields.station, line);
    if (fields.secondary != -1) AppendReferenceText(result, fields.secondary, line);
}

// One line per row: prefix, station reference, ",", then the row's value.
// The line is built in one reused buffer.
template <typename AppendValue>
void WriteStationLines(DataSet& result, const char* prefix, const TExportFields& fields,
                       const TLineSink& sink, AppendValue appendValue)
{
    std::string line;
    result.first();
    while (!result.eof()) {
        line.assign(prefix);
        AppendStationReference(result, fields, line);
        line += ',';
        appendValue(line);
        sink(line);
        result.next();
    }
}

TLineSink ListSink(TLineList& lines)
{
    return [&lines](std::string_view line) { lines.emplace_back(line); };
}

} // namespace

int ResultFieldNumber(const std::string& name, const std::vector<std::string>& availableFields,
                      const DataSet& result)
{
    if (name.empty()) return -1;
    bool listed = false;
    for (const auto& item : availableFields) {
        if (SameFieldName(item, name)) {
            listed = true;
            break;
        }
    }
    if (!listed) return -1;
    return result.fieldByName(name).number;
}

TNumberRange NumberFieldRange(DataSet& result, int numberField)
{
    TNumberRange range;
    result.first();
    while (!result.eof()) {
        double v = result.asFloat(numberField - 1);
        if (v > range.largest) range.largest = v;
        if (v < range.smallest) range.smallest = v;
        result.next();
    }
    return range;
}

namespace {

std::string MarkedLocationsHeader(const std::string& featureName, const TExportFields& fields,
                                  const TNumberRange& range)
{
    if (fields.number == -1) return "#F," + featureName;
    std::string line = "#R," + featureName + ",";
    AppendGeneral(range.smallest, line);
    line += ',';
    AppendGeneral(range.largest, line);
    return line;
}

// The "#L" lines; the range of the values written is gathered on the way.
TNumberRange WriteMarkedLocationLines(DataSet& result, const TExportFields& fields, const TLineSink& sink)
{
    TNumberRange range;
    WriteStationLines(result, "#L,", fields, sink, [&](std::string& line) {
        if (fields.number == -1) {
            line += "0.0";
            return;
        }
        const double v = result.asFloat(fields.number - 1);
        if (v > range.largest) range.largest = v;
        if (v < range.smallest) range.smallest = v;
        AppendGeneral(v, line);
    });
    return range;
}

} // namespace

void WriteMarkedLocations(DataSet& result, const std::string& featureName,
                          const TExportFields& fields, const TLineSink& sink)
{
    TNumberRange range;
    if (fields.number != -1) range = NumberFieldRange(result, fields.number);
    sink(MarkedLocationsHeader(featureName, fields, range));
    WriteMarkedLocationLines(result, fields, sink);
}

std::string WriteFeatureBody(DataSet& result, TDisplayMethod method, const std::string& featureName,
                             const TExportFields& fields, const TLineSink& body)
{
    if (method != dmMarkedLocations) {
        std::string header;
        bool first = true;
        WriteFeature(result, method, featureName, fields, [&](std::string_view line) {
            if (first) header.assign(line);
            else body(line);
            first = false;
        });
        return header;
    }
    return MarkedLocationsHeader(featureName, fields, WriteMarkedLocationLines(result, fields, body));
}

void WriteLineSegments(DataSet& result, const std::string& featureName,
                       const TExportFields& fields, const TLineSink& sink)
{
    sink("#F," + featureName);
    WriteStationLines(result, "#S,", fields, sink, [&](std::string& line) {
        if (fields.number != -1) result.appendText(fields.number - 1, line);
        else line += "0.0";
    });
}

void WriteContinuousLine(DataSet& result, const std::string& featureName,
                         const TExportFields& fields, const TLineSink& sink)
{
    sink("#F," + featureName);
    result.first();
    // An empty result gives the header alone: a "#M," line needs a station.
    if (result.eof()) return;
    std::string line = "#M,";
    AppendStationReference(result, fields, line);
    sink(line);
    result.next();
    while (!result.eof()) {
        line.assign("#D,");
        AppendStationReference(result, fields, line);
        sink(line);
        result.next();
    }
}

void WriteFeature(DataSet& result, TDisplayMethod method, const std::string& featureName,
                  const TExportFields& fields, const TLineSink& sink)
{
    switch (method) {
    case dmMarkedLocations: WriteMarkedLocations(result, featureName, fields, sink); break;
    case dmLineSegments: WriteLineSegments(result, featureName, fields, sink); break;
    case dmContinuousLine: WriteContinuousLine(result, featureName, fields, sink); break;
    }
}

void WriteMarkedLocations(DataSet& result, const std::string& featureName,
                          const TExportFields& fields, TLineList& lines)
{
    WriteMarkedLocations(result, featureName, fields, ListSink(lines));
}

void WriteLineSegments(DataSet& result, const std::string& featureName,
                       const TExportFields& fields, TLineList& lines)
{
    WriteLineSegments(result, featureName, fields, ListSink(lines));
}

void WriteContinuousLine(DataSet& result, const std::string& featureName,
                         const TExportFields& fields, TLineList& lines)
{
    WriteContinuousLine(result, featureName, fields, ListSink(lines));
}

void WriteFeature(DataSet& result, TDisplayMethod method, const std::string& featureName,
                  const TExportFields& fields, TLineList& lines)
{
    WriteFeature(result, method, featureName, fields, ListSink(lines));
}

} // namespace tarnel::query
