#include "shell/web_link_label.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "controls/error_guard.h"
#include "shell/shell_open.h"
#include "shell/version_info.h"

namespace tarnel::shell {

TWebLinkLabel::TWebLinkLabel(QWidget* parent) : QLabel(parent)
{
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, QColor(0, 0, 255));
    setPalette(p);
    setCursor(Qt::PointingHandCursor);
    setToolTip(QString::fromLatin1(kWebAddress));
    setText(QString::fromLatin1(kWebAddress));
    // Reachable from the keyboard: Tab to it, Space or Enter opens it.
    setFocusPolicy(Qt::StrongFocus);
}

void TWebLinkLabel::Open()
{
    // A failure shows the shell's error text; the label itself shows nothing.
    tarnel::RunGuarded(this, [this] {
        const std::string address = toolTip().toStdString();
        if (opener_) opener_(address);
        else ShellOpen(address);
    });
}

void TWebLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Open();
}

void TWebLinkLabel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Open();
        return;
    }
    QLabel::keyPressEvent(event);
}

} // namespace tarnel::shell
