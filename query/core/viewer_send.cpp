// One "Send To Viewer": checks, the stream, one poke, and the clean-up.
#include "query/core/viewer_send.h"

#include "engine/dataset.h"
#include "engine/error.h"
#include "query/core/locale_separators.h"

namespace tarnel::query {

std::string ViewerConnectionMessage()
{
    return "Unable to connect to Viewer.\r\n"
           "The Viewer must be running.\r\n"
           "If you are using the 16-bit version,\r\n"
           "set the \"Use 16-Bit Viewer\" checkbox.";
}

namespace {

// The send with the writing of the lines left to `write`.
bool Send(const TViewerSendRequest& request, TViewerLink& link, const TErrorBox& errorBox,
          const std::function<void(DataSet&, const TExportFields&)>& write)
{
    if (!request.result) throw EngineError("Cannot perform this operation on a closed dataset");
    DataSet& result = *request.result;

    const std::string service = kViewerService;
    TExportFields fields;
    fields.station = ResultFieldNumber(request.stationFieldName, request.availableFields, result);
    fields.secondary = ResultFieldNumber(request.secondFieldName, request.availableFields, result);
    fields.number = ResultFieldNumber(request.numberFieldName, request.availableFields, result);

    if (request.featureName.empty()) {
        errorBox(kFeatureNameMissing);
        return false;
    }
    if (fields.station == -1) {
        errorBox(kStationFieldMissing);
        return false;
    }
    if (!link.openLink(service, kViewerTopic)) {
        errorBox(ViewerConnectionMessage());
        return false;
    }

    SetLocaleSeparators(false);
    bool viewsDisabled = false;
    auto cleanUp = [&] {
        link.closeLink();
        if (viewsDisabled) result.enableViews();
        if (request.userLocale) SetLocaleSeparators(true, *request.userLocale);
        else SetLocaleSeparators(true);
    };
    try {
        result.disableViews();
        viewsDisabled = true;
        write(result, fields);
    } catch (...) {
        cleanUp();
        throw;
    }
    cleanUp();
    return true;
}

} // namespace

bool UseResultSend(const TViewerSendRequest& request, TViewerLink& link, const TErrorBox& errorBox)
{
    return Send(request, link, errorBox, [&](DataSet& result, const TExportFields& fields) {
        // One pass over the rows: the header, which may carry the range of
        // the values, is known only at the end.
        TLineList lines(1);
        lines[0] = WriteFeatureBody(result, static_cast<TDisplayMethod>(request.displayMethod), request.featureName,
                                    fields, [&](std::string_view line) { lines.emplace_back(line); });
        link.poke(kViewerItem, lines);   // what the viewer makes of it is its business
    });
}

bool UseResultStream(const TViewerSendRequest& request, TViewerLink& link, const TLineSink& body,
                     std::string& header, const TErrorBox& errorBox)
{
    return Send(request, link, errorBox, [&](DataSet& result, const TExportFields& fields) {
        header = WriteFeatureBody(result, static_cast<TDisplayMethod>(request.displayMethod), request.featureName,
                                  fields, body);
    });
}

} // namespace tarnel::query
