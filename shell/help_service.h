#pragma once
// The HTML Help service of this program: finds the help file, opens one help
// window per file and carries out the HTML Help commands in it.
#include <QMap>
#include <QPointer>
#include <QStringList>

#include "shell/help_request.h"

namespace tarnel {

class THelpWindow;

// Where a help file named without a folder is looked for, in order: beside
// the executable, in "<executable's folder>/../share/tarnel", in the data
// folder the program was built for. A name with a folder is taken as it is.
QStringList HelpFileCandidates(const QString& helpFile);

class TChmHelpService : public HtmlHelpService {
public:
    // Failures (a missing file, an unknown topic number) are shown in the error box.
    TChmHelpService() = default;
    ~TChmHelpService() override;

    bool HtmlHelp(QWidget* owner, const QString& helpFile, unsigned command, const HelpData& data) override;

    // The open help window of a file (the name as requested), or none.
    THelpWindow* Window(const QString& helpFile) const;
    // Every open help window.
    QList<THelpWindow*> Windows() const;
    void CloseAll();

private:
    THelpWindow* OpenWindow(QWidget* owner, const QString& helpFile);

    QMap<QString, QPointer<THelpWindow>> windows_;   // by the located path
};

} // namespace tarnel
