#pragma once
// A processed cave survey as the survey-data tool writes it in its binary
// ".3d" form (format version 8): the legs of the centreline and the named
// stations, coordinates in centimetres east, north and up.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct TSurveyPoint {
    std::int32_t x = 0, y = 0, z = 0;   // centimetres
    bool operator==(const TSurveyPoint&) const = default;
};

// Leg flags, as stored in the file.
enum TLegFlag : unsigned { lfSurface = 0x01, lfDuplicate = 0x02, lfSplay = 0x04 };

// Station flags, as stored in the file.
enum TStationFlag : unsigned {
    sfSurface = 0x01, sfUnderground = 0x02, sfEntrance = 0x04, sfExported = 0x08,
    sfFixed = 0x10, sfAnonymous = 0x20, sfWall = 0x40
};

// How the legs were measured.
enum TLegStyle : std::uint8_t { lsNormal, lsDiving, lsCartesian, lsCylPolar, lsNoSurvey };

struct TSurveyLeg {
    TSurveyPoint from, to;
    int survey = 0;            // index into TSurvey::surveys
    unsigned flags = 0;        // TLegFlag
    TLegStyle style = lsNormal;
};

struct TSurveyStation {
    std::string name;          // full dotted name
    TSurveyPoint at;
    unsigned flags = 0;        // TStationFlag
};

struct TSurvey {
    std::string title;
    std::string coordinateSystem;
    std::string timestamp;     // "@" and seconds since 1970, as written
    bool extendedElevation = false;
    std::vector<std::string> surveys;   // the survey names legs belong to
    std::vector<TSurveyLeg> legs;
    std::vector<TSurveyStation> stations;
};

// What was wrong with a file; the message names the file.
class TSurveyError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the bytes of a ".3d" file; `name` is used in error messages only.
TSurvey ParseSurvey3d(std::string_view bytes, const std::string& name);
// Reads a ".3d" file from disk.
TSurvey ReadSurvey3d(const std::string& path);
