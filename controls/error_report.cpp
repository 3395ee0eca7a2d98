#include "controls/error_report.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

namespace tarnel {

namespace {
ControlErrorReporter& Reporter()
{
    static ControlErrorReporter reporter;
    return reporter;
}
} // namespace

void SetControlErrorReporter(ControlErrorReporter reporter)
{
    Reporter() = std::move(reporter);
}

void ReportControlError(QWidget* where, const std::exception& error)
{
    const QString message = QString::fromUtf8(error.what());
    if (Reporter()) {
        Reporter()(where, message);
        return;
    }
    QMessageBox::critical(where ? where->window() : nullptr, QApplication::applicationDisplayName(),
                          message);
}

} // namespace tarnel
