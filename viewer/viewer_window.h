#pragma once
// The viewer's window: the plan of the open survey with every received
// feature drawn on it, the list of features (newest first, each with a check
// box to show or hide it and a count of stations not found in the survey) and
// the station lines of the selected one. Without a survey only the lists show.
#include <QByteArray>
#include <QMainWindow>
#include <memory>
#include <vector>

#include "viewer/feature_plan.h"

class QAction;
class QLabel;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;
class TPlanView;

class TViewerWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit TViewerWindow(QWidget* parent = nullptr);
    ~TViewerWindow() override;

    void showStream(const QByteArray& data);
    int featureCount() const;

    // Loads a survey and draws on it; on failure an error box names the file
    // and the window keeps what it had. Remembers the survey for next time.
    bool openSurvey(const QString& path);
    // Where "Open Survey..." starts, and what the viewer reopens at start.
    static QString lastSurvey();

    // "Open Survey...", "Save Picture..." and "Unfound Stations..." of the menus.
    void OpenSurveyMenuClick();
    void SavePictureMenuClick();
    void UnfoundStationsMenuClick();

    const std::vector<TPlacedFeature>& placedFeatures() const { return placed_; }
    TPlanView* plan() const { return plan_; }

private:
    void showStations();
    void featureChanged(QTreeWidgetItem* item, int column);
    void updateNotFound(QTreeWidgetItem* item, const TPlacedFeature& f);
    void updateTitle();
    int placedIndex(const QTreeWidgetItem* item) const;

    std::shared_ptr<const TCave> cave_;
    std::vector<TPlacedFeature> placed_;
    TPlanView* plan_;
    QTreeWidget* features_;
    QTreeWidget* stations_;
    QLabel* status_;
    QAction* savePicture_;
    int received_ = 0;
};
