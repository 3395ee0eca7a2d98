#include "viewer/feature_plan.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

namespace {

TFeatureDraw DrawOf(const TFeature& f)
{
    if (f.method == QLatin1String("As Marked Locations")) return fdMarkers;
    if (f.method == QLatin1String("As Line Segments")) return fdSegments;
    if (f.method == QLatin1String("As Continuous Line")) return fdLine;
    return fdNothing;
}

bool ParseNumber(const QString& text, double& value)
{
    bool ok = false;
    value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value);
}

} // namespace

TPlacedFeature PlaceFeature(const TFeature& feature, const TCave* cave, const QColor& colour)
{
    TPlacedFeature placed;
    placed.source = feature;
    placed.colour = colour;
    placed.draw = DrawOf(feature);
    // "min .. max"; an empty result's range runs backwards and colours nothing.
    const QStringList range = feature.range.split(QStringLiteral(" .. "));
    if (range.size() == 2 && ParseNumber(range[0], placed.low) && ParseNumber(range[1], placed.high))
        placed.ranged = placed.low <= placed.high;
    if (!cave) return placed;

    for (const TStationLine& line : feature.stations) {
        const std::string reference = line.station.toStdString();
        TStationMatch m = cave->index.match(reference);
        if (m.status != TStationMatch::Found) {
            placed.unfound.push_back({line.station, m.status, m.candidates});
            continue;
        }
        switch (placed.draw) {
        case fdMarkers: {
            TPlacedMarker marker;
            marker.station = m.station;
            marker.hasValue = ParseNumber(line.value, marker.value);
            placed.markers.push_back(marker);
            break;
        }
        case fdSegments: {
            TPlacedSegment segment;
            segment.station = m.station;
            segment.legs = cave->index.legsAt(cave->survey.stations[m.station].at);
            segment.label = line.value;
            placed.segments.push_back(std::move(segment));
            break;
        }
        case fdLine:
            placed.line.push_back(m.station);
            break;
        case fdNothing:
            break;
        }
    }
    return placed;
}

QColor FeatureColour(int ordinal)
{
    static const QColor palette[] = {
        QColor(0xd6, 0x27, 0x28), QColor(0x1f, 0x77, 0xb4), QColor(0x2c, 0xa0, 0x2c),
        QColor(0xff, 0x7f, 0x0e), QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
        QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf), QColor(0xbc, 0xbd, 0x22),
    };
    constexpr int n = sizeof palette / sizeof palette[0];
    return palette[((ordinal % n) + n) % n];
}

QColor RangeColour(double value, double low, double high)
{
    double t = high > low ? (value - low) / (high - low) : 0.5;
    if (!std::isfinite(t)) t = 0.5;
    t = std::clamp(t, 0.0, 1.0);
    // Hue from blue (240) through green and yellow to red (0).
    return QColor::fromHsvF(static_cast<float>((1.0 - t) * 240.0 / 360.0), 0.9f, 0.95f);
}

QString UnfoundText(const TUnfoundStation& s)
{
    QString name = s.reference.isEmpty() ? QStringLiteral("(empty)") : s.reference;
    if (s.status == TStationMatch::Ambiguous)
        return QStringLiteral("%1: fits %2 stations").arg(name).arg(s.candidates);
    return QStringLiteral("%1: not in the survey").arg(name);
}

void AddFeatures(std::vector<TPlacedFeature>& features, const QList<TFeature>& received, const TCave* cave)
{
    for (const TFeature& f : received)
        features.push_back(PlaceFeature(f, cave, FeatureColour(static_cast<int>(features.size()))));
}

void ReplaceFeatures(std::vector<TPlacedFeature>& features, const TCave* cave)
{
    for (TPlacedFeature& f : features) {
        bool visible = f.visible;
        f = PlaceFeature(f.source, cave, f.colour);
        f.visible = visible;
    }
}
