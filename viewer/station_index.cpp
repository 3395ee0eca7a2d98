#include "viewer/station_index.h"

#include <algorithm>
#include <tuple>


bool TStationIndex::Before(const LegEnd& a, const LegEnd& b)
{
    return std::tie(a.at.x, a.at.y, a.at.z) < std::tie(b.at.x, b.at.y, b.at.z);
}

TStationIndex::TStationIndex(const TSurvey& survey)
{
    const auto& stations = survey.stations;
    full_.reserve(stations.size());
    trailing_.reserve(stations.size() * 2);
    for (int k = 0; k < static_cast<int>(stations.size()); ++k) {
        std::string_view name = stations[k].name;
        // A station may be listed more than once (at the same place): the
        // first listing stands for it.
        if (!full_.try_emplace(name, k).second) continue;
        for (size_t dot = name.find('.'); dot != std::string_view::npos; dot = name.find('.', dot + 1)) {
            Entry& e = trailing_[name.substr(dot + 1)];
            if (e.count++ == 0) e.station = k;
        }
    }
    legEnds_.reserve(survey.legs.size() * 2);
    for (int k = 0; k < static_cast<int>(survey.legs.size()); ++k) {
        const TSurveyLeg& leg = survey.legs[k];
        legEnds_.push_back({leg.from, k});
        if (!(leg.to == leg.from)) legEnds_.push_back({leg.to, k});
    }
    std::sort(legEnds_.begin(), legEnds_.end(), Before);
}

TStationMatch TStationIndex::match(std::string_view reference) const
{
    TStationMatch m;
    if (reference.empty()) return m;
    if (auto it = full_.find(reference); it != full_.end()) {
        m.status = TStationMatch::Found;
        m.station = it->second;
        m.candidates = 1;
        return m;
    }
    auto it = trailing_.find(reference);
    if (it == trailing_.end()) return m;
    m.candidates = it->second.count;
    if (it->second.count == 1) {
        m.status = TStationMatch::Found;
        m.station = it->second.station;
    } else {
        m.status = TStationMatch::Ambiguous;
    }
    return m;
}

std::vector<int> TStationIndex::legsAt(const TSurveyPoint& at) const
{
    auto [from, to] = std::equal_range(legEnds_.begin(), legEnds_.end(), LegEnd{at, 0}, Before);
    std::vector<int> legs;
    for (auto it = from; it != to; ++it) legs.push_back(it->leg);
    return legs;
}
