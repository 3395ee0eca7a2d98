#pragma once
// The application object of the window programs. Every handler runs under
// the error guard; should an error still escape one into Qt's event
// dispatch, it is shown in the error box here and the program goes on,
// instead of ending with an abort.
#include <QApplication>

namespace tarnel {

class TGuardedApplication : public QApplication {
public:
    TGuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace tarnel
