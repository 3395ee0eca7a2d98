#pragma once
// A label that behaves as a hyperlink: blue, underlined, a pointing hand; a
// click opens the address held in its tool tip with the desktop's handler.
#include <QLabel>
#include <functional>
#include <string>

namespace tarnel::shell {

class TWebLinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit TWebLinkLabel(QWidget* parent = nullptr);

    // The address opened by a click (the hint).
    QString Address() const { return toolTip(); }

    // How the address is opened: the desktop's handler unless replaced (tests).
    using Opener = std::function<void(const std::string& address)>;
    void SetOpener(Opener opener) { opener_ = std::move(opener); }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Open();
    Opener opener_;
};

} // namespace tarnel::shell
