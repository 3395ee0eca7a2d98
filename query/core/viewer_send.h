#pragma once
// "Send To Viewer": turns the open query result into the viewer command
// stream and hands it to the viewer in one poke.
#include <QLocale>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "query/core/viewer_export.h"
#include "query/core/viewer_link.h"

namespace tarnel {
class DataSet;
}

namespace tarnel::query {

inline constexpr const char* kFeatureNameMissing = "Feature Name not specified";
inline constexpr const char* kStationFieldMissing = "Station Field not specified";
// The four lines shown when the viewer cannot be reached.
std::string ViewerConnectionMessage();

struct TViewerSendRequest {
    DataSet* result = nullptr;                 // the query result
    std::vector<std::string> availableFields;  // names in the "Available Fields" list
    // The cave fields as remembered by the last "Do Query".
    std::string stationFieldName;
    std::string secondFieldName;
    std::string numberFieldName;
    std::string featureName;                   // sent as typed, not trimmed
    int displayMethod = dmMarkedLocations;     // index of the "Display Method" group
    // The locale whose separators come back after the send; the user's when empty.
    std::optional<QLocale> userLocale;
};

// Shows one of the send's messages in an error box.
using TErrorBox = std::function<void(const std::string& message)>;

// One send, in this order: field numbers (the engine's "Field 'X' not found"
// is thrown from here), feature name and station checks, open link, "." as
// the decimal separator, views of the result suspended, lines written, one
// poke. The link is closed, the views resumed and the separators restored
// whether or not writing fails; errors then go on to the caller. The caller
// shows the hourglass for the whole send. Returns true when the stream was poked, false after a message.
bool UseResultSend(const TViewerSendRequest& request, TViewerLink& link, const TErrorBox& errorBox);

// The same send in one walk of the result, for writing the stream to a file
// or a pipe without holding all of it: every line after the first goes to
// body as it is made, and the first line, the feature header, is stored in
// header once the walk is done (see WriteFeatureBody). The link is opened and
// closed as above.
bool UseResultStream(const TViewerSendRequest& request, TViewerLink& link, const TLineSink& body,
                     std::string& header, const TErrorBox& errorBox);

} // namespace tarnel::query
