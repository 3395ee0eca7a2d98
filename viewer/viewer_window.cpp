#include "viewer/viewer_window.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeWidget>

#include "viewer/plan_picture.h"
#include "viewer/plan_view.h"
#include "viewer/viewer_service.h"

namespace {

enum FeatureColumn { fcName, fcMethod, fcStations, fcNotFound, fcRange, fcReceived };
constexpr int kPlacedRole = Qt::UserRole + 1;

QSettings ViewerSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Vantor"),
                     QStringLiteral("Oculo32"));
}

QString MatchText(const TCave* cave, const QString& reference)
{
    if (!cave) return QString();
    TStationMatch m = cave->index.match(reference.toStdString());
    if (m.status == TStationMatch::Found) return QString::fromStdString(cave->survey.stations[m.station].name);
    return UnfoundText({reference, m.status, m.candidates}).section(QStringLiteral(": "), 1);
}

} // namespace

TViewerWindow::TViewerWindow(QWidget* parent) : QMainWindow(parent)
{
    features_ = new QTreeWidget;
    features_->setObjectName(QStringLiteral("features"));
    features_->setRootIsDecorated(false);
    features_->setHeaderLabels({tr("Feature"), tr("Display Method"), tr("Stations"), tr("Not Found"),
                                tr("Range"), tr("Received")});
    features_->setAlternatingRowColors(true);
    features_->header()->setSectionResizeMode(fcName, QHeaderView::Stretch);
    features_->header()->setStretchLastSection(false);
    features_->setColumnWidth(fcName, 170);
    features_->setColumnWidth(fcMethod, 150);
    features_->setColumnWidth(fcStations, 64);
    features_->setColumnWidth(fcNotFound, 72);
    features_->setColumnWidth(fcRange, 120);
    features_->setColumnWidth(fcReceived, 74);
    features_->setContextMenuPolicy(Qt::ActionsContextMenu);

    stations_ = new QTreeWidget;
    stations_->setObjectName(QStringLiteral("stations"));
    stations_->setRootIsDecorated(false);
    stations_->setHeaderLabels({tr("Prefix"), tr("Station"), tr("Value"), tr("Survey Station")});
    stations_->setAlternatingRowColors(true);
    stations_->setColumnWidth(0, 60);
    stations_->setColumnWidth(1, 160);
    stations_->setColumnWidth(2, 80);

    plan_ = new TPlanView;
    plan_->setFeatures(&placed_);
    plan_->hide();

    auto* lists = new QSplitter(Qt::Vertical);
    lists->addWidget(features_);
    lists->addWidget(stations_);
    lists->setStretchFactor(0, 1);
    lists->setStretchFactor(1, 2);
    auto* split = new QSplitter(Qt::Horizontal);
    split->addWidget(plan_);
    split->addWidget(lists);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    split->setSizes({640, 460});
    setCentralWidget(split);

    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* open = file->addAction(tr("&Open Survey..."), this, &TViewerWindow::OpenSurveyMenuClick);
    open->setShortcut(QKeySequence::Open);
    savePicture_ = file->addAction(tr("&Save Picture..."), this, &TViewerWindow::SavePictureMenuClick);
    savePicture_->setShortcut(QKeySequence::Save);
    savePicture_->setEnabled(false);
    file->addSeparator();
    file->addAction(tr("E&xit"), this, &QWidget::close)->setShortcut(QKeySequence::Quit);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(tr("&Fit to Window"), plan_, &TPlanView::fitToWindow)->setShortcut(Qt::CTRL | Qt::Key_F);
    view->addAction(tr("Zoom &In"), plan_, [this] { plan_->zoomBy(1.25); })->setShortcut(QKeySequence::ZoomIn);
    view->addAction(tr("Zoom &Out"), plan_, [this] { plan_->zoomBy(0.8); })->setShortcut(QKeySequence::ZoomOut);
    QAction* names = view->addAction(tr("Station &Names"), plan_, &TPlanView::setNamesShown);
    names->setCheckable(true);
    names->setShortcut(Qt::CTRL | Qt::Key_N);
    QAction* elevation = view->addAction(tr("&Elevation"), plan_, &TPlanView::setElevation);
    elevation->setCheckable(true);
    elevation->setShortcut(Qt::CTRL | Qt::Key_E);

    QAction* unfound = new QAction(tr("&Unfound Stations..."), this);
    unfound->setShortcut(Qt::CTRL | Qt::Key_U);
    connect(unfound, &QAction::triggered, this, &TViewerWindow::UnfoundStationsMenuClick);
    menuBar()->addMenu(tr("F&eature"))->addAction(unfound);
    features_->addAction(unfound);

    status_ = new QLabel;
    statusBar()->addWidget(status_, 1);
    status_->setText(tr("Waiting for features on %1 %2").arg(QLatin1String(kViewerBusName),
                                                             QLatin1String(kViewerObjectPath)));
    connect(features_, &QTreeWidget::currentItemChanged, this, &TViewerWindow::showStations);
    connect(features_, &QTreeWidget::itemChanged, this, &TViewerWindow::featureChanged);
    updateTitle();
    resize(1100, 700);
}

