#pragma once
// A received feature placed on a survey: each station reference matched to a
// survey station, with what the plan draws for it. Marked locations become
// markers coloured by value; line segments become the legs that end at each
// station; a continuous line becomes a polyline through the stations in order.
#include <QColor>
#include <QString>
#include <vector>

#include "viewer/feature_stream.h"
#include "viewer/station_index.h"

enum TFeatureDraw { fdMarkers, fdSegments, fdLine, fdNothing };

struct TPlacedMarker {
    int station = -1;
    double value = 0;
    bool hasValue = false;
};

struct TPlacedSegment {
    int station = -1;
    std::vector<int> legs;
    QString label;
};

struct TUnfoundStation {
    QString reference;
    TStationMatch::Status status = TStationMatch::Unknown;
    int candidates = 0;
};

struct TPlacedFeature {
    TFeature source;
    TFeatureDraw draw = fdNothing;
    QColor colour;
    bool visible = true;
    bool ranged = false;       // markers coloured from `low` to `high`
    double low = 0, high = 0;
    std::vector<TPlacedMarker> markers;
    std::vector<TPlacedSegment> segments;
    std::vector<int> line;     // stations of the continuous line, in order
    std::vector<TUnfoundStation> unfound;
};

// Matches the feature's stations in `cave` (none: nothing is placed and
// nothing counts as not found).
TPlacedFeature PlaceFeature(const TFeature& feature, const TCave* cave, const QColor& colour);

// The colour of the n-th feature received.
QColor FeatureColour(int ordinal);
// A value's colour within [low, high]: blue at the low end, red at the high.
QColor RangeColour(double value, double low, double high);
// "A99: not in the survey", "A1: fits 3 stations".
QString UnfoundText(const TUnfoundStation& s);

// Places every feature of a received stream and appends it to `features`,
// each in the colour of its place in the order received.
void AddFeatures(std::vector<TPlacedFeature>& features, const QList<TFeature>& received, const TCave* cave);
// Places every feature again on another survey (or none), keeping colours and
// what is shown.
void ReplaceFeatures(std::vector<TPlacedFeature>& features, const TCave* cave);
