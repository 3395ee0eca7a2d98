#pragma once
// The About box: the program's name, the suite's name, the version and
// copyright texts built at start-up, the maker and a link to the web page.
#include <QDialog>

class QLabel;
class QPushButton;

namespace tarnel::shell {

class TWebLinkLabel;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QLabel* ProgramIcon = nullptr;
    QLabel* Group = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* VersionLabel = nullptr;
    QLabel* CopyRightLabel = nullptr;
    QLabel* Comments = nullptr;
    QLabel* Display4 = nullptr;
    TWebLinkLabel* LinkLabel1 = nullptr;
    QPushButton* OKButton = nullptr;

    // Puts the current version and copyright texts into their labels; then
    // the caller shows the box.
    void RefreshTexts();
};

// Refreshes the texts and shows the box modally.
void ShowAboutBox(TAboutBox& box);

} // namespace tarnel::shell
