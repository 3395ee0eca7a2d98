#include "viewer/plan_painter.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPaintEngine>
#include <QPainterPath>
#include <QImage>
#include <QPolygonF>
#include <QVector>
#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace {

const QColor kBackground(0xff, 0xff, 0xff);
const QColor kLegColour(0x30, 0x30, 0x30);
const QColor kSurfaceColour(0x3c, 0x9a, 0x3c);
const QColor kSplayColour(0xb0, 0xb0, 0xb0);
const QColor kStationColour(0x70, 0x70, 0x70);
constexpr double kMarkerRadius = 5.0;
constexpr size_t kManyLegs = 20000;       // above this, speed before looks
constexpr int kManyStations = 4000;       // in view: dots instead of crosses

struct Frame {
    Frame(const QTransform& screen, QRectF visible)
        : visible(visible), sx(screen.m11()), sy(screen.m22()), dx(screen.dx()), dy(screen.dy())
    {
    }
    // The layout's transform only scales and shifts: cheaper done here than
    // through a general transform, once per leg end and per station.
    QPointF map(QPointF p) const { return {p.x() * sx + dx, p.y() * sy + dy}; }

    QRectF visible;   // the view grown by a margin: what lies outside is not drawn
    double sx, sy, dx, dy;

    bool sees(QPointF p) const { return visible.contains(p); }
    bool sees(const QLineF& l) const
    {
        return !(std::max(l.x1(), l.x2()) < visible.left() || std::min(l.x1(), l.x2()) > visible.right()
                 || std::max(l.y1(), l.y2()) < visible.top() || std::min(l.y1(), l.y2()) > visible.bottom());
    }
};

void DrawLegs(QPainter& p, const TCave& cave, const TPlanLayout& layout, const Frame& frame,
              const TPlanOptions& options)
{
    QVector<QLineF> underground, surface, splays;
    for (const TSurveyLeg& leg : cave.survey.legs) {
        QLineF line(frame.map(layout.project(leg.from)), frame.map(layout.project(leg.to)));
        if (!frame.sees(line)) continue;
        if (leg.flags & lfSplay) {
            if (options.splays) splays.append(line);
        } else if (leg.flags & lfSurface) {
            if (options.surface) surface.append(line);
        } else {
            underground.append(line);
        }
    }
    // Thin (one-pixel) pens take the fast path: many legs are drawn with them.
    const bool many = cave.survey.legs.size() > kManyLegs;
    p.setPen(QPen(kSplayColour, many ? 0 : 0.8));
    p.drawLines(splays);
    p.setPen(QPen(kSurfaceColour, many ? 0 : 1.2, Qt::DashLine));
    p.drawLines(surface);
    p.setPen(QPen(kLegColour, many ? 0 : 1.5));
    p.drawLines(underground);
}

void DrawStations(QPainter& p, const TCave& cave, const TPlanLayout& layout, const Frame& frame)
{
    QVector<QPointF> points;
    for (const TSurveyStation& s : cave.survey.stations) {
        if (s.flags & (sfAnonymous | sfWall)) continue;
        QPointF at = frame.map(layout.project(s.at));
        if (frame.sees(at)) points.append(at);
    }
    if (points.size() > kManyStations) {
        p.setPen(QPen(kStationColour, 0));
        p.drawPoints(points);
        return;
    }
    QVector<QLineF> crosses;
    crosses.reserve(points.size() * 2);
    for (const QPointF& at : points) {
        crosses.append(QLineF(at.x() - 2, at.y() - 2, at.x() + 2, at.y() + 2));
        crosses.append(QLineF(at.x() - 2, at.y() + 2, at.x() + 2, at.y() - 2));
    }
    p.setPen(QPen(kStationColour, 1));
    p.drawLines(crosses);
}

