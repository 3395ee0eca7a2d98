#pragma once
// The viewer's window: every received feature, newest first, and the
// station lines of the selected one.
#include <QByteArray>
#include <QMainWindow>

class QLabel;
class QTreeWidget;

class TViewerWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit TViewerWindow(QWidget* parent = nullptr);

    void showStream(const QByteArray& data);
    int featureCount() const;

private:
    void showStations();

    QTreeWidget* features_;
    QTreeWidget* stations_;
    QLabel* status_;
    int received_ = 0;
};
