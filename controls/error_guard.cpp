#include "controls/error_guard.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>
#include <utility>

namespace tarnel {

namespace {

constexpr const char* kTitleProperty = "applicationTitle";

MessageBoxHook& Hook()
{
    static MessageBoxHook hook;
    return hook;
}

bool ShowBox(const ShownBox& box)
{
    // A box shows the normal pointer; a command's hourglass comes back after it.
    int restored = 0;
    while (QApplication::overrideCursor()) {
        QApplication::restoreOverrideCursor();
        ++restored;
    }
    QWidget* parent = box.parent ? box.parent->window() : nullptr;
    bool ok = true;
    if (Hook()) ok = Hook()(box);
    else switch (box.kind) {
    case BoxKind::Error: QMessageBox::critical(parent, box.title, box.text); break;
    case BoxKind::Warning:
        if (box.yesNo)
            ok = QMessageBox::warning(parent, box.title, box.text, QMessageBox::Yes | QMessageBox::No,
                                      QMessageBox::No)
                 == QMessageBox::Yes;
        else
            QMessageBox::warning(parent, box.title, box.text);
        break;
    case BoxKind::Information: QMessageBox::information(parent, box.title, box.text); break;
    case BoxKind::Question:
        if (box.yesNo)
            ok = QMessageBox::question(parent, box.title, box.text, QMessageBox::Yes | QMessageBox::No,
                                       QMessageBox::No)
                 == QMessageBox::Yes;
        else
            ok = QMessageBox::question(parent, box.title, box.text, QMessageBox::Ok | QMessageBox::Cancel,
                                       QMessageBox::Cancel)
                 == QMessageBox::Ok;
        break;
    }
    while (restored-- > 0) QApplication::setOverrideCursor(Qt::WaitCursor);
    return ok;
}

} // namespace

void SetApplicationTitle(const QString& title)
{
    if (qApp) qApp->setProperty(kTitleProperty, title);
}

QString ApplicationTitle()
{
    const QString title = qApp ? qApp->property(kTitleProperty).toString() : QString();
    return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) { return std::exchange(Hook(), std::move(hook)); }

void ShowErrorBox(QWidget* parent, const QString& message)
{
    ShowBox({parent, BoxKind::Error, ApplicationTitle(), message});
}

void ShowWarningBox(QWidget* parent, const QString& title, const QString& message)
{
    ShowBox({parent, BoxKind::Warning, title, message});
}

void ShowInformationBox(QWidget* parent, const QString& message)
{
    ShowBox({parent, BoxKind::Information, ApplicationTitle(), message});
}

bool AskOkCancel(QWidget* parent, const QString& title, const QString& question)
{
    return ShowBox({parent, BoxKind::Question, title, question});
}

bool AskYesNo(QWidget* parent, const QString& title, const QString& question)
{
    ShownBox box{parent, BoxKind::Question, title, question};
    box.yesNo = true;
    return ShowBox(box);
}

bool AskYesNoWarning(QWidget* parent, const QString& title, const QString& question)
{
    ShownBox box{parent, BoxKind::Warning, title, question};
    box.yesNo = true;
    return ShowBox(box);
}

WaitCursor::WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

} // namespace tarnel
