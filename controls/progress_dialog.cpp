#include "controls/progress_dialog.h"

#include <QApplication>
#include <QProgressDialog>
#include <algorithm>

namespace tarnel {

TRowProgress::TRowProgress(QWidget* parent, const QString& what) : parent_(parent), what_(what)
{
    clock_.start();
}

TRowProgress::~TRowProgress() { delete dialog_; }

bool TRowProgress::update(std::int64_t done, std::int64_t total)
{
    return update(done, total, total >= 0 ? QStringLiteral("%1 of %2 rows").arg(done).arg(total)
                                          : QStringLiteral("%1 rows").arg(done));
}

bool TRowProgress::update(std::int64_t done, std::int64_t total, const QString& count)
{
    if (cancelled_) return false;
    if (!dialog_ && clock_.elapsed() >= kShowAfterMs) {
        dialog_ = new QProgressDialog(what_, QStringLiteral("Cancel"), 0, 1000, parent_);
        dialog_->setWindowTitle(QApplication::applicationName());
        dialog_->setWindowModality(Qt::WindowModal);
        dialog_->setMinimumDuration(0);
        dialog_->setAutoReset(false);
        dialog_->setAutoClose(false);
        dialog_->show();
    }
    if (dialog_ && done < 0) {
        // Work that tells no rows: a busy bar, the Cancel button all the same.
        if (dialog_->maximum() != 0) dialog_->setRange(0, 0);
        dialog_->setLabelText(what_);
        QApplication::processEvents();
        if (dialog_->wasCanceled()) cancelled_ = true;
    } else if (dialog_) {
        if (dialog_->maximum() == 0) dialog_->setRange(0, 1000);
        dialog_->setLabelText(what_ + QLatin1Char('\n') + count);
        dialog_->setValue(total > 0 ? static_cast<int>(std::min<std::int64_t>(1000, done * 1000 / total)) : 0);
        // The work runs on this thread: let the box paint and take the click.
        QApplication::processEvents();
        if (dialog_->wasCanceled()) cancelled_ = true;
    }
    return !cancelled_;
}

} // namespace tarnel
