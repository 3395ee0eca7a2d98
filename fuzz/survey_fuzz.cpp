// The survey reader on arbitrary bytes, then the station index built on what
// it read and a few lookups in it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "viewer/station_index.h"
#include "viewer/survey_3d.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    try {
        TCave cave(ParseSurvey3d(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.3d"));
        for (const TSurveyStation& s : cave.survey.stations) {
            TStationMatch m = cave.index.match(s.name);
            if (m.status == TStationMatch::Found) cave.index.legsAt(cave.survey.stations[m.station].at);
            size_t dot = s.name.rfind('.');
            if (dot != std::string::npos) cave.index.match(std::string_view(s.name).substr(dot + 1));
        }
    } catch (const TSurveyError&) {
    }
    return 0;
}
