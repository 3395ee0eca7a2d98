#pragma once
// The password asked for when a database server wants one and none is found
// in the user's password file or environment. The dialog keeps nothing: its
// box is emptied each time it is shown.
#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tarnel {

class TPasswordDlg : public QDialog {
    Q_OBJECT
public:
    explicit TPasswordDlg(QWidget* parent = nullptr);
    // Shows the dialog for the alias; true with the password typed, false when cancelled.
    bool ExecutePasswordDlg(const QString& alias, QString& password);

    QLabel* PromptLabel = nullptr;
    QLineEdit* PasswordEdit = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
};

// Makes the dialog the engine's way of asking for server passwords.
void InstallPasswordPrompt(TPasswordDlg* dialog);

} // namespace tarnel