void DrawLabel(QPainter& p, QPointF at, const QString& text, const QColor& frameColour)
{
    QFontMetricsF fm(p.font());
    QRectF box(at + QPointF(6, -fm.height() - 4), QSizeF(fm.horizontalAdvance(text) + 6, fm.height() + 2));
    p.setPen(QPen(frameColour, 1));
    p.setBrush(QColor(255, 255, 230, 235));
    p.drawRect(box);
    p.setPen(Qt::black);
    p.drawText(box, Qt::AlignCenter, text);
}

void DrawNames(QPainter& p, const TCave& cave, const TPlanLayout& layout, const Frame& frame, QSize size)
{
    // Names that would overlap an earlier one are left out: a grid of taken cells.
    constexpr int cell = 6;
    const int cols = size.width() / cell + 1, rows = size.height() / cell + 1;
    std::vector<bool> taken(static_cast<size_t>(cols) * rows, false);
    QFontMetricsF fm(p.font());
    p.setPen(QColor(0x20, 0x20, 0x80));
    for (const TSurveyStation& s : cave.survey.stations) {
        if (s.flags & (sfAnonymous | sfWall)) continue;
        QPointF at = frame.map(layout.project(s.at));
        if (at.x() < 0 || at.y() < 0 || at.x() >= size.width() || at.y() >= size.height()) continue;
        QString text = QString::fromStdString(s.name);
        QRectF box(at + QPointF(4, -fm.ascent() - 2), QSizeF(fm.horizontalAdvance(text), fm.height()));
        int c0 = std::max(0, int(box.left()) / cell), c1 = std::min(cols - 1, int(box.right()) / cell);
        int r0 = std::max(0, int(box.top()) / cell), r1 = std::min(rows - 1, int(box.bottom()) / cell);
        bool free = true;
        for (int r = r0; r <= r1 && free; ++r)
            for (int c = c0; c <= c1 && free; ++c) free = !taken[static_cast<size_t>(r) * cols + c];
        if (!free) continue;
        for (int r = r0; r <= r1; ++r)
            for (int c = c0; c <= c1; ++c) taken[static_cast<size_t>(r) * cols + c] = true;
        p.drawText(at + QPointF(4, -2), text);
    }
}

void DrawMarkers(QPainter& p, const TCave& cave, const TPlanLayout& layout, const Frame& frame,
                 const TPlacedFeature& f)
{
    // Markers of one colour are drawn together: with many markers, changing
    // the brush for each would cost more than the drawing.
    constexpr int kShades = 64;
    std::vector<QVector<QPointF>> byShade(f.ranged ? kShades + 1 : 1);
    for (const TPlacedMarker& m : f.markers) {
        QPointF at = frame.map(layout.project(cave.survey.stations[m.station].at));
        if (!frame.sees(at)) continue;
        int shade = 0;
        if (f.ranged && m.hasValue) {
            double t = f.high > f.low ? (m.value - f.low) / (f.high - f.low) : 0.5;
            shade = 1 + static_cast<int>(std::lround(std::clamp(t, 0.0, 1.0) * (kShades - 1)));
        }
        byShade[shade].append(at);
    }
    // On a raster image each marker is a copy of one drawn circle; a drawing
    // (SVG) gets real circles.
    const bool raster = p.paintEngine() && p.paintEngine()->type() == QPaintEngine::Raster;
    const QPen outline(f.colour.darker(160), 1);
    for (size_t k = 0; k < byShade.size(); ++k) {
        if (byShade[k].isEmpty()) continue;
        QColor fill = k == 0 ? f.colour
                             : RangeColour(f.low + (f.high - f.low) * (double(k) - 1) / (kShades - 1), f.low, f.high);
        if (!raster) {
            p.setPen(outline);
            p.setBrush(fill);
            for (const QPointF& at : byShade[k]) p.drawEllipse(at, kMarkerRadius, kMarkerRadius);
            continue;
        }
        const int side = static_cast<int>(2 * kMarkerRadius) + 3;
        QImage stamp(side, side, QImage::Format_ARGB32_Premultiplied);
        stamp.fill(Qt::transparent);
        {
            QPainter s(&stamp);
            s.setRenderHint(QPainter::Antialiasing);
            s.setPen(outline);
            s.setBrush(fill);
            s.drawEllipse(QPointF(side / 2.0, side / 2.0), kMarkerRadius, kMarkerRadius);
        }
        const QPointF half(side / 2.0, side / 2.0);
        for (const QPointF& at : byShade[k]) p.drawImage(QPointF(std::round(at.x()), std::round(at.y())) - half, stamp);
    }
}