TViewerWindow::~TViewerWindow() = default;

int TViewerWindow::featureCount() const
{
    return features_->topLevelItemCount();
}

int TViewerWindow::placedIndex(const QTreeWidgetItem* item) const
{
    bool ok = false;
    int k = item ? item->data(fcName, kPlacedRole).toInt(&ok) : -1;
    return ok && k >= 0 && k < static_cast<int>(placed_.size()) ? k : -1;
}

void TViewerWindow::updateNotFound(QTreeWidgetItem* item, const TPlacedFeature& f)
{
    item->setText(fcNotFound, cave_ ? QString::number(f.unfound.size()) : QString());
    item->setTextAlignment(fcNotFound, Qt::AlignRight | Qt::AlignVCenter);
    item->setForeground(fcNotFound, f.unfound.empty() ? palette().text() : QBrush(Qt::darkRed));
}

void TViewerWindow::showStream(const QByteArray& data)
{
    ++received_;
    const QString when = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    const size_t first = placed_.size();
    AddFeatures(placed_, ParseFeatureStream(data), cave_.get());
    QTreeWidgetItem* newest = nullptr;
    QSignalBlocker quiet(features_);
    for (size_t k = first; k < placed_.size(); ++k) {
        const TPlacedFeature& feature = placed_[k];
        auto* item = new QTreeWidgetItem;
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(fcName, Qt::Checked);
        item->setText(fcName, feature.source.name);
        item->setData(fcName, Qt::DecorationRole, feature.colour);
        item->setData(fcName, kPlacedRole, static_cast<int>(k));
        item->setText(fcMethod, feature.source.method);
        item->setText(fcStations, QString::number(feature.source.stations.size()));
        item->setTextAlignment(fcStations, Qt::AlignRight | Qt::AlignVCenter);
        updateNotFound(item, feature);
        item->setText(fcRange, feature.source.range);
        item->setText(fcReceived, when);
        features_->insertTopLevelItem(0, item);
        newest = item;
    }
    quiet.unblock();
    if (newest) features_->setCurrentItem(newest);
    int count = featureCount();
    status_->setText(count == 1 ? tr("1 feature received") : tr("%1 features received").arg(count));
    plan_->update();
}

void TViewerWindow::featureChanged(QTreeWidgetItem* item, int column)
{
    int k = placedIndex(item);
    if (column != fcName || k < 0) return;
    bool shown = item->checkState(fcName) == Qt::Checked;
    if (placed_[k].visible == shown) return;
    placed_[k].visible = shown;
    plan_->update();
}

void TViewerWindow::showStations()
{
    stations_->clear();
    int k = placedIndex(features_->currentItem());
    if (k < 0) return;
    QList<QTreeWidgetItem*> rows;
    for (const TStationLine& s : placed_[k].source.stations)
        rows.append(new QTreeWidgetItem(QStringList{s.kind, s.station, s.value, MatchText(cave_.get(), s.station)}));
    stations_->addTopLevelItems(rows);
}

