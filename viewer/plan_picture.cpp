#include "viewer/plan_picture.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

QString SavePlanPicture(const QString& path, QSize size, const TCave& cave,
                        const std::vector<TPlacedFeature>& features, const TPlanLayout& layout,
                        const TPlanOptions& options)
{
    if (size.isEmpty() || size.width() > 20000 || size.height() > 20000)
        return QStringLiteral("Cannot write %1: a picture of %2 x %3 pixels is not possible")
            .arg(path)
            .arg(size.width())
            .arg(size.height());
    QByteArray bytes;
    if (QFileInfo(path).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0) {
        QBuffer buffer(&bytes);
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(QStringLiteral("Cave plan"));
        svg.setDescription(QString::fromStdString(cave.survey.title));
        QPainter painter;
        if (!painter.begin(&svg)) return QStringLiteral("Cannot write %1: the drawing could not be started").arg(path);
        PaintPlan(painter, size, cave, features, layout, options);
        painter.end();
    } else {
        QImage image(size, QImage::Format_RGB32);
        if (image.isNull()) return QStringLiteral("Cannot write %1: not enough memory for the picture").arg(path);
        QPainter painter(&image);
        PaintPlan(painter, size, cave, features, layout, options);
        painter.end();
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG")) return QStringLiteral("Cannot write %1: the PNG could not be made").arg(path);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
    return QString();
}
