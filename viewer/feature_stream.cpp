#include "viewer/feature_stream.h"

namespace {

QString MethodOf(const QString& kind)
{
    if (kind == QLatin1String("#L")) return QStringLiteral("As Marked Locations");
    if (kind == QLatin1String("#S")) return QStringLiteral("As Line Segments");
    if (kind == QLatin1String("#M") || kind == QLatin1String("#D"))
        return QStringLiteral("As Continuous Line");
    return QStringLiteral("(unknown)");
}

} // namespace

QList<TFeature> ParseFeatureStream(const QByteArray& data)
{
    QByteArray block = data;
    int zero = block.indexOf('\0');
    if (zero >= 0) block.truncate(zero);
    QString text = QString::fromUtf8(block);
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();

    QList<TFeature> features;
    for (const QString& line : lines) {
        QString kind = line.left(2);
        QString rest = line.mid(3);
        bool prefixed = line.size() >= 3 && line[0] == QLatin1Char('#') && line[2] == QLatin1Char(',');
        if (prefixed && kind == QLatin1String("#F")) {
            features.append(TFeature{rest, QString(), QString(), {}});
            continue;
        }
        if (prefixed && kind == QLatin1String("#R")) {
            // The name may hold commas; the range is always the last two fields.
            QStringList parts = rest.split(QLatin1Char(','));
            TFeature feature;
            if (parts.size() >= 3) {
                QString largest = parts.takeLast();
                QString smallest = parts.takeLast();
                feature.range = smallest + QStringLiteral(" .. ") + largest;
            }
            feature.name = parts.join(QLatin1Char(','));
            feature.method = MethodOf(QStringLiteral("#L"));
            features.append(feature);
            continue;
        }
        if (features.isEmpty()) features.append(TFeature{});
        TFeature& feature = features.last();
        TStationLine station;
        if (!prefixed) {
            station.kind = QStringLiteral("?");
            station.station = line;
        } else {
            station.kind = kind;
            station.station = rest;
            if (kind == QLatin1String("#L") || kind == QLatin1String("#S")) {
                int comma = rest.lastIndexOf(QLatin1Char(','));
                if (comma >= 0) {
                    station.station = rest.left(comma);
                    station.value = rest.mid(comma + 1);
                }
            }
            if (feature.method.isEmpty()) feature.method = MethodOf(kind);
        }
        feature.stations.append(station);
    }
    return features;
}
