#pragma once
// The "Run Viewer" button: twice a second it shows whether the viewer runs
// ("Viewer Running", pressed, green) or not ("Run Viewer", released, red);
// a click starts the viewer by its command line unless it runs already.
//
// The main window embeds it over its toggle button:
//   viewerWatch_ = new TViewerWatch(RunViewBtn, [] { return ViewerPath(); }, this);
#include <QColor>
#include <QObject>
#include <QTimer>
#include <functional>
#include <string>

#include "query/program_monitor.h"

class QAbstractButton;

namespace tarnel::query {

inline constexpr const char* kViewerExecutable = "Oculo32.exe";
inline constexpr const char* kRunViewerCaption = "Run Viewer";
inline constexpr const char* kViewerRunningCaption = "Viewer Running";
inline const QColor kViewerRunningColor{0, 128, 0};
inline const QColor kViewerStoppedColor{255, 0, 0};

class TViewerWatch : public QObject {
    Q_OBJECT
public:
    using TViewerPathSource = std::function<std::string()>;
    using TRunningTest = std::function<bool()>;

    // Makes the button a toggle that takes no keyboard focus, captions it
    // "Run Viewer" in bold black and starts Timer1. viewerPath gives the command line at
    // the moment of a click.
    TViewerWatch(QAbstractButton* runViewBtn, TViewerPathSource viewerPath,
                 QObject* owner = nullptr);

    void Timer1Timer() { RefreshViewerButton(); }
    // A start that fails is shown in the error box, naming the program.
    void RunViewBtnClick();
    void RefreshViewerButton();
    // Starts the viewer unless it runs; throws EngineError when it cannot.
    void StartViewer();

    QTimer* Timer1() { return &timer1_; }
    TProgramMonitor* ProgramMonitor1() { return &programMonitor1_; }
    // Replaces the process-table look-up (for tests).
    void SetRunningTest(TRunningTest test) { isRunning_ = std::move(test); }

private:
    bool ViewerRunning() const;

    QAbstractButton* runViewBtn_;
    TViewerPathSource viewerPath_;
    TRunningTest isRunning_;
    QTimer timer1_;
    TProgramMonitor programMonitor1_;
};

} // namespace tarnel::query
