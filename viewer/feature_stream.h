#pragma once
// Reading the feature stream the viewer receives: lines ended by CR LF, the
// block closed by a zero byte. Each "#F," or "#R," line starts a feature; the
// "#L,", "#S,", "#M," and "#D," lines after it are its stations.
#include <QByteArray>
#include <QList>
#include <QString>

struct TStationLine {
    QString kind;      // "#L", "#S", "#M", "#D", or the raw prefix of an unknown line
    QString station;   // station reference
    QString value;     // "#L" and "#S" only
};

struct TFeature {
    QString name;
    QString method;    // "As Marked Locations", "As Line Segments", "As Continuous Line"
    QString range;     // "min .. max" of a "#R," header
    QList<TStationLine> stations;
};

QList<TFeature> ParseFeatureStream(const QByteArray& data);
