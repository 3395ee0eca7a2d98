#include "viewer/viewer_window.h"

#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "viewer/feature_stream.h"
#include "viewer/viewer_service.h"

namespace {

enum FeatureColumn { fcName, fcMethod, fcStations, fcRange, fcReceived };
constexpr int kStationsRole = Qt::UserRole + 1;

} // namespace

TViewerWindow::TViewerWindow(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Oculo32 - Cave Viewer"));

    features_ = new QTreeWidget;
    features_->setObjectName(QStringLiteral("features"));
    features_->setRootIsDecorated(false);
    features_->setHeaderLabels({tr("Feature"), tr("Display Method"), tr("Stations"), tr("Range"),
                                tr("Received")});
    features_->setAlternatingRowColors(true);
    features_->header()->setSectionResizeMode(fcName, QHeaderView::Stretch);
    features_->header()->setStretchLastSection(false);
    features_->setColumnWidth(fcMethod, 170);
    features_->setColumnWidth(fcStations, 70);
    features_->setColumnWidth(fcRange, 150);
    features_->setColumnWidth(fcReceived, 90);

    stations_ = new QTreeWidget;
    stations_->setObjectName(QStringLiteral("stations"));
    stations_->setRootIsDecorated(false);
    stations_->setHeaderLabels({tr("Prefix"), tr("Station"), tr("Value")});
    stations_->setAlternatingRowColors(true);
    stations_->setColumnWidth(0, 60);
    stations_->setColumnWidth(1, 240);

    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(features_);
    split->addWidget(stations_);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 2);
    setCentralWidget(split);

    status_ = new QLabel;
    statusBar()->addWidget(status_, 1);
    status_->setText(tr("Waiting for features on %1 %2").arg(QLatin1String(kViewerBusName),
                                                             QLatin1String(kViewerObjectPath)));
    connect(features_, &QTreeWidget::currentItemChanged, this, &TViewerWindow::showStations);
    resize(720, 520);
}

int TViewerWindow::featureCount() const
{
    return features_->topLevelItemCount();
}

void TViewerWindow::showStream(const QByteArray& data)
{
    ++received_;
    const QString when = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    QTreeWidgetItem* newest = nullptr;
    for (const TFeature& feature : ParseFeatureStream(data)) {
        auto* item = new QTreeWidgetItem;
        item->setText(fcName, feature.name);
        item->setText(fcMethod, feature.method);
        item->setText(fcStations, QString::number(feature.stations.size()));
        item->setTextAlignment(fcStations, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(fcRange, feature.range);
        item->setText(fcReceived, when);
        QStringList packed;
        for (const auto& s : feature.stations)
            packed << s.kind << s.station << s.value;
        item->setData(fcName, kStationsRole, packed);
        features_->insertTopLevelItem(0, item);
        newest = item;
    }
    if (newest) features_->setCurrentItem(newest);
    int count = featureCount();
    status_->setText(count == 1 ? tr("1 feature received") : tr("%1 features received").arg(count));
}

void TViewerWindow::showStations()
{
    stations_->clear();
    QTreeWidgetItem* current = features_->currentItem();
    if (!current) return;
    const QStringList packed = current->data(fcName, kStationsRole).toStringList();
    QList<QTreeWidgetItem*> rows;
    for (int k = 0; k + 2 < packed.size(); k += 3)
        rows.append(new QTreeWidgetItem(QStringList{packed[k], packed[k + 1], packed[k + 2]}));
    stations_->addTopLevelItems(rows);
}