void DrawSegments(QPainter& p, const TCave& cave, const TPlanLayout& layout, const Frame& frame,
                  const TPlacedFeature& f)
{
    QVector<QLineF> lines;
    std::unordered_set<int> seen;
    for (const TPlacedSegment& s : f.segments)
        for (int leg : s.legs) {
            if (!seen.insert(leg).second) continue;
            const TSurveyLeg& l = cave.survey.legs[leg];
            QLineF line(frame.map(layout.project(l.from)), frame.map(layout.project(l.to)));
            if (frame.sees(line)) lines.append(line);
        }
    QColor glow = f.colour;
    glow.setAlpha(90);
    p.setPen(QPen(glow, 9, Qt::SolidLine, Qt::RoundCap));
    p.drawLines(lines);
    p.setPen(QPen(f.colour, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLines(lines);
    p.setPen(f.colour.darker(170));
    for (const TPlacedSegment& s : f.segments) {
        if (s.label.isEmpty()) continue;
        QPointF at = frame.map(layout.project(cave.survey.stations[s.station].at));
        if (frame.sees(at)) p.drawText(at + QPointF(6, 12), s.label);
    }
}

void DrawLine(QPainter& p, const TCave& cave, const TPlanLayout& layout, const Frame& frame,
              const TPlacedFeature& f)
{
    QPolygonF points;
    points.reserve(static_cast<qsizetype>(f.line.size()));
    for (int s : f.line) points.append(frame.map(layout.project(cave.survey.stations[s].at)));
    p.setPen(QPen(f.colour, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(points);
    p.setBrush(f.colour);
    p.setPen(Qt::NoPen);
    for (const QPointF& at : points)
        if (frame.sees(at)) p.drawEllipse(at, 3.0, 3.0);
}

void DrawNorthArrow(QPainter& p, QSize size)
{
    QPointF base(size.width() - 36, 70);
    QPolygonF arrow({base + QPointF(0, -40), base + QPointF(10, 0), base, base + QPointF(-10, 0)});
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::black);
    p.drawPolygon(arrow);
    p.drawText(QRectF(base.x() - 10, base.y() - 62, 20, 18), Qt::AlignCenter, QStringLiteral("N"));
}

void DrawScaleBar(QPainter& p, QSize size, double scale)
{
    double metres = ScaleBarMetres(scale, size.width() / 4.0);
    if (metres <= 0) return;
    double px = metres * scale;
    QPointF left(16, size.height() - 18);
    p.setPen(QPen(Qt::black, 2));
    p.drawLine(left, left + QPointF(px, 0));
    p.drawLine(left + QPointF(0, -5), left + QPointF(0, 5));
    p.drawLine(left + QPointF(px, -5), left + QPointF(px, 5));
    QString text = metres >= 1000 ? QStringLiteral("%1 km").arg(metres / 1000)
                                  : QStringLiteral("%1 m").arg(metres);
    p.drawText(left + QPointF(2, -8), text);
}

// Each shown feature's colour and name, and the value scale of the newest
// shown feature that has one.
void DrawLegend(QPainter& p, QSize size, const std::vector<TPlacedFeature>& features)
{
    QFontMetricsF fm(p.font());
    double y = 10, line = fm.height() + 4;
    const TPlacedFeature* ranged = nullptr;
    for (auto it = features.rbegin(); it != features.rend(); ++it) {
        if (!it->visible) continue;
        if (!ranged && it->ranged && it->draw == fdMarkers) ranged = &*it;
        if (y + line > size.height() - 80) continue;
        p.setPen(it->colour.darker(160));
        p.setBrush(it->colour);
        p.drawRect(QRectF(10, y + 3, 12, fm.height() - 6));
        p.setPen(Qt::black);
        p.drawText(QPointF(28, y + fm.ascent()), it->source.name);
        y += line;
    }
    if (!ranged) return;
    QRectF bar(size.width() - 36, size.height() - 190, 16, 140);
    QLinearGradient ramp(bar.bottomLeft(), bar.topLeft());
    for (int k = 0; k <= 10; ++k) ramp.setColorAt(k / 10.0, RangeColour(k, 0, 10));
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(ramp);
    p.drawRect(bar);
    auto number = [](double v) { return QString::number(v, 'g', 6); };
    p.drawText(QRectF(bar.left() - 120, bar.top() - 4, 114, fm.height()), Qt::AlignRight | Qt::AlignTop,
               number(ranged->high));
    p.drawText(QRectF(bar.left() - 120, bar.bottom() - fm.height() + 4, 114, fm.height()),
               Qt::AlignRight | Qt::AlignBottom, number(ranged->low));
    p.drawText(QRectF(bar.left() - 160, bar.top() - fm.height() - 8, 182, fm.height()), Qt::AlignRight,
               ranged->source.name);
}

} // namespace

void PaintPlan(QPainter& p, QSize size, const TCave& cave, const std::vector<TPlacedFeature>& features,
               const TPlanLayout& layout, const TPlanOptions& options)
{
    p.save();
    p.fillRect(QRect(QPoint(0, 0), size), kBackground);
    Frame frame{layout.toScreen(size), QRectF(-20, -20, size.width() + 40, size.height() + 40)};
    // Antialiasing a very large survey costs more than it shows.
    p.setRenderHint(QPainter::Antialiasing, cave.survey.legs.size() <= kManyLegs);
    DrawLegs(p, cave, layout, frame, options);
    if (options.stations) DrawStations(p, cave, layout, frame);
    if (options.names) DrawNames(p, cave, layout, frame, size);

    p.setRenderHint(QPainter::Antialiasing, true);
    for (const TPlacedFeature& f : features) {
        if (!f.visible) continue;
        if (f.draw == fdMarkers) DrawMarkers(p, cave, layout, frame, f);
        else if (f.draw == fdSegments) DrawSegments(p, cave, layout, frame, f);
        else if (f.draw == fdLine) DrawLine(p, cave, layout, frame, f);
    }
    if (options.hoverStation >= 0 && options.hoverStation < static_cast<int>(cave.survey.stations.size())) {
        const TSurveyStation& s = cave.survey.stations[options.hoverStation];
        DrawLabel(p, frame.map(layout.project(s.at)), QString::fromStdString(s.name), kLegColour);
    }
    if (!layout.elevation()) {
        DrawNorthArrow(p, size);
    } else {
        p.setPen(Qt::black);
        p.drawText(QRectF(0, 8, size.width() - 12, 20), Qt::AlignRight,
                   QStringLiteral("Elevation facing %1\u00b0").arg(layout.facing(), 0, 'f', 0));
    }
    DrawScaleBar(p, size, layout.scale());
    DrawLegend(p, size, features);
    p.restore();
}

int StationNear(const TCave& cave, const TPlanLayout& layout, QSizeF view, QPointF pixel, double radius)
{
    QTransform screen = layout.toScreen(view);
    int best = -1;
    double bestDistance = radius * radius;
    const auto& stations = cave.survey.stations;
    for (int k = 0; k < static_cast<int>(stations.size()); ++k) {
        if (stations[k].flags & sfAnonymous) continue;
        QPointF d = screen.map(layout.project(stations[k].at)) - pixel;
        double d2 = d.x() * d.x() + d.y() * d.y();
        if (d2 <= bestDistance) {
            bestDistance = d2;
            best = k;
        }
    }
    return best;
}
