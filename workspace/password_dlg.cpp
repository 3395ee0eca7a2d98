#include "workspace/password_dlg.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/pg/pg_connection.h"

namespace tarnel {

TPasswordDlg::TPasswordDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Server Password"));
    PromptLabel = new QLabel(this);
    PasswordEdit = new QLineEdit(this);
    PasswordEdit->setEchoMode(QLineEdit::Password);
    PromptLabel->setBuddy(PasswordEdit);
    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PromptLabel);
    layout->addWidget(PasswordEdit);
    layout->addLayout(buttons);
}

bool TPasswordDlg::ExecutePasswordDlg(const QString& alias, QString& password)
{
    PromptLabel->setText(QStringLiteral("&Password for the alias %1:").arg(alias));
    PasswordEdit->clear();
    PasswordEdit->setFocus();
    // The hourglass of the command that connects would hide that the dialog waits for typing.
    const bool waiting = QGuiApplication::overrideCursor() != nullptr;
    if (waiting) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    const bool ok = exec() == QDialog::Accepted;
    if (waiting) QGuiApplication::restoreOverrideCursor();
    password = ok ? PasswordEdit->text() : QString();
    PasswordEdit->clear();
    return ok;
}

void InstallPasswordPrompt(TPasswordDlg* dialog)
{
    QPointer<TPasswordDlg> guarded(dialog);
    pg::SetPasswordPrompt([guarded](const std::string& alias, std::string& password) {
        QString typed;
        if (!guarded || !guarded->ExecutePasswordDlg(QString::fromStdString(alias), typed)) return false;
        password = typed.toStdString();
        return true;
    });
}

} // namespace tarnel
