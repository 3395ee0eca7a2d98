// The "Run Viewer" button and its twice-a-second look at the process table.
#include "query/viewer_watch.h"

#include <QAbstractButton>
#include <QFont>
#include <QPalette>

#include "controls/error_guard.h"
#include "engine/error.h"
#include "query/process_list.h"

namespace tarnel::query {

TViewerWatch::TViewerWatch(QAbstractButton* runViewBtn, TViewerPathSource viewerPath,
                           QObject* owner)
    : QObject(owner), runViewBtn_(runViewBtn), viewerPath_(std::move(viewerPath)),
      programMonitor1_(this)
{
    runViewBtn_->setCheckable(true);
    runViewBtn_->setChecked(false);
    runViewBtn_->setFocusPolicy(Qt::NoFocus);
    runViewBtn_->setText(QString::fromLatin1(kRunViewerCaption));
    // Bold black text until the first tick colours it.
    QFont font = runViewBtn_->font();
    font.setBold(true);
    runViewBtn_->setFont(font);
    QPalette palette = runViewBtn_->palette();
    palette.setColor(QPalette::ButtonText, Qt::black);
    runViewBtn_->setPalette(palette);
    connect(runViewBtn_, &QAbstractButton::clicked, this, Guarded(runViewBtn_, [this] { RunViewBtnClick(); }));

    timer1_.setInterval(500);
    connect(&timer1_, &QTimer::timeout, this, Guarded(runViewBtn_, [this] { Timer1Timer(); }));
    timer1_.start();
}

bool TViewerWatch::ViewerRunning() const
{
    return isRunning_ ? isRunning_() : IsProgramRunning(kViewerExecutable);
}

void TViewerWatch::RefreshViewerButton()
{
    bool running = ViewerRunning();
    runViewBtn_->setText(QString::fromLatin1(running ? kViewerRunningCaption : kRunViewerCaption));
    runViewBtn_->setChecked(running);
    QPalette palette = runViewBtn_->palette();
    palette.setColor(QPalette::ButtonText, running ? kViewerRunningColor : kViewerStoppedColor);
    runViewBtn_->setPalette(palette);
}

void TViewerWatch::RunViewBtnClick()
{
    RunGuarded(runViewBtn_, [this] { StartViewer(); });
}

void TViewerWatch::StartViewer()
{
    // The click has already flipped the toggle; the refresh sets it right.
    const std::string commandLine = viewerPath_ ? viewerPath_() : std::string();
    const bool failed = !ViewerRunning() && !programMonitor1_.StartProgram(commandLine);
    RefreshViewerButton();
    if (!failed) return;
    if (CommandWords(commandLine).empty())
        throw EngineError("Cannot start the viewer: no viewer program is set (ViewerPath)");
    throw EngineError(programMonitor1_.StartError());
}

} // namespace tarnel::query
