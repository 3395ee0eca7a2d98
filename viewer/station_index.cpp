#include "viewer/station_index.h"

#include <cstdint>

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
    for (int k = 0; k < static_cast<int>(survey.legs.size()); ++k) {
        const TSurveyLeg& leg = survey.legs[k];
        legsAt_[leg.from].push_back(k);
        if (!(leg.to == leg.from)) legsAt_[leg.to].push_back(k);
    }
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

size_t TStationIndex::PointHash::operator()(const TSurveyPoint& p) const
{
    std::uint64_t h = static_cast<std::uint32_t>(p.x);
    h = h * 0x9E3779B97F4A7C15ull ^ static_cast<std::uint32_t>(p.y);
    h = h * 0x9E3779B97F4A7C15ull ^ static_cast<std::uint32_t>(p.z);
    return h;
}

const std::vector<int>& TStationIndex::legsAt(const TSurveyPoint& at) const
{
    static const std::vector<int> none;
    auto it = legsAt_.find(at);
    return it == legsAt_.end() ? none : it->second;
}