QString TViewerWindow::lastSurvey()
{
    return ViewerSettings().value(QStringLiteral("Survey/Last")).toString();
}

bool TViewerWindow::openSurvey(const QString& path)
{
    std::shared_ptr<TCave> cave;
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        cave = std::make_shared<TCave>(ReadSurvey3d(QFile::encodeName(path).toStdString()));
        QApplication::restoreOverrideCursor();
    } catch (const std::exception& e) {
        QApplication::restoreOverrideCursor();
        QMessageBox::critical(this, tr("Open Survey"),
                              tr("Cannot open the survey %1:\n%2").arg(path, QString::fromLocal8Bit(e.what())));
        return false;
    }
    cave->path = path.toStdString();
    cave_ = std::move(cave);
    ReplaceFeatures(placed_, cave_.get());
    for (int row = 0; row < features_->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = features_->topLevelItem(row);
        if (int k = placedIndex(item); k >= 0) updateNotFound(item, placed_[k]);
    }
    showStations();
    plan_->setCave(cave_);
    plan_->show();
    savePicture_->setEnabled(true);
    ViewerSettings().setValue(QStringLiteral("Survey/Last"), QFileInfo(path).absoluteFilePath());
    updateTitle();
    status_->setText(tr("%1: %2 legs, %3 stations")
                         .arg(QFileInfo(path).fileName())
                         .arg(cave_->survey.legs.size())
                         .arg(cave_->survey.stations.size()));
    return true;
}

void TViewerWindow::updateTitle()
{
    QString title = QStringLiteral("Oculo32 - Cave Viewer");
    if (cave_) title += QStringLiteral(" - ") + QFileInfo(QString::fromStdString(cave_->path)).fileName();
    setWindowTitle(title);
}

void TViewerWindow::OpenSurveyMenuClick()
{
    QString path = QFileDialog::getOpenFileName(this, tr("Open Survey"), lastSurvey(),
                                                tr("Processed surveys (*.3d);;All files (*)"));
    if (!path.isEmpty()) openSurvey(path);
}

void TViewerWindow::SavePictureMenuClick()
{
    if (!cave_) return;
    QString suggested = QFileInfo(QString::fromStdString(cave_->path)).path() + QStringLiteral("/plan.png");
    QString chosen;
    QString path = QFileDialog::getSaveFileName(this, tr("Save Picture"), suggested,
                                                tr("PNG image (*.png);;SVG drawing (*.svg)"), &chosen);
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty())
        path += chosen.contains(QLatin1String("svg")) ? QStringLiteral(".svg") : QStringLiteral(".png");
    QString error = SavePlanPicture(path, plan_->size(), *cave_, placed_, plan_->layout(), plan_->options());
    if (!error.isEmpty()) QMessageBox::critical(this, tr("Save Picture"), error);
    else status_->setText(tr("Picture saved to %1").arg(path));
}

void TViewerWindow::UnfoundStationsMenuClick()
{
    int k = placedIndex(features_->currentItem());
    if (k < 0) return;
    const TPlacedFeature& f = placed_[k];
    QString text;
    if (!cave_) {
        text = tr("No survey is open: no station of \"%1\" can be found.").arg(f.source.name);
    } else if (f.unfound.empty()) {
        text = tr("Every station of \"%1\" is in the survey.").arg(f.source.name);
    } else {
        QStringList lines;
        constexpr size_t kShown = 40;
        for (size_t n = 0; n < f.unfound.size() && n < kShown; ++n) lines << UnfoundText(f.unfound[n]);
        if (f.unfound.size() > kShown) lines << tr("... and %1 more").arg(f.unfound.size() - kShown);
        text = tr("%1 of the stations of \"%2\" are not drawn:\n\n%3")
                   .arg(f.unfound.size())
                   .arg(f.source.name, lines.join(QLatin1Char('\n')));
    }
    QMessageBox::information(this, tr("Unfound Stations"), text);
}
