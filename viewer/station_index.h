#pragma once
// Finding the survey station a feature's station reference means. The full
// dotted name wins; otherwise the reference must match the trailing
// components of exactly one station ("A12" finds "cave.A12" when no other
// station ends in ".A12"). Letter case counts. Ambiguous and unknown
// references are answered as such, never guessed.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "viewer/survey_3d.h"

struct TStationMatch {
    enum Status { Found, Unknown, Ambiguous };
    Status status = Unknown;
    int station = -1;      // index into TSurvey::stations when found
    int candidates = 0;    // how many stations an ambiguous reference fits
};

class TStationIndex {
public:
    TStationIndex() = default;
    // Keeps views of the survey's station names: `survey` must outlive the
    // index and must not move.
    explicit TStationIndex(const TSurvey& survey);
    TStationIndex(const TStationIndex&) = delete;
    TStationIndex& operator=(const TStationIndex&) = delete;

    TStationMatch match(std::string_view reference) const;

    // The legs that start or end where a station is.
    std::vector<int> legsAt(const TSurveyPoint& at) const;

private:
    struct Entry {
        int station = -1;
        int count = 0;     // distinct station names ending this way
    };
    struct LegEnd {
        TSurveyPoint at;
        int leg;
    };
    static bool Before(const LegEnd& a, const LegEnd& b);

    // Views into the survey's names: the survey must stay where it is.
    std::unordered_map<std::string_view, int> full_;
    std::unordered_map<std::string_view, Entry> trailing_;
    std::vector<LegEnd> legEnds_;   // sorted by place
};

// A loaded survey with its index, kept together so the index's views stay valid.
struct TCave {
    explicit TCave(TSurvey s) : survey(std::move(s)), index(survey) {}
    TCave(const TCave&) = delete;
    TCave& operator=(const TCave&) = delete;

    std::string path;
    const TSurvey survey;
    const TStationIndex index;
};
